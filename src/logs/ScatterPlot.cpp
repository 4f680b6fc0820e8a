#include "logs/ScatterPlot.h"

#include "util/numbers.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace kx {

namespace {
const QColor kGrid(232, 232, 232);
const QColor kFrame(90, 90, 90);
constexpr double kClickRadius = 8; // pixels around a dot that still pick it
constexpr int kRingRadius = 6;

// The position of a value on an axis `pixels` long, from its low end.
double along(double value, const ValueAxis& a, int pixels) {
    return (value - a.low) / (a.high - a.low) * (pixels - 1);
}
} // namespace

ScatterPlot::ScatterPlot(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    describe();
}

void ScatterPlot::setColumns(const Column& x, const Column& y, const Column& colour) {
    x_ = x, y_ = y, colour_ = colour;
    records_ =
        static_cast<int64_t>(std::min({x.values.size(), y.values.size(), colour.values.size()}));
    frame_.reset();
    imageDirty_ = true;
    describe();
    update();
}

void ScatterPlot::setColourRange(ScatterRange range) {
    colourRange_ = range;
    frame_.reset();
    imageDirty_ = true;
    describe();
    update();
}

void ScatterPlot::clear() {
    setColumns({}, {}, {});
}

void ScatterPlot::setCursorRecord(int64_t record) {
    if (record == cursor_) return;
    cursor_ = record;
    describe();
    update();
}

std::optional<QPoint> ScatterPlot::dotOf(int64_t record) {
    if (record < 0 || record >= records_) return std::nullopt;
    const Frame& f = frame();
    const auto p = f.mapping.pixel(x_.values[size_t(record)], y_.values[size_t(record)]);
    if (!p) return std::nullopt;
    return f.layout.plot.topLeft() + *p;
}

ScatterPlot::Frame ScatterPlot::makeFrame(QSize size) const {
    const QFontMetrics fm = fontMetrics();
    Frame f;
    f.layout = scatterLayout(size, fm.height(), fm.horizontalAdvance(QStringLiteral("-00000.0")));
    const auto n = static_cast<size_t>(records_);
    const auto x = x_.values.first(n), y = y_.values.first(n);
    f.mapping =
        scatterMapping(x, y, colour_.values.first(n), f.layout.plot.width(), f.layout.plot.height(),
                       f.layout.legend.height(), 2 * fm.height() + 8, colourRange_);
    f.index = ScatterIndex(f.mapping, x, y, colour_.values.first(n));
    return f;
}

const ScatterPlot::Frame& ScatterPlot::frame() {
    if (!frame_) frame_ = makeFrame(size());
    return *frame_;
}

void ScatterPlot::draw(QImage& image, const Frame& f) const {
    image.fill(Qt::white);
    const QRect plot = f.layout.plot;
    {
        QPainter p(&image);
        p.setPen(kGrid);
        for (double t : f.mapping.x.ticks) {
            const int x = plot.left() + int(std::lround(along(t, f.mapping.x, plot.width())));
            p.drawLine(x, plot.top(), x, plot.bottom());
        }
        for (double t : f.mapping.y.ticks) {
            const int y = plot.bottom() - int(std::lround(along(t, f.mapping.y, plot.height())));
            p.drawLine(plot.left(), y, plot.right(), y);
        }
    }
    drawDots(image, f);
    QPainter p(&image);
    p.setFont(font());
    drawAxes(p, f);
}

void ScatterPlot::drawDots(QImage& image, const Frame& f) const {
    const QRect plot = f.layout.plot;
    const ScatterIndex& index = f.index;
    // Sparse dots are drawn larger so that they can be seen; dense ones take a pixel each.
    const int64_t area = int64_t(index.width()) * index.height();
    const int size = index.dots() * 16 <= area ? 3 : index.dots() * 6 <= area ? 2 : 1;
    for (int py = 0; py < index.height(); ++py) {
        for (int px = 0; px < index.width(); ++px) {
            const int64_t r = index.recordAt(px, py);
            if (r < 0) continue;
            const uint32_t colour = f.mapping.colourOf(colour_.values[size_t(r)]);
            const int top = std::max(py - size / 2, 0);
            const int bottom = std::min(py - size / 2 + size, index.height());
            const int left = std::max(px - size / 2, 0);
            const int right = std::min(px - size / 2 + size, index.width());
            for (int y = top; y < bottom; ++y) {
                auto* line = reinterpret_cast<uint32_t*>(image.scanLine(plot.top() + y));
                std::fill(line + plot.left() + left, line + plot.left() + right, colour);
            }
        }
    }
}

void ScatterPlot::drawAxes(QPainter& p, const Frame& f) const {
    const QRect plot = f.layout.plot, legend = f.layout.legend;
    const QFontMetrics fm = p.fontMetrics();
    const QColor text = palette().color(QPalette::WindowText);
    p.setPen(kFrame);
    p.drawRect(plot.adjusted(-1, -1, 0, 0));
    p.setPen(text);
    if (records_ == 0) p.drawText(plot, Qt::AlignCenter, QStringLiteral("No values to plot"));

    int lastRight = -1000; // labels that would overlap the previous one are left out
    for (double t : f.mapping.x.ticks) {
        const int x = plot.left() + int(std::lround(along(t, f.mapping.x, plot.width())));
        p.drawLine(x, plot.bottom() + 1, x, plot.bottom() + 4);
        const QString label = analyserValueText(t, f.mapping.x.step);
        const int w = fm.horizontalAdvance(label);
        if (x - w / 2 <= lastRight + 6) continue;
        p.drawText(x - w / 2, plot.bottom() + 6 + fm.ascent(), label);
        lastRight = x - w / 2 + w;
    }
    p.drawText(QRect(plot.left(), plot.bottom() + 6 + fm.height(), plot.width(), fm.height()),
               Qt::AlignCenter, x_.name);
    for (double t : f.mapping.y.ticks) {
        const int y = plot.bottom() - int(std::lround(along(t, f.mapping.y, plot.height())));
        p.drawLine(plot.left() - 5, y, plot.left() - 2, y);
        const QString label = analyserValueText(t, f.mapping.y.step);
        p.drawText(QRect(0, y - fm.height() / 2, plot.left() - 7, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, label);
    }
    p.save();
    p.translate(2, plot.top() + plot.height() / 2);
    p.rotate(-90);
    p.drawText(QRect(-plot.height() / 2, 0, plot.height(), fm.height()), Qt::AlignCenter, y_.name);
    p.restore();

    // The colour scale: high values at the top, as on the Y axis.
    for (int row = 0; row < legend.height(); ++row) {
        const double fraction = legend.height() > 1 ? 1.0 - double(row) / (legend.height() - 1) : 0;
        p.setPen(QColor::fromRgb(scatterScaleColour(fraction)));
        p.drawLine(legend.left(), legend.top() + row, legend.right(), legend.top() + row);
    }
    p.setPen(kFrame);
    p.drawRect(legend.adjusted(-1, -1, 0, 0));
    p.setPen(text);
    for (double t : f.mapping.colour.ticks) {
        const int y =
            legend.bottom() - int(std::lround(along(t, f.mapping.colour, legend.height())));
        p.drawLine(legend.right() + 1, y, legend.right() + 4, y);
        p.drawText(legend.right() + 7, y - fm.height() / 2 + fm.ascent(),
                   analyserValueText(t, f.mapping.colour.step));
    }
    const int titleWidth = fm.horizontalAdvance(colour_.name);
    const int right = std::max(legend.right() + 7 + fm.horizontalAdvance(QStringLiteral("00000")),
                               legend.left() + titleWidth);
    p.drawText(std::min(legend.left(), right - titleWidth), 2 + fm.ascent(), colour_.name);
}

void ScatterPlot::drawCursor(QPainter& p, const Frame& f) const {
    if (cursor_ < 0 || cursor_ >= records_) return;
    const auto dot = f.mapping.pixel(x_.values[size_t(cursor_)], y_.values[size_t(cursor_)]);
    if (!dot) return;
    const QRect plot = f.layout.plot;
    const QPoint c = plot.topLeft() + *dot;
    p.setPen(QPen(QColor(0, 0, 0, 90), 0, Qt::DashLine));
    p.drawLine(plot.left(), c.y(), plot.right(), c.y());
    p.drawLine(c.x(), plot.top(), c.x(), plot.bottom());
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 4));
    p.drawEllipse(QPointF(c), kRingRadius, kRingRadius);
    p.setPen(QPen(Qt::black, 2));
    p.drawEllipse(QPointF(c), kRingRadius, kRingRadius);
}

void ScatterPlot::describe() {
    if (records_ == 0) {
        setAccessibleDescription(QStringLiteral("No values to plot."));
        return;
    }
    QString cursor;
    if (cursor_ >= 0 && cursor_ < records_) {
        const auto value = [this](const Column& c) {
            return c.name + u' ' + singleText(c.values[size_t(cursor_)]);
        };
        cursor = QStringLiteral("record %1: ").arg(cursor_ + 1) + value(x_) + QStringLiteral(", ") +
                 value(y_) + QStringLiteral(", ") + value(colour_);
    }
    setAccessibleDescription(
        scatterDescription(x_.name, y_.name, colour_.name, frame().mapping, records_, cursor));
}

QImage ScatterPlot::renderImage(QSize size) const {
    const Frame f = makeFrame(size);
    QImage image(size, QImage::Format_RGB32);
    draw(image, f);
    QPainter p(&image);
    drawCursor(p, f);
    return image;
}

void ScatterPlot::paintEvent(QPaintEvent*) {
    if (imageDirty_ || cache_.size() != size()) {
        cache_ = QImage(size(), QImage::Format_RGB32);
        draw(cache_, frame());
        imageDirty_ = false;
    }
    QPainter p(this);
    p.drawImage(0, 0, cache_);
    drawCursor(p, frame());
}

void ScatterPlot::resizeEvent(QResizeEvent*) {
    frame_.reset();
    imageDirty_ = true;
    describe();
}

void ScatterPlot::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const Frame& f = frame();
    const int64_t r =
        f.index.nearest(event->position() - QPointF(f.layout.plot.topLeft()), kClickRadius);
    if (r >= 0) emit recordClicked(r);
}

} // namespace kx
