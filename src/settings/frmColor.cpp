#include "settings/frmColor.h"

#include "link/EcuLink.h"
#include "ui/Dialogs.h"
#include "ui/ui_helpers.h"
#include "util/colour.h"
#include "util/text.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kx {

namespace {
// Buttons 0-8 colour the gauges, 9-10 the window around them.
constexpr int kFirstGeneralColour = 9;
} // namespace

frmColor::frmColor(const Host& host) : QWidget(host.window, Qt::Window), host_(host) {
    setObjectName(S("frmColor"));
    setWindowTitle(S("Data Display Colours"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);

    auto* gauge = new QGroupBox(S("Gauge Colours"));
    gauge->setObjectName(S("fraGauge"));
    auto* general = new QGroupBox(S("General Colors"));
    general->setObjectName(S("fraGeneral"));
    auto* gaugeGrid = new QGridLayout(gauge);
    auto* generalGrid = new QGridLayout(general);
    for (int i = 0; i < kColourCount; ++i) {
        auto* label = new QLabel(S(colourSettings()[size_t(i)].label));
        auto* b = new QPushButton;
        b->setObjectName(S("button") + QString::number(i));
        b->setFixedSize(56, 24);
        label->setBuddy(b);
        connect(b, &QPushButton::clicked, this, [this, i] { button_Click(i); });
        QGridLayout* grid = i < kFirstGeneralColour ? gaugeGrid : generalGrid;
        const int row = i < kFirstGeneralColour ? i : i - kFirstGeneralColour;
        grid->addWidget(label, row, 0);
        grid->addWidget(b, row, 1);
        buttons_[size_t(i)] = b;
    }
    gaugeGrid->setColumnStretch(0, 1);
    generalGrid->setColumnStretch(0, 1);

    auto* buttons = saveCancelRow(
        this, [this] { btnOK_Click(); }, S("OK"), S("CANCEL"));

    auto* right = new QVBoxLayout;
    right->addWidget(general);
    right->addStretch();
    auto* frames = new QHBoxLayout;
    frames->addWidget(gauge);
    frames->addLayout(right);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(frames);
    layout->addLayout(buttons);

    colours_ = loadColours(host_.settings);
    for (int i = 0; i < kColourCount; ++i)
        showColour(i);

    closeOnEscape(this);
    nameForAccessibility(this);
}

void frmColor::showColour(int i) {
    const QColor c = colourFromBgr(colours_[size_t(i)]);
    QPushButton* b = buttons_[size_t(i)];
    b->setStyleSheet(S("QPushButton { background-color: %1; border: 1px solid palette(dark); }"
                       "QPushButton:focus { border: 2px solid palette(highlight); }")
                         .arg(c.name()));
    b->setAccessibleDescription(c.name());
}

void frmColor::button_Click(int i) {
    // A system colour starts the chooser at what it looks like now.
    const uint32_t shown = bgrFromColour(colourFromBgr(colours_[size_t(i)]));
    QPointer<frmColor> self(this);
    const auto chosen = host_.dialogs.chooseColour(this, shown);
    if (!self || !chosen) return;
    colours_[size_t(i)] = *chosen & 0x00FFFFFFu;
    showColour(i);
}

void frmColor::btnOK_Click() {
    saveColours(host_.settings, colours_);
    close();
}

} // namespace kx
