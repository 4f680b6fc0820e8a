// The analyser's axes: time ticks for every zoom, value axes, ranges over a run of records,
// and the scatter's placement, colours, thinning and click.
#include "logs/analyser_axes.h"
#include "logs/analyser_scatter.h"
#include "logs/log_reader.h"

#include <QRect>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

using namespace kx;

TEST(AnalyserAxes, TimeTicksFromTwoSecondsToTenHours) {
    struct Row {
        double from, to;
        double step;
        QStringList first; // the first labels
    };
    const Row rows[] = {
        {0, 2, 0.5, {"0.0 s", "0.5 s", "1.0 s"}},
        {0, 10, 2, {"0 s", "2 s", "4 s"}},
        {0, 45, 10, {"0 s", "10 s", "20 s"}},
        {0, 90, 15, {"0:00", "0:15", "0:30"}},
        {0, 300, 60, {"0:00", "1:00", "2:00"}},
        {0, 1800, 300, {"0:00", "5:00", "10:00"}},
        {0, 7200, 1800, {"0:00:00", "0:30:00", "1:00:00"}},
        {0, 36000, 7200, {"0:00:00", "2:00:00", "4:00:00"}},
        // Zoomed in on the middle of a drive, and across the hour.
        {125.3, 127.3, 0.5, {"2:05.5", "2:06.0", "2:06.5", "2:07.0"}},
        {3590, 3620, 5, {"0:59:50", "0:59:55", "1:00:00"}},
    };
    for (const Row& r : rows) {
        const TimeTicks t = analyserTimeTicks(r.from, r.to, 8);
        EXPECT_EQ(t.step, r.step) << r.to;
        ASSERT_GE(t.ticks.size(), size_t(r.first.size())) << r.to;
        EXPECT_LE(t.ticks.size(), 8u) << r.to;
        for (qsizetype i = 0; i < r.first.size(); ++i)
            EXPECT_EQ(t.ticks[size_t(i)].label, r.first[i]) << r.to;
        EXPECT_GE(t.ticks.front().seconds, r.from);
        EXPECT_LE(t.ticks.back().seconds, r.to);
    }
    EXPECT_TRUE(analyserTimeTicks(5, 5, 8).ticks.empty());
    EXPECT_EQ(analyserTimeTicks(0, 10 * 86400, 8).step, 2 * 86400); // whole days beyond
    EXPECT_TRUE(analyserTimeTicks(0, 1e300, 8).ticks.empty());      // a stamp that is no time
}

TEST(AnalyserAxes, TimesOfRecordsAndRecordsOfTimes) {
    // A stamp that is not a number or goes back keeps the time before it.
    const LogReadResult log = LogReader::readBytes("Time, RPM\r\n010.000, 1\r\n010.500, 1\r\n"
                                                   "x, 1\r\n010.250, 1\r\n012.500, 1\r\n");
    ASSERT_TRUE(log.ok());
    const std::vector<double> times = analyserElapsedSeconds(log.data);
    EXPECT_EQ(times, (std::vector<double>{0, 0.5, 0.5, 0.5, 2.5}));
    EXPECT_DOUBLE_EQ(analyserRecordAtTime(times, 0.25), 0.5);
    EXPECT_DOUBLE_EQ(analyserRecordAtTime(times, 1.5), 3.5);
    EXPECT_DOUBLE_EQ(analyserRecordAtTime(times, 9), 4);
    EXPECT_DOUBLE_EQ(analyserTimeAtRecord(times, 3.5), 1.5);
    EXPECT_DOUBLE_EQ(analyserTimeAtRecord(times, 99), 2.5);
}

TEST(AnalyserAxes, ValueAxesTakeRoundSteps) {
    ValueAxis a = analyserValueAxis(780, 6520, 8);
    EXPECT_EQ(a.step, 1000);
    EXPECT_EQ(a.low, 0);
    EXPECT_EQ(a.high, 7000);
    a = analyserValueAxis(10.3, 19.2, 6);
    EXPECT_EQ(a.step, 2);
    EXPECT_EQ(a.ticks, (std::vector<double>{10, 12, 14, 16, 18, 20}));
    a = analyserValueAxis(5, 5, 8); // one value: room around it
    EXPECT_LT(a.low, 5);
    EXPECT_GT(a.high, 5);
    EXPECT_EQ(analyserValueText(0.25, 0.05), "0.25");
    EXPECT_EQ(analyserValueText(1500, 500), "1500");
    EXPECT_EQ(analyserValueText(-0.0001, 0.1), "0.0");
}

// One value, however large, gets an axis around it; none of these may hang the scatter view.
TEST(AnalyserAxes, ValueAxesAroundOneValueOfAnySize) {
    const double values[] = {1e16, 1e20, 3e38, -3e38, -0.0, 5};
    for (const double v : values) {
        const ValueAxis a = analyserValueAxis(v, v, 8);
        EXPECT_TRUE(a.step > 0 && std::isfinite(a.step)) << v;
        EXPECT_LT(a.low, v) << v;
        EXPECT_GT(a.high, v) << v;
        ASSERT_GE(a.ticks.size(), 2u) << v;
        EXPECT_LE(a.ticks.size(), 8u) << v;
        EXPECT_TRUE(std::is_sorted(a.ticks.begin(), a.ticks.end())) << v;
    }
    // A column of one record, each value on its own axis, lands inside the plot.
    const std::vector<float> x = {1e20f}, y = {3e38f}, c = {-0.0f};
    const ScatterMapping m = scatterMapping(x, y, c, 101, 11, 100, 20);
    const auto p = m.pixel(x[0], y[0]);
    ASSERT_TRUE(p.has_value());
    EXPECT_TRUE(QRect(0, 0, 101, 11).contains(*p)) << p->x() << "," << p->y();
    // Two ticks cannot span zero in whole steps: the range's own ends.
    EXPECT_EQ(analyserValueAxis(-1, 1, 2).ticks, (std::vector<double>{-1, 1}));
    // Wider than a double holds: the default axis.
    EXPECT_TRUE(analyserValueAxis(-1.7e308, 1.7e308, 8).ticks.empty());
}

TEST(AnalyserAxes, RangeOfAnyRunMatchesEveryRecord) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> value(-50, 50);
    std::vector<float> values(3000);
    for (float& v : values)
        v = value(rng);
    const RangeIndex index(values);
    std::uniform_int_distribution<int64_t> at(-10, 3010);
    for (int i = 0; i < 300; ++i) {
        int64_t first = at(rng), last = i % 3 ? at(rng) : first + i;
        const RangeIndex::Range r = index.range(first, last);
        first = std::max<int64_t>(first, 0), last = std::min<int64_t>(last, 2999);
        ASSERT_EQ(r.empty, first > last);
        if (r.empty) continue;
        const auto [lo, hi] =
            std::minmax_element(values.begin() + first, values.begin() + last + 1);
        EXPECT_EQ(r.low, *lo) << first << ".." << last;
        EXPECT_EQ(r.high, *hi) << first << ".." << last;
    }
}

TEST(AnalyserScatter, RecordsToPixelsAndColours) {
    // Across 0 to 100 on 101 pixels, up 0 to 10 on 11, colours 10 to 20.
    const std::vector<float> x = {0, 100}, y = {0, 10}, c = {10, 20};
    const ScatterMapping m = scatterMapping(x, y, c, 101, 11, 100, 20);
    EXPECT_EQ(m.pixel(0, 0), QPoint(0, 10));
    EXPECT_EQ(m.pixel(100, 10), QPoint(100, 0));
    EXPECT_EQ(m.pixel(49.6f, 5), QPoint(50, 5));
    EXPECT_EQ(m.pixel(NAN, 5), std::nullopt);
    const struct {
        float value;
        uint32_t rgb;
    } colours[] = {{10, 0xFF0028E6}, {15, 0xFF00AA28}, {20, 0xFFD70000},
                   {25, 0xFFD70000}, {5, 0xFF0028E6},  {17.5, 0xFFEBA500}};
    for (const auto& row : colours)
        EXPECT_EQ(m.colourOf(row.value), row.rgb) << row.value;
}

TEST(AnalyserScatter, OneDotAPixelAndAClickPicksTheNearest) {
    const std::vector<float> x = {0, 100, 50, 50, 50, 20, 23}, y = {0, 10, 5, 5, 5, 8, 8};
    const std::vector<float> c = {1, 1, 1, 4, 2, 1, 1};
    const ScatterMapping m = scatterMapping(x, y, c, 101, 11, 100, 20);
    const ScatterIndex index(m, x, y, c);
    // Records 2, 3 and 4 share a pixel: the highest on the colour scale shows, not the last.
    EXPECT_EQ(index.dots(), 5);
    EXPECT_EQ(index.recordAt(50, 5), 3);
    EXPECT_EQ(index.recordAt(0, 10), 0);
    EXPECT_EQ(index.recordAt(1, 10), -1);
    const struct {
        QPointF click;
        int64_t record;
    } clicks[] = {{{50, 5}, 3}, {{52.5, 6}, 3}, {{21.4, 2}, 5}, {{21.6, 2}, 6},
                  {{99, 1}, 1}, {{80, 5}, -1},  {{-3, 10}, 0}};
    for (const auto& row : clicks)
        EXPECT_EQ(index.nearest(row.click, 8), row.record) << row.click.x() << "," << row.click.y();
}

TEST(AnalyserScatter, DefaultColumns) {
    const struct {
        std::vector<int> codes; // gauge numbers of the log's columns
        int x, y, colour;
    } rows[] = {
        {{0, 8, 24}, 0, 1, 2}, {{3, 24, 0, 8}, 2, 3, 1},
        {{3, 0, 7}, 1, 0, 2}, // no Throttle, no WBo2: the first columns not taken
        {{8, 5}, 1, 0, 0},    // no RPM; nothing left for the colour: the first column
        {{}, 0, 0, 0},
    };
    for (const auto& r : rows) {
        const ScatterChoice c = scatterDefaults(r.codes);
        EXPECT_EQ(c.x, r.x) << r.codes.size();
        EXPECT_EQ(c.y, r.y) << r.codes.size();
        EXPECT_EQ(c.colour, r.colour) << r.codes.size();
    }
}

TEST(AnalyserScatter, TheColourScaleSpansThePercentilesOrTheRangeSet) {
    // Cruise between 11 and 15, and fuel cut reading 22 now and then.
    std::vector<float> afr;
    for (int i = 0; i < 1000; ++i)
        afr.push_back(i % 100 == 0 ? 22.0f : 11.0f + float(i % 41) / 10);
    afr.push_back(NAN);
    const ScatterRange range = scatterColourRange(afr);
    EXPECT_FLOAT_EQ(range.low, 11.0f);
    EXPECT_FLOAT_EQ(range.high, 15.0f);
    const struct {
        const char* name;
        std::vector<float> values;
        double low, high;
    } edges[] = {
        {"one value but one", {14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 9}, 9, 14},
        {"all the same", {14, 14}, 14, 14},
        {"none", {NAN}, 0, 0},
    };
    for (const auto& e : edges) {
        SCOPED_TRACE(e.name);
        const ScatterRange r = scatterColourRange(e.values);
        EXPECT_EQ(r.low, e.low);
        EXPECT_EQ(r.high, e.high);
    }

    // The scale spans the range as set; beyond it, its end colours; ticks inside it.
    const std::vector<float> x = {0, 1}, y = {0, 1};
    const ScatterMapping m = scatterMapping(x, y, afr, 100, 100, 200, 20, {11.5, 14.5});
    EXPECT_EQ(m.colour.low, 11.5);
    EXPECT_EQ(m.colour.high, 14.5);
    EXPECT_FALSE(m.colour.ticks.empty());
    for (double t : m.colour.ticks) {
        EXPECT_GE(t, 11.5);
        EXPECT_LE(t, 14.5);
    }
    EXPECT_EQ(m.colourOf(13), scatterScaleColour(0.5));
    EXPECT_EQ(m.colourOf(22), scatterScaleColour(1));
    EXPECT_NE(m.colourOf(12), m.colourOf(14));
}

TEST(AnalyserAxes, TheCursorReadsItsTimeAndRecord) {
    const std::vector<double> times = {0, 0.5, 75.25};
    EXPECT_EQ(analyserCursorText(times, 1), "0:00.0, record 1");
    EXPECT_EQ(analyserCursorText(times, 3), "1:15.3, record 3");
    EXPECT_EQ(analyserCursorText({}, 7), "record 7"); // no times
}
