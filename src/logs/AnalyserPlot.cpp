#include "logs/AnalyserPlot.h"

#include "logs/analyser_axes.h"
#include "logs/analyser_plot.h"
#include "util/numbers.h"
#include "util/twips.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace kx {

namespace {
const QColor kBackground(Qt::white);
const QColor kGrid(200, 200, 200);
const QColor kCursor(Qt::black);
const QColor kRangeBackdrop(255, 255, 255, 215);
const QColor kRangeBackdropDark(70, 70, 70, 215); // behind a series colour too pale for white
} // namespace

AnalyserPlot::AnalyserPlot(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    describe();
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

void AnalyserPlot::setTimes(std::span<const double> seconds) {
    times_ = seconds;
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
    describe();
    update();
}

double AnalyserPlot::offsetPixels() const {
    return twipsToPixels(static_cast<double>(offset_));
}

int AnalyserPlot::plotHeight(int height) const {
    return std::max(height - fontMetrics().height() - 6, 1);
}

double AnalyserPlot::axisStepPixels() const {
    if (stepX_ > 0) return twipsToPixels(stepX_);
    return twipsToPixels(analyserStepX(surfaceWidth_, static_cast<int64_t>(times_.size())));
}

PlotView AnalyserPlot::view(int width, int plotHeight, double axisStep) const {
    const double scale = this->width() > 0 ? double(width) / this->width() : 1;
    return PlotView{axisStep * scale, offsetPixels() * scale, width, plotHeight};
}

void AnalyserPlot::draw(QPainter& p, QSize size, bool withCursor) const {
    const int w = size.width(), h = size.height(), ph = plotHeight(h);
    const double scale = width() > 0 ? double(w) / width() : 1;
    const QColor outside = palette().color(QPalette::Window);
    p.fillRect(QRect(QPoint(0, 0), size), kBackground);
    // Beyond the surface's right edge (a container grown by a resize) is not plot.
    const double right =
        (twipsToPixels(static_cast<double>(surfaceWidth_)) - offsetPixels()) * scale;
    const int visible = static_cast<int>(std::clamp(std::ceil(right), 0.0, double(w)));
    if (visible < w) p.fillRect(visible, 0, w - visible, ph, outside);
    p.fillRect(0, ph, w, h - ph, outside);
    p.setPen(QPen(kGrid, 0, Qt::DotLine));
    for (int row : analyserGridRows(ph))
        p.drawLine(0, row, visible, row);

    const PlotView v = view(w, ph, twipsToPixels(stepX_));
    for (const Series& s : series_) {
        const auto [first, last] = analyserVisibleRecords(v, static_cast<int64_t>(s.values.size()));
        const std::vector<QLineF> lines = analyserTrace(s.values, first, last, v, s.maxVal);
        p.setPen(QPen(s.colour, 0));
        p.drawLines(lines.data(), static_cast<int>(lines.size()));
    }
    drawTimeAxis(p, view(w, ph, axisStepPixels()), visible, ph);
    if (stepX_ > 0) drawRanges(p, v);
    if (withCursor) {
        const double x = (twipsToPixels(cursorX_) - offsetPixels()) * scale;
        p.setPen(QPen(kCursor, 0));
        if (x > -1 && x < w + 1) p.drawLine(QPointF(x, 0), QPointF(x, ph - 1));
    }
}

void AnalyserPlot::drawTimeAxis(QPainter& p, const PlotView& axisView, int width, int top) const {
    const double perRecord = axisView.pixelsPerRecord;
    if (times_.size() < 2 || !(perRecord > 0) || width < 2) return;
    const QFontMetrics fm = p.fontMetrics();
    const double from = analyserTimeAtRecord(times_, axisView.left / perRecord);
    const double to = analyserTimeAtRecord(times_, (axisView.left + width - 1) / perRecord);
    const int spacing = fm.horizontalAdvance(QStringLiteral("00:00:00.0")) + 16;
    const TimeTicks ticks = analyserTimeTicks(from, to, std::max(2, width / spacing));
    p.setPen(palette().color(QPalette::WindowText));
    p.drawLine(0, top, width - 1, top);
    for (const TimeTick& t : ticks.ticks) {
        const double x = analyserRecordAtTime(times_, t.seconds) * perRecord - axisView.left;
        p.drawLine(QPointF(x, top), QPointF(x, top + 3));
        const int textWidth = fm.horizontalAdvance(t.label);
        const int left = std::clamp(static_cast<int>(std::lround(x)) - textWidth / 2, 0,
                                    std::max(width - textWidth, 0));
        p.drawText(left, top + 4 + fm.ascent(), t.label);
    }
}

void AnalyserPlot::drawRanges(QPainter& p, const PlotView& v) const {
    const auto [first, last] = analyserRecordsInView(v, static_cast<int64_t>(times_.size()));
    const QFontMetrics fm = p.fontMetrics();
    int y = 2;
    for (const Series& s : series_) {
        const RangeIndex::Range r = s.ranges ? s.ranges->range(first, last) : RangeIndex::Range{};
        const QString text =
            s.name + u' ' +
            (r.empty ? QStringLiteral("-")
                     : singleText(r.low) + QStringLiteral(" \u2013 ") + singleText(r.high));
        const int textWidth = fm.horizontalAdvance(text);
        const QRect box(v.width - textWidth - 8, y, textWidth + 6, fm.height());
        p.fillRect(box, s.colour.lightnessF() > 0.7 ? kRangeBackdropDark : kRangeBackdrop);
        p.setPen(s.colour);
        p.drawText(box, Qt::AlignCenter, text);
        y += fm.height();
    }
}

void AnalyserPlot::describe() {
    if (times_.empty()) {
        setAccessibleDescription(QStringLiteral("No log loaded."));
        return;
    }
    const PlotView v = view(width(), plotHeight(), axisStepPixels());
    const auto [first, last] = analyserRecordsInView(v, static_cast<int64_t>(times_.size()));
    if (first > last) {
        setAccessibleDescription(QStringLiteral("No record in view."));
        return;
    }
    std::vector<SeriesRange> ranges;
    for (const Series& s : series_)
        ranges.push_back({s.name, s.ranges ? s.ranges->range(first, last) : RangeIndex::Range{}});
    setAccessibleDescription(analyserGraphDescription(first + 1, last + 1, times_[size_t(first)],
                                                      times_[size_t(last)], ranges));
}

QImage AnalyserPlot::renderImage(QSize size) const {
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setFont(font());
    draw(p, size, true);
    return image;
}

void AnalyserPlot::paintEvent(QPaintEvent*) {
    const qreal dpr = devicePixelRatioF();
    if (dirty_ || cache_.size() != size() * dpr) {
        if (cache_.size() != size() * dpr) cache_ = QImage(size() * dpr, QImage::Format_RGB32);
        cache_.setDevicePixelRatio(dpr);
        QPainter p(&cache_);
        p.setFont(font());
        draw(p, size(), false);
        dirty_ = false;
    }
    QPainter p(this);
    p.drawImage(0, 0, cache_);
    const double x = twipsToPixels(cursorX_) - offsetPixels();
    if (x > -1 && x < width() + 1) {
        p.setPen(QPen(kCursor, 0));
        p.drawLine(QPointF(x, 0), QPointF(x, plotHeight() - 1));
    }
}

void AnalyserPlot::resizeEvent(QResizeEvent*) {
    dirty_ = true;
    describe();
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
