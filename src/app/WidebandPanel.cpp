#include "app/WidebandPanel.h"

#include "gauges/display_colours.h"
#include "gauges/gauge_geometry.h"
#include "ui/ActivityBar.h"
#include "ui/ui_helpers.h"
#include "util/colour.h"
#include "util/numbers.h"
#include "util/text.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTime>
#include <QVBoxLayout>

namespace kx {

namespace {
const QString NoVersion = QStringLiteral("#####");

void setLabelColours(QLabel* label, const QColor& back, const QColor& text) {
    QPalette p = label->palette();
    p.setColor(QPalette::Window, back);
    p.setColor(QPalette::WindowText, text);
    label->setPalette(p);
}
} // namespace

WidebandPanel::WidebandPanel(WbLink& link, Settings& settings, QWidget* parent)
    : QWidget(parent), link_(link), settings_(settings) {
    setObjectName(S("fraWBO2"));

    auto* function = new QGroupBox(S("Function"));
    auto* fl = new QVBoxLayout(function);
    btnAFR_ = new QPushButton(S("AFR Display"));
    btnAFR_->setObjectName(S("btnAFR"));
    btnAFR_->setEnabled(false);
    btnConnect2_ = new QPushButton(S("Connect"));
    btnConnect2_->setObjectName(S("btnConnect2"));
    btnConnect2_->setAccessibleName(S("Connect wideband"));
    fl->addWidget(btnAFR_);
    fl->addWidget(btnConnect2_);
    fl->addStretch();

    auto* display = new QGroupBox(S("Display"));
    auto* dl = new QGridLayout(display);
    auto* afrCaption = new QLabel(S("A/F Ratio"));
    lblAFR_ = new QLabel(S("--.--"));
    lblAFR_->setObjectName(S("lblAFR"));
    showsValue(lblAFR_, S("A/F Ratio"));
    QFont big = lblAFR_->font();
    big.setPointSize(28);
    big.setBold(true);
    lblAFR_->setFont(big);
    lblAFR_->setAutoFillBackground(true);
    auto* romCaption = new QLabel(S("ROM VERSION: "));
    lblROMver_ = new QLabel(NoVersion);
    lblROMver_->setObjectName(S("lblROMver"));
    showsValue(lblROMver_, S("ROM VERSION"));
    afrCaption->setBuddy(lblAFR_);
    romCaption->setBuddy(lblROMver_);
    dl->addWidget(afrCaption, 0, 0);
    dl->addWidget(lblAFR_, 1, 0, 1, 2);
    dl->addWidget(romCaption, 2, 0);
    dl->addWidget(lblROMver_, 2, 1);
    lblWbStatus_ = new QLabel;
    lblWbStatus_->setObjectName(S("lblWbStatus"));
    lblWbStatus_->setWordWrap(true);
    lblWbStatus_->hide();
    dl->addWidget(lblWbStatus_, 3, 0, 1, 2);

    ProgressBar2_ = new ActivityBar;
    ProgressBar2_->setObjectName(S("ProgressBar2"));
    ProgressBar2_->setAccessibleName(S("Wideband activity"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(function, 0, 0);
    grid->addWidget(display, 0, 1);
    grid->addWidget(ProgressBar2_, 1, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    connect(btnConnect2_, &QPushButton::clicked, this, &WidebandPanel::connectClicked);
    connect(btnAFR_, &QPushButton::clicked, this, &WidebandPanel::afrDisplayClicked);
    connect(&link_, &WbLink::stateChanged, this, &WidebandPanel::onState);
    connect(&link_, &WbLink::measured, this, &WidebandPanel::onMeasured);
    connect(&link_, &WbLink::activity, this, &WidebandPanel::step);
    connect(&link_, &WbLink::versionRead, lblROMver_, &QLabel::setText);
}

void WidebandPanel::connectClicked() {
    lblROMver_->setText(NoVersion);
    lblAFR_->setText(S("--.--"));
    setLabelColours(lblAFR_, palette().color(QPalette::Button),
                    palette().color(QPalette::ButtonText));
    link_.connectWb();
}

bool WidebandPanel::afrEnabled() const {
    return btnAFR_->isEnabled();
}

void WidebandPanel::step() {
    ProgressBar2_->step();
}

void WidebandPanel::onMeasured(const wb::Frame& frame) {
    // A palette change restyles the label: only when the colour changes.
    const QColor colour = colourFromBgr(afrColour(frame.afr));
    if (lblAFR_->palette().color(QPalette::WindowText) != colour) {
        QPalette p = lblAFR_->palette();
        p.setColor(QPalette::WindowText, colour);
        lblAFR_->setPalette(p);
    }
    lblAFR_->setText(valueText(frame.afr, 2)); // as the AFR dials write it
    if (!btnAFR_->isEnabled()) btnAFR_->setEnabled(true);
    emit measured();
}

void WidebandPanel::onState(WbLink::State state) {
    const QString note = link_.stateNote();
    // Only a streaming controller's ratio is a reading: while it handshakes, gives no reply or
    // is not compatible, the last figure is an old one.
    const bool notLive = state != WbLink::State::Streaming;
    if (notLive) {
        // The figure and the AFR users stop looking live until the stream's first frame.
        lblAFR_->setText(S("--.--"));
        btnAFR_->setEnabled(false);
    } else {
        setLabelColours(lblAFR_, colourFromBgr(readDisplayColours(settings_).back),
                        lblAFR_->palette().color(QPalette::WindowText));
    }
    lblWbStatus_->setText(note);
    lblWbStatus_->setVisible(!note.isEmpty());
    emit noteChanged(note, notLive);
}

} // namespace kx
