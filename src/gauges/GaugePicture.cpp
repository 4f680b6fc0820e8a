#include "gauges/GaugePicture.h"

#include <QPaintEvent>
#include <QPainter>

namespace kx {

GaugePicture::GaugePicture(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    setForegroundRole(QPalette::WindowText);
}

void GaugePicture::setScaleImage(const QPixmap& image) {
    scale_ = image;
    update();
}

void GaugePicture::paintEvent(QPaintEvent* event) {
    if (scale_.isNull()) return;
    // Only copies the cached scale: needle and texts are overlays drawn by their own widgets.
    QPainter painter(this);
    const qreal ratio = scale_.devicePixelRatio();
    const QRect r = event->rect();
    painter.drawPixmap(
        r, scale_,
        QRectF(r.x() * ratio, r.y() * ratio, r.width() * ratio, r.height() * ratio).toRect());
}

} // namespace kx
