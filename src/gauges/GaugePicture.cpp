#include "gauges/GaugePicture.h"

#include "gauges/DialText.h"
#include "gauges/NeedleLine.h"

#include <QPaintEvent>
#include <QPainter>

namespace kx {

GaugePicture::GaugePicture(QWidget* parent) : QWidget(parent) {
    installGaugeAccessibility();
    // The scale image covers the dial, its background included: nothing to fill beneath it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setBackgroundRole(QPalette::Window);
    setForegroundRole(QPalette::WindowText);
    heldTimer_.setSingleShot(true);
    connect(&heldTimer_, &QTimer::timeout, this, &GaugePicture::announceHeld);
}

void GaugePicture::setScaleImage(const QPixmap& image) {
    scale_ = image;
    update();
}

void GaugePicture::drawOverlays(NeedleLine* needle, const std::vector<DialText*>& texts) {
    needle_ = needle;
    if (needle) needle->setDrawnByDial(true);
    texts_.assign(texts.begin(), texts.end());
    for (DialText* t : texts)
        if (t) t->setDrawnByDial(true);
    update();
}

void GaugePicture::setReading(const DialReading& reading) {
    const bool changed = reading.current != reading_.current;
    reading_ = reading;
    const uint32_t now = ticks();
    if (!changed) {
        // A held change goes out with the first reading after its time, so a streaming dial
        // wakes no timer of its own; the timer is for a stream that stops meanwhile.
        if (gate_.held() && gate_.heldFor(now) == 0) announceHeld();
        return;
    }
    if (gate_.change(now)) {
        heldTimer_.stop();
        announce();
    } else if (!heldTimer_.isActive()) {
        heldTimer_.start(int(gate_.heldFor(now) + kAnnounceIntervalMs));
    }
}

void GaugePicture::announceHeld() {
    if (!gate_.held()) return;
    gate_.release(ticks());
    heldTimer_.stop();
    announce();
}

void GaugePicture::announce() {
    sendDialValueChange(this);
    emit announced(reading_.current);
}

void GaugePicture::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRegion& region = event->region();
    if (scale_.deviceIndependentSize() != QSizeF(size()))
        painter.fillRect(event->rect(), palette().brush(backgroundRole()));
    if (!scale_.isNull()) {
        // One copy per rectangle of the region, each clipped to its own rectangle: through a
        // clip of several rectangles the painter takes its slow path, split over a thread pool
        // that it wakes for every copy.
        const qreal ratio = scale_.devicePixelRatio();
        for (const QRect& r : region) {
            painter.setClipRect(r);
            painter.drawPixmap(
                r, scale_,
                QRectF(r.x() * ratio, r.y() * ratio, r.width() * ratio, r.height() * ratio)
                    .toRect());
        }
        painter.setClipping(false);
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
    }
    if (needle_ && region.intersects(needle_->area().translated(needle_->pos())))
        needle_->draw(painter);
    for (const auto& t : texts_)
        if (t && region.intersects(t->geometry())) t->draw(painter);
}

} // namespace kx
