// Map coverage and the map file: the cell rule of a logged record against the live trace's,
// hand-counted coverage of a small log, the export, and the map file's round trip and refusals.
#include "live/live_data.h"
#include "logs/log_reader.h"
#include "support/test_support.h"
#include "tools/map_coverage.h"
#include "tools/map_file.h"
#include "util/numbers.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
// RPM headers 500 to 8000, throttle headers 20 to 170 raw.
MapScales scales() {
    MapScales s;
    for (int i = 0; i < 16; ++i) {
        s.rpm[size_t(i)] = 500 * (i + 1);
        s.tp[size_t(i)] = 20 + 10 * i;
    }
    return s;
}

LogData logOf(const char* text) {
    LogReadResult r = LogReader::readBytes(QByteArray(text));
    EXPECT_TRUE(r.ok()) << r.failure.toStdString();
    return std::move(r.data);
}

QList<QByteArray> csvLines(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    for (QByteArray& l : lines)
        if (l.endsWith('\r')) l.chop(1);
    return lines;
}
} // namespace

TEST(MapCoverage, ALoggedRecordFallsInTheCellTheLiveTraceMarks) {
    const MapScales s = scales();
    const struct {
        int rpmRaw; // engine speed / 12.5, as the ECU sends it
        int tp;
        int row, column; // 1 to 16
    } cases[] = {
        {40, 20, 1, 1},     // 500 rpm and throttle 20: both on the first headers
        {41, 21, 2, 2},     // 512 rpm (512.5 to even), just past the first headers
        {0, 0, 1, 1},       // below every header
        {640, 170, 16, 16}, // on the last headers
        {641, 171, 16, 16}, // beyond them
        {300, 23, 8, 2},    // 3750 rpm
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rpmRaw);
        const int rpm = engineSpeed(uint8_t(c.rpmRaw >> 8), uint8_t(c.rpmRaw & 0xFF));
        const int live = mapCellOf(s, rpm, c.tp);
        EXPECT_EQ(live, 16 * (c.row - 1) + c.column - 1);
        // The record as the data logger writes it: its value texts, read back.
        const QString rpmText = singleText(convertGauge(0, uint16_t(c.rpmRaw), Units{}));
        const QString volts = singleText(convertGauge(8, uint16_t(c.tp), Units{}));
        EXPECT_EQ(recordCell(s, *parseNumber(rpmText), *parseNumber(volts)), live);
    }
    // Every logged throttle text gives its raw value back, 0.46 V (22.99999 raw) too.
    for (int raw = 0; raw < 256; ++raw)
        EXPECT_EQ(throttleRaw(*parseNumber(singleText(convertGauge(8, uint16_t(raw), Units{})))),
                  raw);
}

TEST(MapCoverage, HandCountedHitsAndMeansOfASmallLogAndItsExport) {
    // Cells: 900 rpm / 1 V (raw 50) is row 2, column 4; 3000 rpm / 0.2 V (raw 10) row 6,
    // column 1. A 0 ratio is the logger's "never read": a hit without a ratio.
    const LogData log = logOf("Time, RPM, Water Temp C, Throttle, WBo2\r\n"
                              "000.100, 900, 80, 1, 14.5\r\n"
                              "000.200, 900, 80, 1, 15.5\r\n"
                              "000.300, 900, 80, 1, 0\r\n"
                              "000.400, 3000, 80, 0.2, 12.25\r\n"
                              "000.500, , 80, 0.2, 12\r\n"   // no engine speed
                              "000.600, 3000, 80, x, 12\r\n" // no throttle
                              "000.700, 3000, 80, 0.2, 13.75\r\n"
                              "000.800, 3000, 80, 0.2\r\n"); // short: no ratio
    MapCoverage c;
    const LogCoverageCount n = addLogCoverage(c, scales(), log);
    EXPECT_EQ(n.added, 6);
    EXPECT_EQ(n.skipped, 2);
    const CoverageCell& a = c.cell(16 + 3);
    EXPECT_EQ(a.hits, 3u);
    EXPECT_EQ(a.afrCount, 2u);
    EXPECT_DOUBLE_EQ(*a.meanAfr(), 15.0);
    const CoverageCell& b = c.cell(16 * 5);
    EXPECT_EQ(b.hits, 3u);
    EXPECT_DOUBLE_EQ(*b.meanAfr(), 13.0);
    EXPECT_EQ(b.afrMin, 12.25f);
    EXPECT_EQ(b.afrMax, 13.75f);
    EXPECT_EQ(c.hits(), 6u);

    // A log without a Throttle column: every record skipped, none counted.
    const LogCoverageCount none =
        addLogCoverage(c, scales(), logOf("Time, RPM\r\n000.1, 900\r\n000.2, 950\r\n"));
    EXPECT_EQ(none.added, 0);
    EXPECT_EQ(none.skipped, 2);

    const QList<QByteArray> lines = csvLines(coverageExportText(scales(), c));
    ASSERT_EQ(lines.size(), 4 * 18 + 3 + 1); // four blocks, three empty lines between, the end
    const QByteArray headers = "RPM\\TP,20,30,40,50,60,70,80,90,100,110,120,130,140,150,160,170";
    for (int block = 0; block < 4; ++block) {
        const QByteArray title = lines[19 * block];
        EXPECT_EQ(title, (QList<QByteArray>{"Hits", "Mean WBo2", "Min WBo2", "Max WBo2"}[block]));
        EXPECT_EQ(lines[19 * block + 1], headers);
        if (block > 0) {
            EXPECT_TRUE(lines[19 * block - 1].isEmpty());
        }
    }
    EXPECT_EQ(lines[3], "1000,0,0,0,3,0,0,0,0,0,0,0,0,0,0,0,0");
    EXPECT_EQ(lines[7], "3000,3,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
    EXPECT_EQ(lines[19 + 3], "1000,,,,15.00,,,,,,,,,,,,");
    EXPECT_EQ(lines[19 + 7], "3000,13.00,,,,,,,,,,,,,,,");
    EXPECT_EQ(lines[38 + 7], "3000,12.25,,,,,,,,,,,,,,,");
    EXPECT_EQ(lines[57 + 7], "3000,13.75,,,,,,,,,,,,,,,");
    EXPECT_TRUE(coverageExportText(scales(), c).endsWith("\r\n"));
}

TEST(MapCoverage, TheHeatScaleSpansTheCellsWithEnoughHits) {
    MapCoverage c;
    for (int i = 0; i < 3; ++i)
        c.add(0, 19.0f); // too few to set the scale: shown faint, outside it
    for (int i = 0; i < 1000; ++i)
        c.add(1, i < 500 ? 12.0f : 13.0f);
    for (int i = 0; i < 5; ++i)
        c.add(2, 16.0f);
    const CoverageScale afr = coverageScale(c, CoverageView::MeanAfr, 5);
    EXPECT_DOUBLE_EQ(afr.low, 12.5);
    EXPECT_DOUBLE_EQ(afr.high, 16.0);
    EXPECT_EQ(afr.colourOf(12.5) & 0xFF, 0u);   // blue end: no red
    EXPECT_EQ(afr.colourOf(16.0) & 0xFF, 215u); // red end
    const CoverageScale hits = coverageScale(c, CoverageView::Hits, 5);
    EXPECT_TRUE(hits.logarithmic);
    EXPECT_DOUBLE_EQ(hits.low, 5);
    EXPECT_DOUBLE_EQ(hits.high, 1000);
    CoverageCell many;
    many.hits = 1250000;
    EXPECT_EQ(coverageCaption(many, CoverageView::Hits), "1.2M"); // fits a cell, halves to even
}

TEST(MapFile, SavedThenOpenedIsTheSameGridAndBadFilesAreRefusedByLine) {
    EngineMap map;
    map.scales = scales();
    map.scales.rpm[15] = 12750;
    for (int i = 0; i < 256; ++i)
        map.values[size_t(i)] = uint8_t(255 - i);
    const QByteArray text = mapFileText(map);
    EXPECT_TRUE(text.startsWith("RPM\\TP,20,30,"));
    EXPECT_TRUE(text.contains("\r\n500,255,254,"));
    EXPECT_EQ(text.count("\r\n"), 17);
    EXPECT_EQ(parseMapFile(text).map, map);
    // Blanks, LF line ends and empty lines after the last.
    QByteArray loose = text;
    loose.replace("\r\n", "\n").replace(",", " , ");
    EXPECT_EQ(parseMapFile(loose + "\n\n").map, map);

    const auto withLine = [&](int line, const QByteArray& replacement) {
        QList<QByteArray> lines = text.split('\n');
        lines[line - 1] = replacement;
        return lines.join('\n');
    };
    const struct {
        QByteArray file;
        const char* said;
    } bad[] = {
        {withLine(3, "1000,1,2,3,4,5,6,7,8,9,10,11,12,13,14\r"), "Line 3: 15 columns"},
        {withLine(5, "2000,1,2,3,abc,5,6,7,8,9,10,11,12,13,14,15,16\r"),
         "Line 5: \"abc\" is not a whole number from 0 to 255."},
        {withLine(7, "12800,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16\r"), "0 to 12750"},
        {withLine(1, "RPM,20,30,40,50,60,70,80,90,100,110,120,130,140,150,160,170\r"),
         "Line 1: a map file starts with"},
        {text.left(text.indexOf("\r\n6000,")), "Line 13: the map ends here"},
        {text + "1,2\r\n", "Line 18"},
        {"", "Line 1"},
    };
    for (const auto& b : bad) {
        const MapFileRead r = parseMapFile(b.file);
        EXPECT_FALSE(r.map) << b.said;
        EXPECT_TRUE(r.error.contains(b.said)) << r.error.toStdString();
    }

    // On disk: a new file, an existing one kept or replaced as asked.
    QTemporaryDir dir;
    const QString path = dir.filePath("map.csv");
    EXPECT_FALSE(writeUserText(path, text, ExistingFile::Refuse));
    EXPECT_EQ(readMapFile(path).map, map);
    const auto kept = writeUserText(path, "other", ExistingFile::Refuse);
    ASSERT_TRUE(kept);
    EXPECT_TRUE(kept->contains(path));
    EXPECT_EQ(fileBytes(path), text);
    EXPECT_FALSE(writeUserText(path, "other", ExistingFile::Replace));
    EXPECT_EQ(fileBytes(path), "other");
    EXPECT_TRUE(readMapFile(path).error.contains("Line 1"));
}
