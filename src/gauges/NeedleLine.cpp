#include "gauges/NeedleLine.h"

#include <QPainter>

namespace kx {

NeedleLine::NeedleLine(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

QRect NeedleLine::area() const {
    const int margin = width_ + 2;
    return QRectF(line_.p1(), line_.p2())
        .normalized()
        .toAlignedRect()
        .adjusted(-margin, -margin, margin, margin);
}

void NeedleLine::setDrawnByDial(bool drawn) {
    drawnByDial_ = drawn;
    if (drawn) setGeometry(QRect());
}

void NeedleLine::repaintArea(const QRect& box) {
    if (drawnByDial_ && parentWidget())
        parentWidget()->update(box.translated(pos()));
    else
        update(box);
}

void NeedleLine::setLine(const QLineF& line) {
    if (line == line_) return;
    repaintArea(area());
    line_ = line;
    repaintArea(area());
}

void NeedleLine::setColour(const QColor& colour) {
    colour_ = colour;
    repaintArea(area());
}

void NeedleLine::setPenWidth(int pixels) {
    repaintArea(area());
    width_ = pixels;
    repaintArea(area());
}

void NeedleLine::draw(QPainter& painter) const {
    if (!isVisible()) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(colour_);
    pen.setWidth(width_); // a width of 0 still draws one pixel, as a thin needle should
    painter.setPen(pen);
    painter.drawLine(line_.translated(pos()));
    painter.restore();
}

void NeedleLine::paintEvent(QPaintEvent*) {
    if (drawnByDial_) return;
    QPainter painter(this);
    painter.translate(-pos());
    draw(painter);
}

} // namespace kx
