#include "logs/AnalyserPlot.h"

#include "logs/analyser_plot.h"
#include "util/twips.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace kx {

namespace {
const QColor kBackground(Qt::white);
const QColor kGrid(200, 200, 200);
const QColor kCursor(Qt::black);
} // namespace

AnalyserPlot::AnalyserPlot(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

void AnalyserPlot::setSurface(int64_t widthTwips, double stepX) {
    if (widthTwips == surfaceWidth_ && stepX == stepX_) return;
    surfaceWidth_ = widthTwips;
    stepX_ = stepX;
    invalidate();
}

void AnalyserPlot::setOffset(int64_t offsetTwips) {
    if (offsetTwips == offset_) return;
    offset_ = offsetTwips;
    invalidate();
}

void AnalyserPlot::clearSeries() {
    series_.clear();
    invalidate();
}

void AnalyserPlot::addSeries(const Series& series) {
    series_.push_back(series);
    invalidate();
}

void AnalyserPlot::setCursorX(double xTwips) {
    if (xTwips == cursorX_) return;
    cursorX_ = xTwips;
    update();
}

void AnalyserPlot::invalidate() {
    dirty_ = true;
    update();
}

double AnalyserPlot::offsetPixels() const {
    return twipsToPixels(static_cast<double>(offset_));
}

void AnalyserPlot::render() {
    const qreal dpr = devicePixelRatioF();
    const QSize size = this->size() * dpr;
    if (cache_.size() != size) cache_ = QImage(size, QImage::Format_RGB32);
    cache_.setDevicePixelRatio(dpr);
    const int w = width(), h = height();
    QPainter p(&cache_);
    p.fillRect(rect(), kBackground);
    // Beyond the surface's right edge (a container grown by a resize) is not plot.
    const double right = twipsToPixels(static_cast<double>(surfaceWidth_)) - offsetPixels();
    const int visible = static_cast<int>(std::clamp(std::ceil(right), 0.0, double(w)));
    if (visible < w) p.fillRect(visible, 0, w - visible, h, palette().color(QPalette::Window));
    p.setPen(QPen(kGrid, 0, Qt::DotLine));
    for (int row : analyserGridRows(h))
        p.drawLine(0, row, visible, row);

    const PlotView view{twipsToPixels(stepX_), offsetPixels(), w, h};
    for (const Series& s : series_) {
        const auto [first, last] =
            analyserVisibleRecords(view, static_cast<int64_t>(s.values.size()));
        const std::vector<QLineF> lines = analyserTrace(s.values, first, last, view, s.maxVal);
        p.setPen(QPen(s.colour, 0));
        p.drawLines(lines.data(), static_cast<int>(lines.size()));
    }
    dirty_ = false;
}

void AnalyserPlot::paintEvent(QPaintEvent*) {
    if (dirty_ || cache_.size() != size() * devicePixelRatioF()) render();
    QPainter p(this);
    p.drawImage(0, 0, cache_);
    const double x = twipsToPixels(cursorX_) - offsetPixels();
    if (x > -1 && x < width() + 1) {
        p.setPen(QPen(kCursor, 0));
        p.drawLine(QPointF(x, 0), QPointF(x, height() - 1));
    }
}

void AnalyserPlot::resizeEvent(QResizeEvent*) {
    dirty_ = true;
}

void AnalyserPlot::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit pressed((event->position().x() + offsetPixels()) * kTwipsPerPixel);
}

void AnalyserPlot::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        emit pressed((event->position().x() + offsetPixels()) * kTwipsPerPixel);
}

} // namespace kx
