#include "live/Form1.h"

#include "live/GaugeGrid.h"
#include "live/live_state.h"
#include "ui/link_claim.h"
#include "ui/ui_helpers.h"
#include "util/colour.h"
#include "util/twips.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

namespace kx {

Form1::Form1(const Host& host) : QWidget(host.window, Qt::Window), host_(host) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Data Display"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);

    grid_ = new GaugeGrid(this);
    btnDataLog_ = new QPushButton(QStringLiteral("Data Logging"), this);
    btnDataLog_->setObjectName(QStringLiteral("btnDataLog"));
    btnActiveTest_ = new QPushButton(QStringLiteral("Active Test"), this);
    btnActiveTest_->setObjectName(QStringLiteral("btnActiveTest"));

    connect(btnDataLog_, &QPushButton::clicked, this, [this] { host_.launcher.openDataLogging(); });
    connect(btnActiveTest_, &QPushButton::clicked, this,
            [this] { host_.launcher.openActiveTest(); });
    lblLinkNote_ =
        noteBanner(this, QStringLiteral("lblLinkNote"), QStringLiteral("ECU link status"));

    connect(&host_.link, &EcuLink::stateChanged, this, &Form1::onLinkState);
    // A silent ECU is shown as a pulled cable is: nothing on the dials is live.
    connect(&host_.link, &EcuLink::silenceChanged, this, [this](bool silent) {
        if (!silent || waiting_) return;
        grid_->setStale(true);
        setLinkNote(noDataText(host_.link.lastFrameAt()));
    });

    // Opening: no state decoded yet, the colours, the names, the greyed indicators.
    for (QString& s : host_.state.live.switchState)
        s.clear();
    getColours();
    const auto& setup = host_.state.setup;
    for (int i = 0; i < 12; ++i) {
        const int g = setup.displaySelection[size_t(i)];
        if (g < kGaugeCount) grid_->lblName(i)->setText(setup.gaugeCatalogue[size_t(g)].name());
    }
    for (int i = 0; i < 12; ++i)
        grid_->setIndicatorEnabled(i, setup.displaySelection[size_t(indicatorFlag(i))] == 1);

    // Nothing is shown as a value before the stream brings one.
    grid_->setStale(true);

    closeOnEscape(this);
    nameForAccessibility(this);
    resize(960, 640);
}

void Form1::showWaiting(const QString& holder) {
    waiting_ = true;
    grid_->setStale(true);
    setLinkNote(waitingNote(holder, QStringLiteral("the display")));
}

QString Form1::linkNote() const {
    return lblLinkNote_->isHidden() ? QString() : lblLinkNote_->text();
}

void Form1::setLinkNote(const QString& note) {
    if (note.isEmpty() && lblLinkNote_->isHidden()) return; // every frame says "nothing to note"
    lblLinkNote_->setText(note);
    lblLinkNote_->setVisible(!note.isEmpty());
    if (!note.isEmpty()) lblLinkNote_->raise();
}

void Form1::getColours() {
    const DisplayColours c = readDisplayColours(host_.settings);
    windowColour_ = c.window;
    grid_->applyColours(c);
}

void Form1::layoutWindow() {
    QPalette p = palette();
    p.setColor(QPalette::Window, colourFromBgr(windowColour_));
    p.setColor(QPalette::Button, colourFromBgr(windowColour_));
    setPalette(p);

    const DisplayLayout l = displayLayout(pixelsToTwips(width()), pixelsToTwips(height()));
    if (l.column <= 0 || l.row <= 0) return; // too small (or minimised): the next resize lays out
    grid_->place(l);
    btnDataLog_->setGeometry(pixelRect(l.btnDataLog));
    btnActiveTest_->setGeometry(pixelRect(l.btnActiveTest));
    for (QPushButton* b : {btnDataLog_, btnActiveTest_}) {
        QFont f = b->font();
        f.setPointSize(std::max(l.buttonFont, 1));
        b->setFont(f);
    }
    const auto& setup = host_.state.setup;
    for (int i = 0; i < 12; ++i) {
        const int g = setup.displaySelection[size_t(i)];
        if (g < kGaugeCount) grid_->setupGauge(i, setup.gaugeCatalogue[size_t(g)]);
    }
    // Across the middle of the dials, which show nothing while it is there.
    const int noteHeight = lblLinkNote_->fontMetrics().height() * 3 + 12;
    lblLinkNote_->setGeometry(width() / 6, height() * 5 / 12 - noteHeight / 2, width() * 2 / 3,
                              noteHeight);
}

void Form1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutWindow();
}

void Form1::setDataDisplay() {
    const auto& setup = host_.state.setup;
    for (int i = 0; i < 12; ++i) {
        const int g = setup.displaySelection[size_t(i)];
        if (g >= kGaugeCount) continue;
        if (!grid_->isSetUp(i)) grid_->setupGauge(i, setup.gaugeCatalogue[size_t(g)]);
        grid_->setValue(i, host_.state.live.gaugeValue[size_t(g)]);
        // Without a streaming wideband controller its last ratio is not a reading.
        if (g == kWidebandGauge && !host_.launcher.afrDisplayEnabled())
            grid_->lblValue(i)->setText(QStringLiteral("--.--"));
    }
    for (int i = 0; i < 12; ++i)
        grid_->ChangelblOnOff(i, host_.state.live.switchState[size_t(i)]);
    grid_->setStale(false);
    waiting_ = false;
    setLinkNote(QString());
}

void Form1::onLinkState(EcuLink::State state) {
    if (state == EcuLink::State::Lost) {
        grid_->setStale(true);
        setLinkNote(QStringLiteral("The ECU port was lost: the values come back with it"));
    } else if (waiting_ && host_.link.holds(this)) {
        // The link is the display's now: the values follow with the stream.
        waiting_ = false;
        setLinkNote(QString());
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    event->accept();
    // Back to identification, or the logger goes on with the stream.
    host_.launcher.toolClosed(this);
}

} // namespace kx
