#include "dyno/DynoPlot.h"

#include "logs/analyser_axes.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace kx {

namespace {
constexpr int kLeft = 64, kRight = 64, kTop = 34, kBottom = 40;
constexpr int kTickRoom = 40; // pixels a tick label needs between ticks

int ticksFor(int pixels) {
    return std::max(2, pixels / kTickRoom);
}
} // namespace

DynoPlot::DynoPlot(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("picDyno"));
    setAccessibleName(QStringLiteral("Power and torque"));
    setMinimumSize(420, 300);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
}

void DynoPlot::setCurves(std::vector<Curve> curves, DynoUnits units) {
    curves_ = std::move(curves);
    units_ = units;
    QStringList said;
    for (const Curve& c : curves_)
        said << c.name + QStringLiteral(": ") + peaksText(c.curve, units_);
    setAccessibleDescription(said.isEmpty() ? QStringLiteral("No pull ticked")
                                            : said.join(QStringLiteral(". ")));
    update();
}

QImage DynoPlot::renderImage(QSize size) const {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    draw(p, size);
    return image;
}

void DynoPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    draw(p, size());
}

void DynoPlot::draw(QPainter& p, QSize size) const {
    p.setRenderHint(QPainter::Antialiasing);
    const QRect plot(kLeft, kTop, size.width() - kLeft - kRight, size.height() - kTop - kBottom);
    if (plot.width() < 10 || plot.height() < 10) return;
    double rpmLow = INFINITY, rpmHigh = -INFINITY, power = 0, torque = 0;
    for (const Curve& c : curves_)
        for (const DynoPoint& x : c.curve.points) {
            rpmLow = std::min(rpmLow, x.rpm);
            rpmHigh = std::max(rpmHigh, x.rpm);
            power = std::max(power, units_.powerOf(x.powerW));
            torque = std::max(torque, units_.torqueOf(x.torqueNm));
        }
    const bool any = rpmHigh >= rpmLow;
    const ValueAxis xs = analyserValueAxis(any ? rpmLow : 1000, any ? rpmHigh : 7000,
                                           ticksFor(plot.width() * 2 / 3));
    // A little room above the peaks, so that no line runs along the frame.
    const ValueAxis ps = analyserValueAxis(0, any ? power * 1.04 : 100, ticksFor(plot.height()));
    const ValueAxis ts = analyserValueAxis(0, any ? torque * 1.04 : 100, ticksFor(plot.height()));
    const auto X = [&](double rpm) {
        return plot.left() + (rpm - xs.low) / (xs.high - xs.low) * plot.width();
    };
    const auto Y = [&](const ValueAxis& a, double v) {
        return plot.bottom() - (v - a.low) / (a.high - a.low) * plot.height();
    };

    const QFontMetrics fm(p.font());
    p.setPen(QColor(0xE0, 0xE0, 0xE0));
    for (double t : xs.ticks)
        p.drawLine(QPointF(X(t), plot.top()), QPointF(X(t), plot.bottom()));
    for (double t : ps.ticks)
        p.drawLine(QPointF(plot.left(), Y(ps, t)), QPointF(plot.right(), Y(ps, t)));
    p.setPen(Qt::black);
    p.drawRect(plot);
    for (double t : xs.ticks) {
        const QString s = analyserValueText(t, xs.step);
        p.drawText(QPointF(X(t) - fm.horizontalAdvance(s) / 2.0, plot.bottom() + fm.height()), s);
    }
    for (double t : ps.ticks) {
        const QString s = analyserValueText(t, ps.step);
        p.drawText(QPointF(plot.left() - 6 - fm.horizontalAdvance(s), Y(ps, t) + fm.ascent() / 2.0),
                   s);
    }
    for (double t : ts.ticks)
        p.drawText(QPointF(plot.right() + 6, Y(ts, t) + fm.ascent() / 2.0),
                   analyserValueText(t, ts.step));
    p.drawText(QRect(plot.left(), plot.bottom() + fm.height() + 4, plot.width(), fm.height()),
               Qt::AlignHCenter, QStringLiteral("RPM"));
    p.drawText(QPointF(4, kTop - 8),
               QStringLiteral("Power ") + units_.power() + QStringLiteral(" (solid)"));
    const QString torqueCaption =
        QStringLiteral("Torque ") + units_.torque() + QStringLiteral(" (dashed)");
    p.drawText(QPointF(size.width() - 4 - fm.horizontalAdvance(torqueCaption), kTop - 8),
               torqueCaption);

    // Legend, in the plot's bottom right corner: below the curves, which rise with RPM.
    int legendWidth = 0;
    for (const Curve& c : curves_)
        legendWidth = std::max(legendWidth, fm.horizontalAdvance(c.name));
    const int legendX = plot.right() - legendWidth - 44;
    int legendY = plot.bottom() - int(curves_.size()) * (fm.height() + 2) - 6;
    for (const Curve& c : curves_) {
        p.setPen(QPen(c.colour, 3));
        p.drawLine(legendX, legendY + fm.height() / 2, legendX + 22, legendY + fm.height() / 2);
        p.setPen(Qt::black);
        p.drawText(QPointF(legendX + 28, legendY + fm.ascent()), c.name);
        legendY += fm.height() + 2;
    }

    p.setClipRect(plot);
    drawRatios(p, plot, X);
    for (const Curve& c : curves_) {
        double step = INFINITY;
        for (size_t k = 1; k < c.curve.points.size(); ++k)
            step = std::min(step, c.curve.points[k].rpm - c.curve.points[k - 1].rpm);
        for (const bool isPower : {true, false}) {
            QPainterPath path;
            bool started = false;
            double lastRpm = 0;
            for (const DynoPoint& x : c.curve.points) {
                const QPointF at(X(x.rpm), isPower ? Y(ps, units_.powerOf(x.powerW))
                                                   : Y(ts, units_.torqueOf(x.torqueNm)));
                // A step missing (a gap in the pull) leaves a break in the line.
                const bool joined = started && x.rpm - lastRpm < 1.5 * step;
                if (joined)
                    path.lineTo(at);
                else
                    path.moveTo(at);
                started = true;
                lastRpm = x.rpm;
            }
            p.setPen(QPen(c.colour, 2, isPower ? Qt::SolidLine : Qt::DashLine));
            p.drawPath(path);
        }
    }
}

void DynoPlot::drawRatios(QPainter& p, const QRect& plot,
                          const std::function<double(double)>& X) const {
    double low = INFINITY, high = -INFINITY;
    for (const Curve& c : curves_)
        for (const DynoPoint& x : c.curve.points)
            if (std::isfinite(x.afr)) {
                low = std::min(low, x.afr);
                high = std::max(high, x.afr);
            }
    if (!(high >= low)) return;
    // A scale of its own in the plot's lower third, labelled inside its left edge: a ratio
    // shares no unit with power or torque.
    const QFontMetrics fm(p.font());
    // Room below for the lowest label and above for the caption.
    const QRect band(plot.left(), plot.bottom() - plot.height() / 3, plot.width(),
                     plot.height() / 3 - fm.height());
    const ValueAxis as = analyserValueAxis(low - 0.2, high + 0.2, ticksFor(band.height()));
    const auto Y = [&](double v) {
        return band.bottom() - (v - as.low) / (as.high - as.low) * band.height();
    };
    p.setPen(QColor(0x60, 0x60, 0x60));
    for (double t : as.ticks)
        p.drawText(QPointF(plot.left() + 4, Y(t) + fm.ascent() / 2.0),
                   analyserValueText(t, as.step));
    p.drawText(QPointF(plot.left() + 4, band.top() - fm.height()), QStringLiteral("AFR (dotted)"));
    for (const Curve& c : curves_) {
        const auto& points = c.curve.points;
        const double step = points.size() > 1 ? points[1].rpm - points[0].rpm : INFINITY;
        QPainterPath path;
        bool joined = false;
        double lastRpm = 0;
        for (const DynoPoint& x : points) {
            if (!std::isfinite(x.afr)) {
                joined = false;
                continue;
            }
            const QPointF at(X(x.rpm), Y(x.afr));
            // A step without a ratio, or a gap in the pull, breaks the line.
            if (joined && x.rpm - lastRpm < 1.5 * step)
                path.lineTo(at);
            else
                path.moveTo(at);
            joined = true;
            lastRpm = x.rpm;
        }
        p.setPen(QPen(c.colour, 2, Qt::DotLine));
        p.drawPath(path);
    }
}

} // namespace kx
