#include "gauges/GaugePicture.h"

#include <QPaintEvent>
#include <QPainter>

namespace kx {

GaugePicture::GaugePicture(QWidget* parent) : QWidget(parent) {
    installGaugeAccessibility();
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    setForegroundRole(QPalette::WindowText);
    heldTimer_.setSingleShot(true);
    connect(&heldTimer_, &QTimer::timeout, this, &GaugePicture::announceHeld);
}

void GaugePicture::setScaleImage(const QPixmap& image) {
    scale_ = image;
    update();
}

void GaugePicture::setReading(const DialReading& reading) {
    const bool changed = reading.current != reading_.current;
    reading_ = reading;
    if (!changed) return;
    if (gate_.change(ticks()))
        announce();
    else if (!heldTimer_.isActive())
        heldTimer_.start(int(gate_.heldFor(ticks())));
}

void GaugePicture::announceHeld() {
    if (!gate_.held()) return;
    gate_.release(ticks());
    announce();
}

void GaugePicture::announce() {
    sendDialValueChange(this);
    emit announced(reading_.current);
}

void GaugePicture::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (!scale_.isNull()) {
        // Only copies the cached scale: needle and texts are overlays drawn by their own widgets.
        const qreal ratio = scale_.devicePixelRatio();
        const QRect r = event->rect();
        painter.drawPixmap(
            r, scale_,
            QRectF(r.x() * ratio, r.y() * ratio, r.width() * ratio, r.height() * ratio).toRect());
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
    }
}

} // namespace kx
