// The graph control's arithmetic and change handling, without a surface.
#include "gauges/graph_model.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace kx {
namespace {

std::vector<GraphItem> itemsOf(const GraphDrawing& g, GraphItem::Kind kind, uint32_t colour) {
    std::vector<GraphItem> out;
    for (const auto& it : g.items)
        if (it.kind == kind && it.colour == colour) out.push_back(it);
    return out;
}

TEST(Graph, SlotsAndRows) {
    // Three slots over 300 twips, no bars: both ends and the middle.
    EXPECT_EQ(slotX(1, 3, 0, 300), 0);
    EXPECT_EQ(slotX(2, 3, 0, 300), 150);
    EXPECT_EQ(slotX(3, 3, 0, 300), 300);
    EXPECT_EQ(slotX(1, 1, 0, 300), 150); // one slot sits in the middle
    EXPECT_EQ(slotX(1, 4, 60, 300), 30); // bars keep half a bar from each edge
    EXPECT_EQ(slotX(4, 4, 60, 300), 270);

    // Defaults: value 50 is the middle row; MaxValue at the top, MinValue at the bottom.
    GraphProps p;
    const GraphScale s = graphScale(p, 315, 1515);
    EXPECT_EQ(s.H, 1500);
    EXPECT_EQ(s.row(50), 750);
    EXPECT_EQ(s.row(100), 0);
    EXPECT_EQ(s.row(0), 1500);
    // An empty range puts everything on row 0 and draws no horizontal grid.
    p.MaxValue = p.MinValue = 5;
    EXPECT_EQ(graphScale(p, 315, 1515).row(50), 0);
    EXPECT_TRUE(gridRows(p, graphScale(p, 315, 1515)).empty());
    // The wideband window's scale: grid rows on the multiples of 10 between 5 and 45.
    p.MaxValue = 45;
    const GraphScale w = graphScale(p, 315, 1615);
    EXPECT_EQ(gridRows(p, w), (std::vector<int>{w.row(40), w.row(30), w.row(20), w.row(10)}));
    p.YGridInc = 0.001; // a step below a twip: no lines
    EXPECT_TRUE(gridRows(p, w).empty());
}

TEST(Graph, FixedPointsScrollsAndZeroSpreadsEachDataset) {
    int draws = 0;
    GraphModel g([&] { ++draws; });
    g.set(&GraphProps::FixedPoints, int32_t(80));
    Points& pts = g.datasets().Add().points();
    for (int i = 1; i <= 81; ++i)
        pts.Add(i);
    ASSERT_EQ(pts.Count(), 80);
    EXPECT_EQ(pts.Item(1).Value(), 2); // the first point went
    EXPECT_EQ(pts.Item(80).Value(), 81);
    EXPECT_THROW(pts.Item(81), std::out_of_range);
    EXPECT_THROW(pts.Remove(0), std::out_of_range);

    // Redraw off for an append: one drawing when it comes back on.
    const int before = draws;
    g.set(&GraphProps::Redraw, false);
    pts.Add(82);
    g.set(&GraphProps::Redraw, true);
    EXPECT_EQ(draws, before + 1);
    EXPECT_EQ(pts.Item(1).Value(), 3);

    // FixedPoints 0 with datasets of 5 and 10 points: ten grid slots, each set spread over
    // the whole width.
    GraphModel z;
    z.set(&GraphProps::FixedPoints, int32_t(0));
    z.set(&GraphProps::XGridInc, int32_t(1));
    Dataset& a = z.datasets().Add();
    Dataset& b = z.datasets().Add();
    for (Dataset* d : {&a, &b}) {
        d->set(&DatasetProps::ShowBars, false);
        d->set(&DatasetProps::ShowPoints, false);
        d->set(&DatasetProps::LineColor, d == &a ? 1u : 2u);
    }
    for (int i = 0; i < 5; ++i)
        a.points().Add(10);
    for (int i = 0; i < 10; ++i)
        b.points().Add(10);
    const GraphDrawing d = graphDrawing(z.props(), z.datasets(), 915, 615);
    EXPECT_EQ(itemsOf(d, GraphItem::Line, z.props().GridColor).size(), 10u + 11u);
    const auto la = itemsOf(d, GraphItem::Line, 1);
    const auto lb = itemsOf(d, GraphItem::Line, 2);
    ASSERT_EQ(la.size(), 4u);
    ASSERT_EQ(lb.size(), 9u);
    EXPECT_EQ(la.back().c, 900);
    EXPECT_EQ(lb.back().c, 900);
    EXPECT_EQ(la[0].c, 225);
    EXPECT_EQ(lb[0].c, 100);
}

TEST(Graph, MarkersAxisAndBars) {
    GraphModel g;
    g.set(&GraphProps::XGridInc, int32_t(10));
    g.set(&GraphProps::FixedPoints, int32_t(30));
    g.set(&GraphProps::ShowGrid, false);
    g.set(&GraphProps::MinValue, -50.0);
    g.set(&GraphProps::MaxValue, 50.0);
    g.set(&GraphProps::ShowAxis, true);
    Dataset& d = g.datasets().Add();
    d.set(&DatasetProps::ShowBars, false);
    for (int i = 0; i < 30; ++i)
        d.points().Add(0);
    const GraphDrawing out = graphDrawing(g.props(), g.datasets(), 3015, 1015);
    const auto circles = itemsOf(out, GraphItem::Circle, d.props().PointColor);
    ASSERT_EQ(circles.size(), 4u); // points 1, 10, 20, 30
    EXPECT_EQ(circles[1].a, slotX(10, 30, 0, 3000));
    EXPECT_EQ(circles[3].a, 3000);
    // The axis through the middle row for -50 to 50, and the zero values on it.
    const auto axis = itemsOf(out, GraphItem::Line, g.props().AxisColor);
    ASSERT_EQ(axis.size(), 2u);
    EXPECT_EQ(axis[1].b, 500);
    EXPECT_EQ(circles[0].b, 500);

    // Bars: width 0.8 of a slot, from the value's row down to the zero row, outlined boxes.
    GraphModel bars;
    bars.set(&GraphProps::FixedPoints, int32_t(4));
    Dataset& bd = bars.datasets().Add();
    bd.set(&DatasetProps::ShowCaps, true);
    bd.points().Add(50);
    const GraphDrawing bo = graphDrawing(bars.props(), bars.datasets(), 415, 1015);
    const auto boxes = itemsOf(bo, GraphItem::Box, bd.props().BarColor);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].a, 0);
    EXPECT_EQ(boxes[0].c, 80); // B = 400 / 4 × 0.8
    EXPECT_EQ(boxes[0].b, 500);
    EXPECT_EQ(boxes[0].d, 1000);
    const auto caps = itemsOf(bo, GraphItem::Box, bd.props().CapColor);
    ASSERT_EQ(caps.size(), 1u);
    EXPECT_EQ(caps[0].d, 530);
}

TEST(Graph, OnlyRealChangesDraw) {
    int draws = 0;
    GraphModel g([&] { ++draws; });
    Dataset& d = g.datasets().Add();
    Point& p = d.points().Add(5);
    const int before = draws;
    d.set(&DatasetProps::LineColor, d.props().LineColor); // unchanged colour
    p.setValue(5);
    EXPECT_EQ(draws, before);
    d.set(&DatasetProps::LineColor, 0x00FF00u);
    p.setValue(6);
    EXPECT_EQ(draws, before + 2);
    g.set(&GraphProps::Redraw, false);
    d.points().Add(7);
    EXPECT_EQ(draws, before + 2);
}

} // namespace
} // namespace kx
