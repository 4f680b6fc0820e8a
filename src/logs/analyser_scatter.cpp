#include "logs/analyser_scatter.h"

#include "live/channels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace kx {

namespace {

struct Stop {
    double at;
    int r, g, b;
};
constexpr std::array<Stop, 5> kScale = {
    {{0, 0, 40, 230}, {0.25, 0, 170, 220}, {0.5, 0, 170, 40}, {0.75, 235, 165, 0}, {1, 215, 0, 0}}};

struct Extent {
    float low = std::numeric_limits<float>::infinity();
    float high = -std::numeric_limits<float>::infinity();
};
Extent extent(std::span<const float> values) {
    Extent e;
    for (float v : values) {
        if (!std::isfinite(v)) continue;
        e.low = std::min(e.low, v);
        e.high = std::max(e.high, v);
    }
    if (e.low > e.high) e.low = e.high = 0; // no value at all
    return e;
}

int ticksFor(int pixels, int spacing) {
    return std::max(2, pixels / std::max(spacing, 1) + 1);
}

} // namespace

ScatterLayout scatterLayout(QSize size, int fontHeight, int labelWidth) {
    const int top = fontHeight + 8;
    const int left = labelWidth + fontHeight + 12;
    const int bottom = 2 * fontHeight + 12;
    constexpr int kGap = 14, kBar = 14;
    const int right = kGap + kBar + 6 + labelWidth + 6;
    ScatterLayout l;
    l.plot = QRect(left, top, std::max(size.width() - left - right, 0),
                   std::max(size.height() - top - bottom, 0));
    l.legend = QRect(l.plot.right() + 1 + kGap, top, kBar, l.plot.height());
    return l;
}

uint32_t scatterScaleColour(double fraction) {
    fraction = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
    size_t i = 1;
    while (i + 1 < kScale.size() && fraction > kScale[i].at)
        ++i;
    const Stop& a = kScale[i - 1];
    const Stop& b = kScale[i];
    const double t = (fraction - a.at) / (b.at - a.at);
    const auto mix = [t](int from, int to) {
        return static_cast<uint32_t>(std::lround(from + (to - from) * t));
    };
    return 0xFF000000u | mix(a.r, b.r) << 16 | mix(a.g, b.g) << 8 | mix(a.b, b.b);
}

uint32_t ScatterMapping::colourOf(float value) const {
    return scatterScaleColour((value - colour.low) / (colour.high - colour.low));
}

ScatterRange scatterColourRange(std::span<const float> values) {
    std::vector<float> finite;
    finite.reserve(values.size());
    for (float v : values)
        if (std::isfinite(v)) finite.push_back(v);
    if (finite.empty()) return {};
    // Nearest rank: the values at 1 % and 99 % of the sorted column.
    const auto rank = [&](double p) {
        const auto i = static_cast<size_t>(std::ceil(p * double(finite.size()))) - 1;
        const auto at = finite.begin() + std::ptrdiff_t(std::min(i, finite.size() - 1));
        std::nth_element(finite.begin(), at, finite.end());
        return double(*at);
    };
    ScatterRange r{rank(0.01), rank(0.99)};
    if (!r.usable()) {
        // Nearly every value the same: the whole column, so that the odd one still shows.
        const Extent e = extent(finite);
        r = {e.low, e.high};
    }
    return r;
}

ScatterMapping scatterMapping(std::span<const float> x, std::span<const float> y,
                              std::span<const float> colour, int width, int height,
                              int legendHeight, int tickSpacing, ScatterRange colourRange) {
    const size_t n = std::min({x.size(), y.size(), colour.size()});
    const Extent ex = extent(x.first(n)), ey = extent(y.first(n)), ec = extent(colour.first(n));
    ScatterMapping m;
    m.width = width;
    m.height = height;
    m.x = analyserValueAxis(ex.low, ex.high, ticksFor(width, tickSpacing * 2));
    m.y = analyserValueAxis(ey.low, ey.high, ticksFor(height, tickSpacing));
    if (!colourRange.usable()) {
        m.colour = analyserValueAxis(ec.low, ec.high, ticksFor(legendHeight, tickSpacing));
        return m;
    }
    // The range as it was set, with the round ticks inside it.
    const int ticks = ticksFor(legendHeight, tickSpacing);
    m.colour = analyserValueAxis(colourRange.low, colourRange.high, ticks);
    m.colour.low = colourRange.low;
    m.colour.high = colourRange.high;
    std::erase_if(m.colour.ticks, [&](double t) {
        return t < colourRange.low - 1e-9 || t > colourRange.high + 1e-9;
    });
    return m;
}

ScatterIndex::ScatterIndex(const ScatterMapping& mapping, std::span<const float> x,
                           std::span<const float> y, std::span<const float> colour)
    : width_(std::max(mapping.width, 0)), height_(std::max(mapping.height, 0)),
      cells_(static_cast<size_t>(width_) * static_cast<size_t>(height_), -1) {
    if (cells_.empty()) return;
    const size_t n = std::min({x.size(), y.size(), colour.size()});
    for (size_t r = 0; r < n; ++r) {
        const auto p = mapping.pixel(x[r], y[r]);
        if (!p) continue;
        int32_t& cell = cells_[static_cast<size_t>(p->y()) * size_t(width_) + size_t(p->x())];
        if (cell < 0)
            ++dots_;
        else if (colour[r] < colour[size_t(cell)] || std::isnan(colour[r]))
            continue;
        cell = static_cast<int32_t>(r);
    }
}

int64_t ScatterIndex::recordAt(int px, int py) const {
    if (px < 0 || py < 0 || px >= width_ || py >= height_) return -1;
    return cells_[static_cast<size_t>(py) * size_t(width_) + size_t(px)];
}

int64_t ScatterIndex::nearest(QPointF p, double radius) const {
    const int x0 = static_cast<int>(std::floor(p.x() - radius));
    const int x1 = static_cast<int>(std::ceil(p.x() + radius));
    const int y0 = static_cast<int>(std::floor(p.y() - radius));
    const int y1 = static_cast<int>(std::ceil(p.y() + radius));
    int64_t best = -1;
    double bestDistance = radius * radius;
    for (int py = std::max(y0, 0); py <= std::min(y1, height_ - 1); ++py) {
        for (int px = std::max(x0, 0); px <= std::min(x1, width_ - 1); ++px) {
            const int64_t r = recordAt(px, py);
            const double dx = px - p.x(), dy = py - p.y();
            if (r < 0 || dx * dx + dy * dy > bestDistance) continue;
            if (best >= 0 && dx * dx + dy * dy == bestDistance) continue; // the first of a tie
            best = r;
            bestDistance = dx * dx + dy * dy;
        }
    }
    return best;
}

ScatterChoice scatterDefaults(const std::vector<int>& codes) {
    constexpr std::array<int, 3> kWanted = {channel::Rpm, channel::Throttle, channel::Wideband};
    std::array<int, 3> chosen{};
    std::vector<int> taken;
    for (size_t i = 0; i < kWanted.size(); ++i) {
        const auto at = std::find(codes.begin(), codes.end(), kWanted[i]);
        chosen[i] = at == codes.end() ? -1 : static_cast<int>(at - codes.begin());
        if (chosen[i] >= 0) taken.push_back(chosen[i]);
    }
    for (int& c : chosen) {
        if (c >= 0) continue;
        c = 0;
        for (int k = 0; k < static_cast<int>(codes.size()); ++k) {
            if (std::find(taken.begin(), taken.end(), k) != taken.end()) continue;
            c = k;
            taken.push_back(k);
            break;
        }
    }
    return {chosen[0], chosen[1], chosen[2]};
}

QString scatterDescription(const QString& xName, const QString& yName, const QString& colourName,
                           const ScatterMapping& mapping, int64_t records, const QString& cursor) {
    const auto axis = [](const QString& name, const ValueAxis& a, const char* where) {
        return name + QString::fromLatin1(where) + analyserValueText(a.low, a.step) +
               QStringLiteral(" to ") + analyserValueText(a.high, a.step);
    };
    QString text = axis(xName, mapping.x, " across from ") + QStringLiteral(", ") +
                   axis(yName, mapping.y, " up from ") + QStringLiteral(", coloured by ") +
                   colourName + QStringLiteral(", blue at ") +
                   analyserValueText(mapping.colour.low, mapping.colour.step) +
                   QStringLiteral(" to red at ") +
                   analyserValueText(mapping.colour.high, mapping.colour.step) +
                   QStringLiteral(". %1 records.").arg(records);
    if (!cursor.isEmpty()) text += QStringLiteral(" Cursor at ") + cursor + u'.';
    return text;
}

} // namespace kx
