#include "wideband/frmWBO2.h"

#include "gauges/GaugePicture.h"
#include "gauges/Graph.h"
#include "gauges/NeedleLine.h"
#include "gauges/SpeedometerGauge.h"
#include "live/live_state.h"
#include "ui/ui_helpers.h"
#include "util/colour.h"
#include "util/text.h"
#include "util/twips.h"
#include "wideband/wideband.h"

#include <QEvent>
#include <QLabel>

namespace kx {

namespace {
void applyStatus(const wb::StatusView& v, QLabel* caption, QLabel* text) {
    caption->setVisible(v.captionShown);
    if (v.text == wb::StatusView::Hidden) text->hide();
    if (v.text == wb::StatusView::Shown) {
        text->setText(v.value);
        text->adjustSize();
        text->show();
    }
}
} // namespace

frmWBO2::frmWBO2(const Host& host) : QWidget(host.window, Qt::Window), host_(host) {
    setObjectName(S("frmWBO2"));
    setWindowTitle(S("WBO2"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);

    colours_ = readDisplayColours(host_.settings);
    setColour(this, QPalette::Window, colours_.window);
    picGauge_ = new GaugePicture(this);
    picGauge_->setObjectName(S("picGauge0"));
    picGauge_->setFocusPolicy(Qt::TabFocus);
    setColour(picGauge_, QPalette::Window, colours_.back);
    setColour(picGauge_, QPalette::WindowText, colours_.digits);
    Line1_ = new NeedleLine(picGauge_);
    Line1_->setObjectName(S("Line10"));
    Line1_->setColour(colourFromBgr(colours_.needle));
    lblMax_ = namedLabel(picGauge_, S("lblMax0"), S("0"));
    setColour(lblMax_, QPalette::WindowText, colours_.max);
    lblMax_->installEventFilter(this);
    lblMax_->setToolTip(S("Click to reset the peak"));
    lblValue_ = namedLabel(picGauge_, S("lblValue0"), S("0"));
    setColour(lblValue_, QPalette::WindowText, colours_.value);
    lblName_ = namedLabel(picGauge_, S("lblName0"), S("AFR"));
    setColour(lblName_, QPalette::WindowText, colours_.name);

    Graph1_ = new Graph(this);
    Graph1_->setObjectName(S("Graph1"));
    Graph1_->setAccessibleName(S("AFR history"));
    Graph1_->set(&GraphProps::FadeIn, false);
    Graph1_->set(&GraphProps::MaxValue, 45.0);
    Graph1_->set(&GraphProps::MinValue, 5.0);
    Graph1_->set(&GraphProps::YGridInc, 10.0);
    Graph1_->set(&GraphProps::XGridInc, int32_t(10));
    Graph1_->set(&GraphProps::BackColor, uint32_t(0x000000));
    Graph1_->set(&GraphProps::GridColor, uint32_t(0x008000));
    Graph1_->set(&GraphProps::FixedPoints, int32_t(80));
    Graph1_->set(&GraphProps::ShowAxis, false);
    Dataset& d = Graph1_->datasets().Add();
    d.set(&DatasetProps::ShowPoints, false);
    d.set(&DatasetProps::ShowBars, false);
    d.set(&DatasetProps::ShowLines, true);
    d.set(&DatasetProps::ShowCaps, false);
    d.set(&DatasetProps::LineColor, uint32_t(0x00FF00));

    lblWlable_ = namedLabel(this, S("lblWlable"), S("Wideband PID"));
    lblHlable_ = namedLabel(this, S("lblHlable"), S("Heater PID"));
    lblwPID_ = namedLabel(this, S("lblwPID"), S("wPID"));
    lblhPID_ = namedLabel(this, S("lblhPID"), S("hPID"));
    for (QLabel* l : {lblWlable_, lblHlable_, lblwPID_, lblhPID_}) {
        setColour(l, QPalette::WindowText, colours_.name);
        l->adjustSize();
    }
    showsValue(lblwPID_, S("Wideband status"));
    showsValue(lblhPID_, S("Heater status"));
    lblLink_ = new QLabel(this);
    lblLink_->setObjectName(S("lblLink"));
    lblLink_->setAutoFillBackground(true);
    lblLink_->hide();

    closeOnEscape(this);
    nameForAccessibility(this);
    resize(640, 560);
}

frmWBO2::~frmWBO2() = default;

void frmWBO2::setupDial() {
    if (!gauge_) gauge_ = std::make_unique<SpeedometerGauge>(scaleColours(colours_));
    // The AFR dial's scale is its own, not the catalogue's WBo2 entry.
    gauge_->setup(picGauge_, Line1_, lblMax_, lblValue_, lblName_, 10, 20, 10, 10, 2);
}

void frmWBO2::layoutWindow() {
    const Wbo2Layout l =
        wbo2Layout(pixelsToTwips(width()), pixelsToTwips(height()),
                   pixelsToTwips(lblWlable_->width()), pixelsToTwips(lblwPID_->width()));
    if (l.dial.width <= 0 || l.dial.height <= 0) return; // too small: the next resize
    picGauge_->setGeometry(pixelRect(l.dial));
    Line1_->setGeometry(picGauge_->rect());
    Graph1_->setGeometry(pixelRect(l.graph));
    placeStatus(l);
    lblLink_->move(4, 4);
    setupDial();
}

void frmWBO2::placeStatus(const Wbo2Layout& l) {
    const int top = l.sensorTop / kTwipsPerPixel;
    lblWlable_->move(l.sensorCaptionLeft / kTwipsPerPixel, top);
    lblwPID_->move(l.sensorTextLeft / kTwipsPerPixel, top + lblWlable_->height());
    lblHlable_->move(l.heaterLeft / kTwipsPerPixel, top);
    lblhPID_->move(l.heaterLeft / kTwipsPerPixel, top + lblHlable_->height());
}

void frmWBO2::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutWindow();
}

bool frmWBO2::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblMax_ && event->type() == QEvent::MouseButtonPress) lblMax_->setText(S("0"));
    return QWidget::eventFilter(watched, event);
}

void frmWBO2::WBO2show() {
    const auto& wbValues = host_.state.live.wbValues;
    if (!gauge_) setupDial();
    gauge_->setValue(wbValues[1]);
    Graph1_->set(&GraphProps::Redraw, false);
    Graph1_->datasets().Item(1).points().Add(wbValues[1]);
    Graph1_->set(&GraphProps::Redraw, true);
    applyStatus(wb::sensorStatus(uint8_t(wbValues[9])), lblWlable_, lblwPID_);
    applyStatus(wb::heaterStatus(uint8_t(wbValues[10])), lblHlable_, lblhPID_);
    // A status text's width sets its left: place the texts again (the dial stays as it is).
    placeStatus(wbo2Layout(pixelsToTwips(width()), pixelsToTwips(height()),
                           pixelsToTwips(lblWlable_->width()), pixelsToTwips(lblwPID_->width())));
    if (lblLink_->isVisible()) lblLink_->hide();
}

void frmWBO2::setLinkNote(const QString& note) {
    lblLink_->setText(S("  ") + note + S("  "));
    lblLink_->adjustSize();
    lblLink_->setVisible(!note.isEmpty());
    lblLink_->raise();
}

} // namespace kx
