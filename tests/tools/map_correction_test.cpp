// The fuel correction without windows: the per-cell arithmetic, the filters on hand-made logs,
// the target file, and the suggestion against drives with a planted error.
#include "logs/log_columns.h"
#include "logs/log_reader.h"
#include "support/fuel_drive.h"
#include "tools/fuel_target.h"
#include "tools/map_correction.h"
#include "tools/map_logs.h"

#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>

using namespace kx;

namespace {
FuelSamples samplesOf(int cell, std::initializer_list<float> ratios) {
    FuelSamples s;
    for (float r : ratios)
        s.add(cell, r, {}, true, 0.1, s.newVisit());
    return s;
}

// A log of `n` records 30 ms apart at 2000 rpm, 1.00 V, WBo2 14.00 and water 80 C; `edit`
// changes a record's fields.
struct Rec {
    int ms;
    int rpm = 2000;
    double volts = 1.0;
    double ratio = 14.0;
    double water = 80;
};
LogData handLog(int n, const std::function<void(int, Rec&)>& edit, const char* water = "C") {
    QByteArray text = "Time, RPM, Throttle, WBo2, Water Temp " + QByteArray(water) + "\r\n";
    for (int i = 0; i < n; ++i) {
        Rec r{30 * i};
        edit(i, r);
        text += logTimeStamp(uint64_t(r.ms)) + ", " + QByteArray::number(r.rpm) + ", " +
                QByteArray::number(r.volts) + ", " + QByteArray::number(r.ratio) + ", " +
                QByteArray::number(r.water) + "\r\n";
    }
    return LogReader::readBytes(text).data;
}
} // namespace

TEST(MapCorrection, ACellsSuggestionIsTheMapTimesTheChangeHeldRoundedAndClamped) {
    const struct {
        int map;
        double change;
        int suggested;
    } cases[] = {
        {100, 0.05, 105},   {100, -0.04, 96},   {100, 0.20, 115}, // held to +15 %
        {100, -0.5, 85},    {250, 0.10, 255},                     // 275 clamped
        {1, -0.10, 1},      {0, 0.10, 1},                         // never below 1
        {5, -0.10, 4},      {7, 0.05, 7},                         // 4.5 and 7.35
        {200, 0.0025, 200}, {202, 0.0025, 203},                   // 200.5, 202.505
    };
    for (const auto& c : cases)
        EXPECT_EQ(suggestedValue(uint8_t(c.map), c.change, 0.15), c.suggested)
            << c.map << " " << c.change;

    // Per cell: trusted from 10 kept hits with a tight mean; otherwise the map value stays.
    EngineMap map;
    map.values.fill(100);
    GridValues target;
    target.fill(1400);
    FuelSamples s =
        samplesOf(0, {14.7f, 14.7f, 14.7f, 14.7f, 14.7f, 14.7f, 14.7f, 14.7f, 14.7f, 14.7f});
    s.merge(samplesOf(1, {14.7f, 14.7f, 14.7f}));
    s.merge(samplesOf(2, {10, 19, 10, 19, 10, 19, 10, 19, 10, 19}));
    const CorrectionSettings settings;
    const FuelCorrection c = correctMap(map, target, s, settings);
    EXPECT_EQ(c.cells[0].trust, CellTrust::Trusted);
    EXPECT_NEAR(*c.cells[0].change, 0.05, 1e-6);
    EXPECT_NEAR(*c.cells[0].spread, 0.0, 1e-6);
    EXPECT_EQ(c.suggested.values[0], 105);
    EXPECT_EQ(c.cells[1].trust, CellTrust::FewHits);
    EXPECT_EQ(c.cells[2].trust, CellTrust::Uncertain);
    EXPECT_NEAR(*c.cells[2].spread, 4.743, 1e-3);
    EXPECT_EQ(c.cells[3].trust, CellTrust::NoHits);
    for (int i : {1, 2, 3})
        EXPECT_EQ(c.suggested.values[size_t(i)], 100) << i;
    EXPECT_EQ(trustReason(c.cells[1], settings), "3 readings kept, fewer than 10");
    EXPECT_TRUE(trustReason(c.cells[2], settings).startsWith("too uncertain"));
    EXPECT_EQ(c.counts.kept, 23u);
}

TEST(MapCorrection, EachFilterKeepsOutItsRecordsAndNoneMore) {
    const auto none = [](int, Rec&) {};
    const struct {
        const char* name;
        int records;
        std::function<void(int, Rec&)> edit;
        const char* water;
        std::array<uint64_t, kFuelFilterCount> out; // range, cold, throttle, settle, gap
        uint64_t noReading;
    } cases[] = {
        {"clean", 100, none, "C", {0, 0, 0, 0, 0}, 0},
        {"fuel cut and a fault",
         100,
         [](int i, Rec& r) {
             if (i == 10) r.ratio = 21.5;
             if (i == 11) r.ratio = 8.5;
             if (i == 12) r.ratio = 0; // the logger's "no reading"
         },
         "C",
         {2, 0, 0, 0, 0},
         1},
        {"warm-up", 100, [](int i, Rec& r) { r.water = i < 5 ? 65 : 70; }, "C", {0, 5, 0, 0, 0}, 0},
        {"warm-up in F",
         100,
         [](int i, Rec& r) { r.water = i < 7 ? 150 : 170; },
         "F",
         {0, 7, 0, 0},
         0},
        // 0.6 V at 600 ms: seen as a step while 570 ms is within 0.2 s (to 750 ms), then out
        // for 0.5 s after: records 20 to 41.
        {"throttle step",
         100,
         [](int i, Rec& r) { r.volts = i < 20 ? 1.0 : 1.6; },
         "C",
         {0, 0, 22, 0},
         0},
        // A slow move of 0.5 V in 0.2 s is no step.
        {"slow throttle",
         100,
         [](int i, Rec& r) { r.volts = 1.0 + 0.07 * std::min(i, 30); },
         "C",
         {0, 0, 0, 0},
         0},
        // Into another RPM row at 600 ms: out for 0.25 s (records 20 to 28).
        {"settle",
         100,
         [](int i, Rec& r) { r.rpm = i < 20 ? 2000 : 3000; },
         "C",
         {0, 0, 0, 9, 0},
         0},
        // 2 s without records after 1.80 s: out from 0.81 s to 4.82 s (1 s either side).
        {"gap", 100, [](int i, Rec& r) { r.ms += i > 60 ? 2000 : 0; }, "C", {0, 0, 0, 0, 68}, 0},
        // A clock that restarts (the next log, a logger restarted): time going back is a gap,
        // the second before (records 26 to 59) and the second after (60 to 93).
        {"clock restarts",
         100,
         [](int i, Rec& r) { r.ms = 30 * (i < 60 ? i : i - 60); },
         "C",
         {0, 0, 0, 0, 68},
         0},
    };
    // One throttle column, so that only engine speed moves a record to another cell.
    MapScales scales = test::simulatedFuelMap().scales;
    scales.tp.fill(250);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FuelSamples s;
        addLogFuel(s, scales, handLog(c.records, c.edit, c.water));
        const FuelSamples::Counts n = s.counts(allFilters());
        uint64_t out = c.noReading;
        for (int f = 0; f < kFuelFilterCount; ++f) {
            EXPECT_EQ(n.keptOut[size_t(f)], c.out[size_t(f)])
                << filterName(FuelFilter(f)).toStdString();
            out += c.out[size_t(f)];
            // Switched off, its records are kept.
            FilterMask on = allFilters();
            on.reset(size_t(f));
            EXPECT_EQ(s.counts(on).kept, n.kept + c.out[size_t(f)]);
        }
        EXPECT_EQ(n.noReading, c.noReading);
        EXPECT_EQ(n.kept + out, uint64_t(c.records));
    }
}

TEST(MapCorrection, TargetFilesRoundTripAndASuggestedMapOpensAsAMap) {
    EXPECT_EQ(defaultTargetHundredths(2000, 40), 1470);
    EXPECT_EQ(defaultTargetHundredths(2000, 180), 1250);
    EXPECT_EQ(defaultTargetHundredths(6500, 220), 1200);
    EXPECT_EQ(defaultTargetHundredths(5000, 120), 1348); // 1470 - 110 - 12.5

    const EngineMap map = test::simulatedFuelMap();
    TargetTable t = defaultTarget(map.scales);
    t.hundredths[17] = 1333;
    const QByteArray text = targetFileText(t);
    EXPECT_TRUE(text.startsWith("RPM\\TP,22,35,"));
    const TargetFileRead back = parseTargetFile(text);
    ASSERT_TRUE(back.target) << back.error.toStdString();
    EXPECT_EQ(*back.target, t);
    EXPECT_EQ(targetOnMap(t, map.scales), t.hundredths);
    // A target on coarser scales applies by the cell each map cell's headers fall in.
    TargetTable coarse = t;
    for (int i = 0; i < 16; ++i)
        coarse.scales.rpm[size_t(i)] = 1000 * (i / 2 + 1);
    EXPECT_EQ(targetOnMap(coarse, map.scales)[16 * 2 + 3], coarse.hundredths[16 * 1 + 3]);
    // Out of the ratios a wideband reads: refused, naming the line.
    QByteArray bad = text;
    bad.replace(",1333,", ",850,");
    EXPECT_EQ(parseTargetFile(bad).error,
              "Line 3: \"850\" is not a whole number from 900 to 2000.");

    FuelSamples s;
    for (int i = 0; i < 20; ++i)
        s.add(5, 15.5f, {}, true, 0.1, s.newVisit());
    const FuelCorrection c = correctMap(map, t.hundredths, s, {});
    const MapFileRead opened = parseMapFile(mapFileText(c.suggested));
    ASSERT_TRUE(opened.map);
    EXPECT_EQ(*opened.map, c.suggested);
    EXPECT_NE(c.suggested.values[5], map.values[5]);
}

// Drives with up to +-12 % planted: every cell with a trusted suggestion is within one count of
// the map value that removes the error; the others keep the map's. Without the filters, the
// warm-up, the steps and the fuel cuts spoil some cells.
TEST(MapCorrection, SuggestionsRemoveAPlantedErrorWithinOneCount) {
    QTemporaryDir dir;
    QStringList logs;
    for (uint64_t seed = 1; seed <= 4; ++seed) {
        logs << dir.filePath(QStringLiteral("%1.log").arg(seed));
        ASSERT_TRUE(test::writeFuelDrive(logs.last(), {12, 60000, 20, seed}));
    }
    const EngineMap map = test::simulatedFuelMap();
    const LogFilesCoverage read = coverageFromLogFiles(logs, map.scales);
    ASSERT_TRUE(read.failures.isEmpty());
    const GridValues target = targetOnMap(defaultTarget(map.scales), map.scales);
    for (bool filtered : {true, false}) {
        CorrectionSettings settings;
        if (!filtered) settings.filters.reset();
        const FuelCorrection c = correctMap(map, target, read.fuel, settings);
        int trusted = 0, worst = 0, offByOne = 0;
        for (int i = 0; i < 256; ++i) {
            const int value = map.values[size_t(i)];
            const int s = c.suggested.values[size_t(i)];
            if (c.cells[size_t(i)].trust != CellTrust::Trusted) {
                EXPECT_EQ(s, value) << i;
                continue;
            }
            const double e = kxsim::plantedFuelError(12, i / 16, i % 16);
            const int off = std::abs(s - int(std::lround(value * (1 + e))));
            ++trusted;
            worst = std::max(worst, off);
            offByOne += off == 1;
        }
        std::printf("[ figures  ] %s: %d of 256 cells trusted, worst %d count(s), %d off by one; "
                    "%s\n",
                    filtered ? "filtered" : "unfiltered", trusted, worst, offByOne,
                    qPrintable(filterCountsText(c.counts, settings.filters)));
        if (filtered) {
            EXPECT_GE(trusted, 100);
            EXPECT_LE(worst, 1);
        } else {
            EXPECT_GT(worst, 1);
        }
    }
}

// Confidence from readings: a wideband value held over records is one reading; the readings of
// one short visit are not trusted, of two visits (or a second in the cell) they are.
TEST(MapCorrection, ConfidenceCountsReadingsAndVisitsNotRecords) {
    // Records 30 ms apart in the 2000 rpm cell, a stay in the 3000 rpm cell where `away`.
    const auto ratio = [](int i) { return 14.0 + 0.01 * (i % 3); };
    const struct {
        const char* name;
        int records;
        std::function<void(int, Rec&)> edit;
        uint64_t readings, visits;
        CellTrust trust;
        const char* reason;
    } cases[] = {
        {"one held value over 16 records", 16, [](int, Rec& r) { r.ratio = 14.0; }, 1, 1,
         CellTrust::FewHits, "1 reading kept, fewer than 10"},
        {"16 readings in one visit of 0.45 s", 16, [&](int i, Rec& r) { r.ratio = ratio(i); }, 16,
         1, CellTrust::OneVisit,
         "readings from one visit of 0.45 s; trusted from two visits or 1 s"},
        {"two visits", 60,
         [&](int i, Rec& r) {
             r.ratio = ratio(i);
             if (i >= 16 && i < 32) r.rpm = 3000;
         },
         16 + 28 - 9, 2, CellTrust::Trusted, ""},
        {"one visit of 1.5 s", 51, [&](int i, Rec& r) { r.ratio = ratio(i); }, 51, 1,
         CellTrust::Trusted, ""},
    };
    MapScales scales = test::simulatedFuelMap().scales;
    scales.tp.fill(250);
    const int cell = recordCell(scales, 2000, 1.0);
    EngineMap map;
    map.scales = scales;
    map.values.fill(100);
    GridValues target;
    target.fill(1400);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FuelSamples s;
        addLogFuel(s, scales, handLog(c.records, c.edit));
        const CorrectionSettings settings;
        const CellCorrection cc = correctMap(map, target, s, settings).cells[size_t(cell)];
        EXPECT_EQ(cc.readings, c.readings);
        EXPECT_EQ(cc.visits, c.visits);
        EXPECT_EQ(cc.trust, c.trust);
        EXPECT_EQ(trustReason(cc, settings), c.reason);
        if (c.trust == CellTrust::Trusted) {
            EXPECT_TRUE(correctionDetails(cc, settings).contains(" in 2 visits") || c.visits == 1);
        }
    }

    // A lock keeps the map's value however sure the cell is.
    FuelSamples s;
    addLogFuel(s, scales, handLog(51, [&](int i, Rec& r) { r.ratio = ratio(i); }));
    target.fill(1300); // 7.8 % lean
    CorrectionSettings locked;
    locked.locked.set(size_t(cell));
    const FuelCorrection c = correctMap(map, target, s, locked);
    EXPECT_EQ(c.cells[size_t(cell)].trust, CellTrust::Locked);
    EXPECT_EQ(c.suggested.values[size_t(cell)], 100);
    EXPECT_EQ(correctMap(map, target, s, {}).suggested.values[size_t(cell)], 108);
}

// What is a reading in a log: a WBo2 number while WB State is empty or Ready (or the log has no
// such column); a new value, or a new WB Time, is a new reading.
TEST(MapCorrection, ALogsReadingsFollowTheWidebandStateAndItsFrameTime) {
    const QByteArray text = "Time, RPM, Throttle, WBo2, WB State, WB Time\r\n"
                            "000.000, 2000, 1, 14.5, Ready, 000.000\r\n"
                            "000.010, 2000, 1, 14.5, Ready, 000.000\r\n" // held: same frame
                            "000.020, 2000, 1, 14.5, Ready, 000.015\r\n" // a new frame
                            "000.030, 2000, 1, 14.6, , \r\n"             // no state said
                            "000.040, 2000, 1, 14.6, Cold, 000.035\r\n"  // not ready
                            "000.050, 2000, 1, , Lost, \r\n"             // no ratio
                            "000.060, 2000, 1, nan, Ready, 000.055\r\n"
                            "000.070, 2000, 1, 14.6, Ready, 000.055\r\n"; // after none: new
    const LogData log = LogReader::readBytes(text).data;
    LogWideband wb(log);
    const struct {
        std::optional<float> ratio;
        bool isNew;
    } expected[] = {{14.5f, true}, {14.5f, false}, {14.5f, true}, {14.6f, true},
                    {{}, false},   {{}, false},    {{}, false},   {14.6f, true}};
    for (qsizetype r = 0; r < log.recordCount(); ++r) {
        SCOPED_TRACE(r);
        const LogWideband::Reading got = wb.at(r);
        EXPECT_EQ(got.ratio, expected[r].ratio);
        EXPECT_EQ(got.isNew, expected[r].isNew);
    }
    // The correction and the coverage count the same: 5 records with a reading, 3 without.
    MapScales scales = test::simulatedFuelMap().scales;
    FuelSamples s;
    addLogFuel(s, scales, log);
    EXPECT_EQ(s.counts(FilterMask()).kept, 5u);
    EXPECT_EQ(s.counts(FilterMask()).keptReadings, 4u);
    EXPECT_EQ(s.counts(FilterMask()).noReading, 3u);
    MapCoverage coverage;
    addLogCoverage(coverage, scales, log);
    EXPECT_EQ(coverage.afrHits(), 5u);
    EXPECT_EQ(coverage.hits(), 8u);

    // Locks go with the target file and come back; a plain target has no lock block.
    TargetTable t = defaultTarget(scales);
    EXPECT_FALSE(targetFileText(t).contains("Locked"));
    t.locked.set(17);
    const TargetFileRead back = parseTargetFile(targetFileText(t));
    ASSERT_TRUE(back.target) << back.error.toStdString();
    EXPECT_EQ(back.target->locked, t.locked);
    QByteArray bad = targetFileText(t);
    bad.replace(",1,", ",2,");
    EXPECT_TRUE(parseTargetFile(bad).error.startsWith("Locked cells: Line"))
        << parseTargetFile(bad).error.toStdString();
}
