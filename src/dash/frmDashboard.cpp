#include "dash/frmDashboard.h"

#include "dash/dashboard.h"
#include "gauges/GaugePicture.h"
#include "gauges/NeedleLine.h"
#include "link/EcuLink.h"
#include "live/live_state.h"
#include "ui/Dialogs.h"
#include "ui/link_claim.h"
#include "ui/ui_helpers.h"
#include "util/colour.h"
#include "util/settings.h"
#include "util/text.h"
#include "util/twips.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

namespace kx {

namespace {
// The alert lamp: a filled rectangle that paints its fill and nothing else, so a flash at the
// frame rate costs one fill, without the palette propagation and style polish of a restyle.
class AlertLamp : public QWidget {
public:
    explicit AlertLamp(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }
    void setFill(const QColor& c) {
        if (c == fill_) return;
        fill_ = c;
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override { QPainter(this).fillRect(event->rect(), fill_); }

private:
    QColor fill_;
};

} // namespace

frmDashboard::frmDashboard(const Host& host)
    : QWidget(host.window, Qt::Window), host_(host),
      tap_(host.link, host.settings, ReceiveMode::Dashboard) {
    setObjectName(S("frmDashboard"));
    setWindowTitle(S("Dashboard"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);

    colours_ = readDisplayColours(host_.settings);
    setColour(this, QPalette::Window, colours_.window);
    const char* alerts[2] = {"RPM ALERT", "SPEED ALERT"};
    for (int i = 0; i < 2; ++i) {
        const QString n = QString::number(i);
        auto* pic = new GaugePicture(this);
        pic->setObjectName(S("picGauge") + n);
        pic->setFocusPolicy(Qt::TabFocus);
        setColour(pic, QPalette::Window, colours_.back);
        setColour(pic, QPalette::WindowText, colours_.digits);
        pictures_[size_t(i)] = pic;
        auto* needle = new NeedleLine(pic);
        needle->setObjectName(S("Line1") + n);
        needle->setColour(colourFromBgr(colours_.needle));
        needles_[size_t(i)] = needle;
        maxLabels_[size_t(i)] = namedLabel(pic, S("lblMax") + n, S("0"));
        setColour(maxLabels_[size_t(i)], QPalette::WindowText, colours_.max);
        valueLabels_[size_t(i)] = namedLabel(pic, S("lblValue") + n, S("0"));
        setColour(valueLabels_[size_t(i)], QPalette::WindowText, colours_.value);
        nameLabels_[size_t(i)] = namedLabel(pic, S("lblName") + n, QString());
        setColour(nameLabels_[size_t(i)], QPalette::WindowText, colours_.name);

        auto* lamp = new AlertLamp(this);
        lamp->setObjectName(S("sqAlert") + n);
        lamps_[size_t(i)] = lamp;
        setLamp(i, colours_.back);
        auto* caption = namedLabel(this, S("lblAlert") + n, S(alerts[i]));
        setColour(caption, QPalette::WindowText, colours_.name);
        captions_[size_t(i)] = caption;
    }
    takeSnapshot();
    rpmLimit_ = dashLimit(host_.settings.read(S("Dashboard"), S("RPM")));
    speedLimit_ = dashLimit(host_.settings.read(S("Dashboard"), S("Speed")));

    lblLink_ = noteBanner(this, S("lblLink"), S("ECU link status"));

    closeOnEscape(this);
    nameForAccessibility(this);
    resize(960, 640);

    connect(&host_.link, &EcuLink::silenceChanged, this, [this](bool silent) {
        if (silent)
            showLinkNote(noDataText(host_.link.lastFrameAt()) +
                         S(": the dials show the last values."));
        else
            lblLink_->hide();
    });
    EcuLink::Claim claim;
    tap_.listen(this, [this](uint32_t, const FrameReadings& readings) { showFrame(readings); });
    claim.receiver = [this](const QByteArray& frame) { tap_.take(frame); };
    claim.granted = [this] {
        lblLink_->hide();
        setStale(false);
        takeSnapshot();
        host_.link.run(this, tap_.stream(iniDashboard(stream_), dashStreamSetup(stream_)));
    };
    claim.resumed = claim.granted;
    claim.rearm = claim.granted;
    // Without the link the lamps go dark and the window says why; no box interrupts the driver.
    claimLink(
        host_, this, std::move(claim),
        [this] { showLinkNote(S("The ECU link was lost: the dials show the last values.")); },
        [this](const QString& holder) {
            setStale(true);
            showLinkNote(waitingNote(holder, S("the dashboard")));
        });
}

frmDashboard::~frmDashboard() = default;

void frmDashboard::showLinkNote(const QString& text) {
    // Dark lamps: no alert stands on values that are not live.
    for (int i = 0; i < 2; ++i)
        setLamp(i, colours_.back);
    lblLink_->setText(text);
    placeLinkNote();
    lblLink_->show();
    lblLink_->raise();
}

QString frmDashboard::linkNote() const {
    return lblLink_->isHidden() ? QString() : lblLink_->text();
}

void frmDashboard::placeLinkNote() {
    const int w = std::max(width() - 16, 1);
    lblLink_->setGeometry(8, 8, w, lblLink_->heightForWidth(w));
}

void frmDashboard::setStale(bool stale) {
    if (stale == stale_) return;
    stale_ = stale;
    constexpr uint32_t grey = 0x808080;
    for (int i = 0; i < 2; ++i) {
        setColour(valueLabels_[size_t(i)], QPalette::WindowText, stale ? grey : colours_.value);
        setColour(maxLabels_[size_t(i)], QPalette::WindowText, stale ? grey : colours_.max);
        needles_[size_t(i)]->setColour(colourFromBgr(stale ? grey : colours_.needle));
        if (stale && gauges_[size_t(i)]) gauges_[size_t(i)]->showNoValue();
    }
}

void frmDashboard::showFrame(const FrameReadings& readings) {
    applyReadings(readings, host_.state.units, host_.state.live, kDashSlots);
    setDashDisplay();
    host_.launcher.setProgBar();
}

void frmDashboard::setLamp(int i, uint32_t colour) {
    fill_[size_t(i)] = colour;
    static_cast<AlertLamp*>(lamps_[size_t(i)])->setFill(colourFromBgr(colour));
}

void frmDashboard::takeSnapshot() {
    stream_ = dashStream(host_.state.setup);
    for (int i = 0; i < 2; ++i) {
        const bool shown = stream_.gauges[size_t(i)] != DashStream::kNoGauge;
        nameLabels_[size_t(i)]->setText(shown ? stream_.dials[size_t(i)].name() : QString());
        if (gauges_[size_t(i)]) setupDial(i);
    }
}

void frmDashboard::setupDial(int i) {
    if (stream_.gauges[size_t(i)] == DashStream::kNoGauge) return;
    auto& gauge = gauges_[size_t(i)];
    if (!gauge) gauge = std::make_unique<SpeedometerGauge>(scaleColours(colours_));
    const GaugeInfo& info = stream_.dials[size_t(i)];
    gauge->setup(pictures_[size_t(i)], needles_[size_t(i)], maxLabels_[size_t(i)],
                 valueLabels_[size_t(i)], nameLabels_[size_t(i)], info.minVal(), info.maxVal(),
                 info.tickerNum(), info.subTickerNum(), int16_t(info.decPointNum()));
    // A dial set up afresh shows its minimum: not a value while nothing is live.
    if (stale_) gauge->showNoValue();
}

void frmDashboard::showDials() {
    const auto& value = host_.state.live.gaugeValue;
    for (int i = 0; i < 2; ++i) {
        const int g = stream_.gauges[size_t(i)];
        if (g == DashStream::kNoGauge) continue;
        if (!gauges_[size_t(i)]) setupDial(i);
        gauges_[size_t(i)]->setValue(value[g]);
        // Without a streaming wideband controller its dial has no live value to show.
        if (g == kWidebandGauge && !host_.launcher.afrDisplayEnabled())
            valueLabels_[size_t(i)]->setText(S("--.--"));
    }
}

void frmDashboard::setDashDisplay() {
    dials_.request();
    const auto& value = host_.state.live.gaugeValue;
    const LampStep step =
        alertStep(fill_, colours_.back, value[0], value[6], rpmLimit_, speedLimit_);
    for (int i = 0; i < 2; ++i)
        if (step.fill[size_t(i)] != fill_[size_t(i)]) setLamp(i, step.fill[size_t(i)]);
    for (int b = 0; b < step.beeps; ++b)
        host_.dialogs.beep();
}

void frmDashboard::layoutWindow() {
    const DashLayout l = dashLayout(pixelsToTwips(width()), pixelsToTwips(height()));
    if (l.dial[0].width <= 0 || l.dial[0].height <= 0) return; // too small: the next resize
    for (int i = 0; i < 2; ++i) {
        pictures_[size_t(i)]->setGeometry(pixelRect(l.dial[size_t(i)]));
        needles_[size_t(i)]->setGeometry(pictures_[size_t(i)]->rect());
        lamps_[size_t(i)]->setGeometry(pixelRect(l.lamp[size_t(i)]));
        QLabel* caption = captions_[size_t(i)];
        QFont f = caption->font();
        f.setPointSize(std::max(l.captionPoints, 1));
        caption->setFont(f);
        caption->adjustSize();
        const auto at = captionPosition(l, i, pixelsToTwips(caption->width()),
                                        pixelsToTwips(caption->height()));
        caption->move(at[0] / kTwipsPerPixel, at[1] / kTwipsPerPixel);
        caption->raise();
        setupDial(i);
    }
    placeLinkNote();
}

void frmDashboard::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutWindow();
}

void frmDashboard::mouseDoubleClickEvent(QMouseEvent* event) {
    // Double-clicks on a dial or a lamp caption come here too: neither takes them.
    QWidget::mouseDoubleClickEvent(event);
    close();
}

void frmDashboard::closeEvent(QCloseEvent* event) {
    event->accept();
    host_.launcher.toolClosed(this);
}

} // namespace kx
