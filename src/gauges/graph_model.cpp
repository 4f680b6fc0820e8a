#include "gauges/graph_model.h"

#include "util/numbers.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace kx {

template <class T> size_t Collection<T>::checked(int index) const {
    if (index < 1 || index > Count()) throw std::out_of_range("index outside the collection");
    return size_t(index - 1);
}
template class Collection<Point>;
template class Collection<Dataset>;

void Point::setValue(double v) {
    if (v == value_) return;
    value_ = v;
    parent_->changed();
}

Point& Points::Add(double value) {
    items_.push_back(std::make_unique<Point>(this, value));
    Point& p = *items_.back();
    changed();
    return p;
}

void Points::Remove(int index) {
    items_.erase(items_.begin() + std::ptrdiff_t(checked(index)));
    changed();
}

void Points::Clear() {
    items_.clear();
    changed();
}

void Points::changed() {
    owner_->changed();
}

void Points::removeOldest(int count) {
    items_.erase(items_.begin(), items_.begin() + count);
    changed();
}

void Dataset::changed() {
    parent_->changed();
}

Dataset& Datasets::Add() {
    items_.push_back(std::make_unique<Dataset>(this));
    Dataset& d = *items_.back();
    changed();
    return d;
}

void Datasets::Remove(int index) {
    items_.erase(items_.begin() + std::ptrdiff_t(checked(index)));
    changed();
}

void Datasets::Clear() {
    items_.clear();
    changed();
}

// ---------------------------------------------------------------- arithmetic

int GraphScale::row(double value) const {
    return range > 0 ? roundToInt(Z - H / range * value) : 0;
}

GraphScale graphScale(const GraphProps& p, int innerWidth, int innerHeight) {
    GraphScale s;
    s.W = innerWidth - 15;
    s.H = innerHeight - 15;
    s.range = p.MaxValue - p.MinValue;
    if (s.range > 0) s.Z = roundToInt((innerHeight - 15) / s.range * p.MaxValue);
    return s;
}

int slotX(int e, int S, int B, int W) {
    if (e == 1) return S > 1 ? roundToInt(B / 2.0) : roundToInt(W / 2.0);
    if (e == S) return roundToInt(W - B / 2.0);
    return roundToInt(double(W - B) / (S - 1) * (e - 1) + B / 2.0);
}

std::vector<int> gridRows(const GraphProps& p, const GraphScale& s) {
    std::vector<int> rows;
    if (s.range <= 0) return rows;
    const double step = double(roundToInt(s.H / s.range * p.YGridInc));
    if (step < 1) return rows;
    // Every row H - Z + k * step inside the plot, k any whole number.
    const double start = s.H - s.Z;
    for (double r = start - std::floor(start / step) * step; r <= s.H; r += step)
        rows.push_back(int(r));
    return rows;
}

namespace {
int slotCount(const GraphProps& p, const Datasets& sets) {
    if (p.FixedPoints != 0) return p.FixedPoints;
    int n = 0;
    for (const auto& d : sets)
        n = std::max(n, d->points().Count());
    return n;
}

void line(GraphDrawing& g, int x1, int y1, int x2, int y2, uint32_t colour) {
    g.items.push_back({GraphItem::Line, x1, y1, x2, y2, colour});
}
} // namespace

GraphDrawing graphDrawing(const GraphProps& p, const Datasets& sets, int innerWidth,
                          int innerHeight) {
    GraphDrawing g;
    g.back = p.BackColor;
    const GraphScale s = graphScale(p, innerWidth, innerHeight);
    const int N = slotCount(p, sets);
    if (p.ShowGrid && N >= 1) {
        if (p.XGridInc >= 1)
            for (int f = p.XGridInc; f <= N; f += p.XGridInc) {
                const int x = slotX(f, N, 0, s.W);
                line(g, x, 0, x, s.H, p.GridColor);
            }
        for (int r : gridRows(p, s))
            line(g, 0, r, s.W, r, p.GridColor);
    }
    int B = 0; // carried from one dataset to the next
    for (const auto& set : sets) {
        const DatasetProps& d = set->props();
        const Points& points = set->points();
        const int count = points.Count();
        if (!d.Visible || count < 1) continue;
        if (N > 0 && d.ShowBars) {
            const int D = p.FadeIn && count <= N ? count : N;
            B = roundToInt(double(s.W) / D * p.BarWidth);
        }
        const int S = p.FixedPoints > 0 ? p.FixedPoints : count;
        const int placed = std::min(count, S);
        std::vector<std::pair<int, int>> at; // x, row of each placed point
        at.reserve(size_t(placed));
        for (int e = 1; e <= placed; ++e)
            at.emplace_back(slotX(e, S, B, s.W), s.row(points.Item(e).Value()));
        if (d.ShowLines || d.ShowBars || d.ShowCaps) {
            for (int e = 1; e <= placed; ++e) {
                const auto [x, y] = at[size_t(e - 1)];
                const int left = roundToInt(x - B / 2.0);
                const int right = roundToInt(x + B / 2.0);
                if (d.ShowBars)
                    g.items.push_back({GraphItem::Box, left, y, right, s.Z, d.BarColor});
                if (d.ShowLines && e > 1) {
                    const auto [px, py] = at[size_t(e - 2)];
                    line(g, px, py, x, y, d.LineColor);
                }
                if (d.ShowCaps)
                    g.items.push_back({GraphItem::Box, left, y, right, y + 30, d.CapColor});
            }
        }
        if (p.ShowAxis) {
            line(g, 0, 0, 0, s.H, p.AxisColor);
            const int axis = p.MaxValue <= 0   ? 0
                             : p.MinValue >= 0 ? s.H
                                               : roundToInt(p.MaxValue * s.H / s.range);
            line(g, 0, axis, s.W, axis, p.AxisColor);
        }
        if (d.ShowPoints)
            for (int e = 1; e <= placed; ++e)
                if (e == 1 || p.XGridInc == 0 || e % p.XGridInc == 0) {
                    const auto [x, y] = at[size_t(e - 1)];
                    g.items.push_back({GraphItem::Circle, x, y, 40, 0, d.PointColor});
                }
    }
    return g;
}

// ---------------------------------------------------------------- the control's logic

GraphModel::GraphModel(std::function<void()> draw)
    : sets_([this] { onChanged(); }), draw_(std::move(draw)) {}

void GraphModel::Refresh() {
    if (!props_.Redraw) return;
    ++draws_;
    if (draw_) draw_();
}

void GraphModel::onChanged() {
    // Trimming raises changes of its own; they stop here.
    if (handling_) return;
    handling_ = true;
    trim();
    Refresh();
    handling_ = false;
}

void GraphModel::trim() {
    if (props_.FixedPoints <= 0) return;
    const bool outer = !handling_;
    handling_ = true;
    for (const auto& d : sets_) {
        const int extra = d->points().Count() - props_.FixedPoints;
        if (extra > 0) d->points().removeOldest(extra);
    }
    if (outer) handling_ = false;
}

} // namespace kx
