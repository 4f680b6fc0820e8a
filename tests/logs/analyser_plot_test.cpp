// The analyser's arithmetic: plot width, zoom, scroll range, cursor, point positions and the
// reduction of many records per pixel column; and a column read as numbers.
#include "logs/analyser_plot.h"
#include "logs/log_reader.h"
#include "util/numbers.h"

#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <random>

using namespace kx;

TEST(AnalyserPlot, PlotWidthAndScrollRange) {
    // 1000 records fit a 6000-twip container: no scrolling.
    EXPECT_EQ(analyserPlotWidth(1000, 6000), 6000);
    EXPECT_EQ(analyserScrollRange(6000, 6000).maximum, 0);
    // 20000 records make the plot 20000 twips wide, stepped one twip per scroll unit.
    EXPECT_EQ(analyserPlotWidth(20000, 6000), 20000);
    ScrollRange r = analyserScrollRange(20000, 6000);
    EXPECT_EQ(r.maximum, 14000);
    EXPECT_EQ(r.scale, 1);
    EXPECT_EQ(r.largeStep, 280);
    // The last width scrolled one to one, and the first that needs S = 2.
    EXPECT_EQ(analyserScrollRange(6000 + 32765, 6000).scale, 1);
    r = analyserScrollRange(6000 + 32766, 6000);
    EXPECT_EQ(r.scale, 2);
    EXPECT_EQ(r.maximum, 16383);
    // A million records: S = 994000 / 32765 + 1.
    r = analyserScrollRange(1000000, 6000);
    EXPECT_EQ(r.scale, 31);
    EXPECT_EQ(r.maximum, 32064);
    EXPECT_EQ(r.largeStep, 641);
    EXPECT_GE(r.singleStep, 1);
    EXPECT_LE(r.singleStep, r.largeStep);
    // Short ranges keep a large step of 10; a container grown past the plot scrolls nothing.
    EXPECT_EQ(analyserScrollRange(6400, 6000).largeStep, 10);
    EXPECT_EQ(analyserScrollRange(6000, 9000).maximum, 0);
}

TEST(AnalyserPlot, ZoomStepsAndLimits) {
    EXPECT_EQ(analyserZoomIn(20000, 20000, 6000).width, 25000);
    EXPECT_TRUE(analyserZoomIn(20000, 20000, 6000).accepted);

    ZoomOut z = analyserZoomOut(25000, 6000, 6000);
    EXPECT_EQ(z.width, 18750);
    EXPECT_FALSE(z.atLimit);
    // Below N (6000) stops at N.
    z = analyserZoomOut(6400, 6000, 6000);
    EXPECT_EQ(z.width, 6000);
    EXPECT_TRUE(z.atLimit);
    // Below the container, when it is wider than N, stops at the container.
    z = analyserZoomOut(7000, 1000, 6000);
    EXPECT_EQ(z.width, 6000);
    EXPECT_TRUE(z.atLimit);
    // Zoom Out from 25000 with N = 20000 would go below N.
    EXPECT_EQ(analyserZoomOut(25000, 20000, 6000).width, 20000);

    // The limit: 100 pixels per record, or the container when that is wider.
    const int64_t most = analyserMaxPlotWidth(1000000, 6000);
    EXPECT_EQ(most, int64_t(999999) * 1500);
    EXPECT_EQ(analyserMaxPlotWidth(2, 6000), 6000);
    EXPECT_EQ(analyserMaxPlotWidth(1, 6000), 6000);
    int64_t w = 1000000;
    int steps = 0;
    for (ZoomIn in = analyserZoomIn(w, 1000000, 6000); in.accepted;
         in = analyserZoomIn(w, 1000000, 6000)) {
        EXPECT_GT(in.width, w);
        w = in.width;
        ++steps;
    }
    EXPECT_LE(w, most);
    EXPECT_GT(w + w / 4, most);
    EXPECT_EQ(steps, 32);
    // Refused: the width stays.
    EXPECT_EQ(analyserZoomIn(w, 1000000, 6000).width, w);
}

TEST(AnalyserPlot, CursorRecordFromMousePosition) {
    EXPECT_EQ(analyserStepX(6000, 1), 0); // a single record has no step
    EXPECT_EQ(analyserStepX(6000, 0), 0);
    const double x = analyserStepX(20, 11); // 2 twips per record
    EXPECT_DOUBLE_EQ(x, 2.0);
    EXPECT_EQ(analyserRecordAt(0, x, 11), 1);
    // Exact halfway points go to the even neighbour.
    EXPECT_EQ(analyserRecordAt(1, x, 11), 2); // 1.5
    EXPECT_EQ(analyserRecordAt(3, x, 11), 2); // 2.5
    EXPECT_EQ(analyserRecordAt(5, x, 11), 4); // 3.5
    EXPECT_EQ(analyserRecordAt(3.1, x, 11), 3);
    // Clamped to 1 and N.
    EXPECT_EQ(analyserRecordAt(-50, x, 11), 1);
    EXPECT_EQ(analyserRecordAt(1e12, x, 11), 11);
    EXPECT_EQ(analyserRecordAt(5, 0, 11), 1);
}

TEST(AnalyserPlot, ValuesSpanTheGraphFromBottomToTopRow) {
    // 0 on the bottom row and maxVal on the top row, both in sight.
    EXPECT_DOUBLE_EQ(analyserValueY(0, 8000, 200), 199);
    EXPECT_DOUBLE_EQ(analyserValueY(8000, 8000, 200), 0);
    EXPECT_DOUBLE_EQ(analyserValueY(4000, 8000, 201), 100);
    EXPECT_GT(analyserValueY(-1, 6, 100), 99); // below the scale: out of sight below
    EXPECT_LT(analyserValueY(6.5, 6, 100), 0); // above it: out of sight above

    EXPECT_EQ(analyserGridRows(100), (std::array<int, 4>{20, 40, 60, 80}));
    EXPECT_EQ(analyserGridRows(7), (std::array<int, 4>{1, 2, 4, 5}));
}

TEST(AnalyserPlot, VisibleRecordsReachOneBeyondEachEdge) {
    // 16 records to a pixel.
    PlotView v{1.0 / 16, 0, 400, 100};
    EXPECT_EQ(analyserVisibleRecords(v, 1000000), std::make_pair(int64_t(0), int64_t(6400)));
    v.left = 1000;
    EXPECT_EQ(analyserVisibleRecords(v, 1000000), std::make_pair(int64_t(16000), int64_t(22400)));
    EXPECT_EQ(analyserVisibleRecords(v, 18000), std::make_pair(int64_t(16000), int64_t(17999)));
    EXPECT_GT(analyserVisibleRecords(v, 100).first, analyserVisibleRecords(v, 100).second);
    // Zoomed in: 40 pixels a record, the view starting inside record 2's segment.
    v = {40, 90, 400, 100};
    EXPECT_EQ(analyserVisibleRecords(v, 100), std::make_pair(int64_t(2), int64_t(13)));
    v.pixelsPerRecord = 0; // no series drawn yet
    EXPECT_GT(analyserVisibleRecords(v, 100).first, analyserVisibleRecords(v, 100).second);
}

TEST(AnalyserPlot, RecordsInViewAndScrollingToARecord) {
    // 16 records to a pixel: the points from the left edge to the right edge itself.
    PlotView v{1.0 / 16, 0, 400, 100};
    EXPECT_EQ(analyserRecordsInView(v, 1000000), std::make_pair(int64_t(0), int64_t(6400)));
    EXPECT_EQ(analyserRecordsInView(v, 6401), std::make_pair(int64_t(0), int64_t(6400)));
    v.left = 10.5;
    EXPECT_EQ(analyserRecordsInView(v, 1000000), std::make_pair(int64_t(168), int64_t(6568)));
    // 100 pixels a record in a narrow view between two records: none.
    v = {100, 130, 50, 100};
    EXPECT_GT(analyserRecordsInView(v, 10).first, analyserRecordsInView(v, 10).second);

    // A record in view stays put; one outside is centred, within the scroll range.
    const ScrollRange r = analyserScrollRange(100000, 10000); // S = 3
    EXPECT_EQ(analyserScrollToShow(5000, 0, 10000, r, 0), 0);
    EXPECT_EQ(analyserScrollToShow(50000, 0, 10000, r, 0), 15000); // (50000 - 5000) / 3
    EXPECT_EQ(analyserScrollToShow(1000, 60000, 10000, r, 20000), 0);
    EXPECT_EQ(analyserScrollToShow(99999, 0, 10000, r, 0), r.maximum);
}

TEST(AnalyserPlot, ZoomedInTraceJoinsEveryPoint) {
    const std::vector<float> values = {0, 50, 100, 25};
    const PlotView v{10, 5, 100, 101};
    const auto lines = analyserTrace(values, 0, 3, v, 100);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], QLineF(-5, 100, 5, 50));
    EXPECT_EQ(lines[1], QLineF(5, 50, 15, 0));
    EXPECT_EQ(lines[2], QLineF(15, 0, 25, 75));
    // Ranges are clipped to the values there are.
    EXPECT_EQ(analyserTrace(values, 2, 99, v, 100).size(), 1u);
    EXPECT_TRUE(analyserTrace(values, 3, 3, v, 100).empty());
}

TEST(AnalyserPlot, ManyRecordsPerPixelGiveEachColumnItsExtremesJoined) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> noise(10, 20);
    std::vector<float> values(30000);
    for (float& f : values)
        f = noise(rng);
    values[12345] = 95; // one-record spikes must survive the reduction
    values[15001] = 0;
    const PlotView v{1.0 / 15, 300.5, 800, 201};
    const auto [first, last] = analyserVisibleRecords(v, int64_t(values.size()));
    const auto lines = analyserTrace(values, first, last, v, 100);

    // Every record by pixel column: its highest and lowest row, and its last record's row.
    struct Column {
        double top = 1e9, bottom = -1e9, last = 0;
    };
    std::map<int, Column> full;
    for (int64_t r = first; r <= last; ++r) {
        const double y = std::round(analyserValueY(values[size_t(r)], 100, v.height));
        Column& c = full[int(std::floor(double(r) * v.pixelsPerRecord - v.left))];
        c.top = std::min(c.top, y);
        c.bottom = std::max(c.bottom, y);
        c.last = y;
    }
    ASSERT_EQ(lines.size(), full.size()); // one vertical line a column
    const Column* previous = nullptr;
    size_t i = 0;
    for (const auto& [x, c] : full) {
        const QLineF& l = lines[i++];
        EXPECT_EQ(l.x1(), x);
        EXPECT_EQ(l.x2(), x);
        EXPECT_LE(l.y1(), c.top) << x;
        EXPECT_GE(l.y2(), c.bottom) << x;
        // No longer than it needs to be to reach the previous column's last record.
        const double top = previous ? std::min(c.top, previous->last) : c.top;
        const double bottom = previous ? std::max(c.bottom, previous->last) : c.bottom;
        EXPECT_EQ(l.y1(), top) << x;
        EXPECT_EQ(l.y2(), bottom) << x;
        previous = &c;
    }
    // The spikes are in view and reach their rows.
    const auto column = [&](int64_t r) {
        return lines[size_t(std::floor(double(r) * v.pixelsPerRecord - v.left) -
                            lines.front().x1())];
    };
    EXPECT_EQ(column(12345).y1(), std::round(analyserValueY(95, 100, 201)));
    EXPECT_EQ(column(15001).y2(), 200);
}

TEST(AnalyserPlot, SeriesColoursAreDistinctAndReadOnWhite) {
    const auto rgb = [](uint32_t bgr) {
        return std::array<double, 3>{double(bgr & 0xFF), double(bgr >> 8 & 0xFF),
                                     double(bgr >> 16 & 0xFF)};
    };
    for (int i = 0; i < kAnalyserSeries; ++i) {
        const auto a = rgb(analyserSeriesColour(i));
        // Light enough colours vanish on the white plot (silver did).
        EXPECT_LT(0.2126 * a[0] + 0.7152 * a[1] + 0.0722 * a[2], 0.75 * 255) << i;
        for (int j = i + 1; j < kAnalyserSeries; ++j) {
            const auto b = rgb(analyserSeriesColour(j));
            const double d = std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
            EXPECT_GT(d, 60) << i << " and " << j;
        }
    }
}

TEST(LogNumbers, ColumnReadAsNumbersLikeFieldByCode) {
    const LogReadResult r = LogReader::readBytes("Time, RPM, Battery, RPM, EGT\r\n"
                                                 "0.1, 800, 12.5, 900, 1\r\n"
                                                 "0.2, 810, +13, 910, 2\r\n"
                                                 "0.3, 820,  14.25 , 920, 3\r\n"
                                                 "0.4, 830, 1e1\r\n"
                                                 "0.5, 840, x, 940, 5\r\n"
                                                 "0.6, 850, 15, 950, 6\r\n");
    ASSERT_TRUE(r.ok());
    // Two RPM columns: the later one that a record fills wins.
    const LogNumbers rpm = r.data.numbersByCode(0);
    EXPECT_TRUE(rpm.complete());
    EXPECT_EQ(rpm.values, (std::vector<float>{900, 910, 920, 830, 940, 950}));
    // Signs, blanks and exponents read as parseNumber reads them; a word stops the reading.
    const LogNumbers battery = r.data.numbersByCode(7);
    EXPECT_EQ(battery.values, (std::vector<float>{12.5f, 13, 14.25f, 10}));
    EXPECT_EQ(battery.badRecord, 4);
    // A record without the field is not a number either.
    const LogNumbers egt = r.data.numbersByCode(11);
    EXPECT_EQ(egt.values, (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(egt.badRecord, 3);
    // No column with the code: nothing reads as a number.
    EXPECT_EQ(r.data.numbersByCode(24).badRecord, 0);
}

TEST(LogNumbers, AgreesWithFieldByCodeOnRandomRecords) {
    // Fields of many widths around the eight-byte steps of the search, blanks, a comma without
    // a blank (not a separator), records with and without the second RPM column.
    std::mt19937 rng(11);
    const char* numbers[] = {"7", "12.5", " 3 ", "-0.25", "1e3", "+4", "123456.75", "  88"};
    QByteArray log = "Time, RPM, Battery, EGT, RPM, Throttle\r\n";
    const int records = 400;
    for (int r = 0; r < records; ++r) {
        QByteArray line = QByteArray::number(r * 1000);
        const int fields = r < records - 20 ? 3 + int(rng() % 3) : int(rng() % 6);
        for (int f = 0; f < fields; ++f)
            line += ", " + QByteArray(f == 4 && rng() % 2 ? "1,5" : numbers[rng() % 8]);
        log += line + "\r\n";
    }
    const LogReadResult r = LogReader::readBytes(log);
    ASSERT_TRUE(r.ok());
    for (int code : {0, 7, 11}) {
        const LogNumbers n = r.data.numbersByCode(code);
        EXPECT_GE(n.values.size(), size_t(records - 20));
        for (qsizetype rec = 0; rec < r.data.recordCount(); ++rec) {
            const auto expected = parseNumber(QString::fromLatin1(r.data.fieldByCode(rec, code)));
            if (!expected) {
                EXPECT_EQ(n.badRecord, rec) << code;
                break;
            }
            ASSERT_LT(size_t(rec), n.values.size()) << code;
            EXPECT_EQ(n.values[size_t(rec)], float(*expected)) << code << " record " << rec;
        }
    }
}
