#include "gauges/Graph.h"

#include "util/colour.h"
#include "util/twips.h"

#include <QPaintEvent>
#include <QPainter>

namespace kx {

Graph::Graph(QWidget* parent) : QFrame(parent), model_([this] { draw(); }) {
    model_.frame = [this] { DrawControl(); };
    setAttribute(Qt::WA_OpaquePaintEvent);
    DrawControl();
}

void Graph::DrawControl() {
    const auto& p = model_.props();
    if (p.BorderStyle == 0) {
        setFrameStyle(QFrame::NoFrame);
    } else {
        setFrameStyle(p.Appearance == 0 ? QFrame::Box | QFrame::Plain
                                        : QFrame::Panel | QFrame::Sunken);
    }
    setLineWidth(1);
}

void Graph::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    const QSize inner = contentsRect().size();
    if (inner.width() > 0 && inner.height() > 0) picDraw_ = QImage(inner, QImage::Format_RGB32);
    Refresh();
}

void Graph::draw() {
    if (picDraw_.isNull() || picDraw_.width() <= 0 || picDraw_.height() <= 0) return;
    const GraphDrawing g =
        graphDrawing(model_.props(), model_.datasets(), pixelsToTwips(picDraw_.width()),
                     pixelsToTwips(picDraw_.height()));
    picDraw_.fill(colourFromBgr(g.back));
    QPainter p(&picDraw_);
    // Twips in, pixels out; a cosmetic pen stays one pixel wide.
    p.scale(1.0 / kTwipsPerPixel, 1.0 / kTwipsPerPixel);
    QPen outline(Qt::black, 0);
    for (const GraphItem& it : g.items) {
        switch (it.kind) {
        case GraphItem::Line:
            p.setPen(QPen(colourFromBgr(it.colour), 0));
            p.drawLine(it.a, it.b, it.c, it.d);
            break;
        case GraphItem::Box:
            p.setPen(outline);
            p.setBrush(colourFromBgr(it.colour));
            p.drawRect(
                QRect(QPoint(it.a, std::min(it.b, it.d)), QPoint(it.c, std::max(it.b, it.d))));
            break;
        case GraphItem::Circle:
            p.setPen(outline);
            p.setBrush(colourFromBgr(it.colour));
            p.drawEllipse(QPoint(it.a, it.b), it.c, it.c);
            break;
        }
    }
    p.end();
    update(contentsRect());
}

void Graph::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter p(this);
    if (picDraw_.isNull())
        p.fillRect(contentsRect(), colourFromBgr(model_.props().BackColor));
    else
        p.drawImage(contentsRect().topLeft(), picDraw_);
}

} // namespace kx
