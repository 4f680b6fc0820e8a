// The replay's arithmetic: slider scale, play step, what a record shows, catalogue changes and
// the placement of its own controls.
#include "logs/replay_logic.h"
#include "util/ticks.h"

#include <gtest/gtest.h>

using namespace kx;

namespace {
LogData load(const QByteArray& text) {
    LogReadResult r = LogReader::readBytes(text);
    EXPECT_TRUE(r.ok()) << r.failure.toStdString();
    return std::move(r.data);
}
QString describe(const std::vector<ReplayUpdate>& updates) {
    QStringList out;
    for (const ReplayUpdate& u : updates) {
        if (u.kind == ReplayUpdate::Kind::Gauge)
            out << QStringLiteral("g%1=%2").arg(u.target).arg(double(u.value));
        else
            out << QStringLiteral("i%1=%2").arg(u.target).arg(u.state);
    }
    return out.join(u' ');
}
} // namespace

TEST(ReplayLogic, SliderStepsStandForSRecordsOnLongLogs) {
    // 40,000 records: two records a step, 20,000 steps, step 7 is record 14.
    EXPECT_EQ(replaySliderScale(40000), 2);
    EXPECT_EQ(replaySliderMaximum(40000), 20000);
    EXPECT_EQ(replayRecordAt(7, replaySliderScale(40000)), 14);
    EXPECT_EQ(replaySliderValue(15, 2), 7);
    // Up to 32,764 records every record has its step; at 32,765 steps double up.
    EXPECT_EQ(replaySliderScale(32764), 1);
    EXPECT_EQ(replaySliderMaximum(32764), 32764);
    EXPECT_EQ(replaySliderScale(32765), 2);
    EXPECT_EQ(replaySliderMaximum(32765), 16382);
    EXPECT_EQ(replaySliderScale(0), 1);
    EXPECT_EQ(replaySliderMaximum(0), 0);
    // The range never passes the slider's limit, however long the log.
    for (int64_t n : {int64_t(65530), int64_t(65531), int64_t(1000000), int64_t(123456789)}) {
        EXPECT_LE(replaySliderMaximum(n), kReplaySliderSteps) << n;
        EXPECT_LE(replayRecordAt(replaySliderMaximum(n), replaySliderScale(n)), n) << n;
    }
}

TEST(ReplayLogic, PlayStepsToTheLastRecordAndNoFurther) {
    const ReplayStep atEnd = replayStep(10, 10, 1);
    EXPECT_FALSE(atEnd.runs);
    const ReplayStep empty = replayStep(1, 0, 1);
    EXPECT_FALSE(empty.runs);
    const ReplayStep mid = replayStep(9, 10, 1);
    EXPECT_TRUE(mid.runs);
    EXPECT_EQ(mid.next, 10);
    EXPECT_EQ(mid.slider, 10);
    // With two records a step the slider moves every second record.
    EXPECT_EQ(replayStep(6, 40000, 2).slider, 3);
    EXPECT_EQ(replayStep(7, 40000, 2).slider, 4);
}

TEST(ReplayLogic, ARecordShowsItsFieldsByColumnCode) {
    const LogData d = load("Time, RPM, Closed TPS, Oxygen, Bogus, Battery, RPM\r\n"
                           "000.010, 800, On, 45, x, 14.1, 900\r\n"
                           "000.020, 810, Off, junk, x, 14.2, 910\r\n"
                           "000.030, 820, , 47, x, 14.3\r\n"
                           "000.040\r\n");
    // Both RPM columns (slots 0 and 3) show the later one; "Oxygen" is a gauge; "Bogus" takes
    // no slot.
    EXPECT_EQ(describe(replayUpdates(d, 1)), "g0=900 i0=On g1=45 g2=14.1 g3=900");
    // A field that is no number ends the record's update there.
    EXPECT_EQ(describe(replayUpdates(d, 2)), "g0=910 i0=Off");
    // A short record: the earlier RPM column stands in, an empty state is passed on as it is.
    EXPECT_EQ(describe(replayUpdates(d, 3)), "g0=820 i0= g1=47 g2=14.3 g3=820");
    // A time stamp alone shows nothing; nor does a record that is not there.
    EXPECT_EQ(describe(replayUpdates(d, 4)), "");
    EXPECT_EQ(describe(replayUpdates(d, 5)), "");
    EXPECT_EQ(describe(replayUpdates(d, 0)), "");

    const LogData timeOnly = load("Time\r\n000.010\r\n000.020\r\n");
    EXPECT_EQ(timeOnly.recordCount(), 2);
    EXPECT_EQ(describe(replayUpdates(timeOnly, 1)), "");
}

TEST(ReplayLogic, ValuesBeyondASingleAndHugeFieldsNeverReachTheDials) {
    const QByteArray huge(8 << 20, 'x'); // a binary file read as a log
    const LogData d = load("Time, Closed TPS, RPM, Battery\r\n000.010, " + huge +
                           ", 800, 1e39\r\n000.020, On, -1e39, 14\r\n");
    const auto first = replayUpdates(d, 1);
    ASSERT_EQ(first.size(), 2u); // the state and RPM; 1e39 pins no needle
    EXPECT_EQ(first[0].state, QString(100, u'x') + "...");
    EXPECT_EQ(describe(replayUpdates(d, 2)), "i0=On");
    // The analyser's columns stop at the same fields ("Invalid log data").
    EXPECT_EQ(d.numbersByCode(7).badRecord, 0);
    EXPECT_EQ(d.numbersByCode(0).badRecord, 1);
}

TEST(ReplayLogic, UnitNamesSetTheirCatalogueEntries) {
    std::array<GaugeInfo, kGaugeCount> catalogue;
    buildCatalogue(catalogue, false, false);
    const LogReadResult r = LogReader::readBytes("Time, Water Temp F, Speed mph, RPM\r\n");
    ASSERT_TRUE(r.ok());
    applyLogCatalogueChanges(catalogue, r.catalogueChanges);
    EXPECT_EQ(catalogue[3].name(), "Water Temp F");
    EXPECT_EQ(catalogue[3].minVal(), 20);
    EXPECT_EQ(catalogue[3].maxVal(), 300);
    EXPECT_EQ(catalogue[3].tickerNum(), 14);
    EXPECT_EQ(catalogue[3].subTickerNum(), 4);
    EXPECT_EQ(catalogue[6].name(), "Speed mph");
    EXPECT_EQ(catalogue[6].maxVal(), 150);
    EXPECT_EQ(catalogue[6].decPointNum(), 1);
    // Entries the log does not name stay as built.
    EXPECT_EQ(catalogue[9].name(), "Fuel Temp C");
    EXPECT_EQ(catalogue[0].maxVal(), 8000);
}

TEST(ReplayLogic, ControlsSitInTheBottomRightCornerBesideTheIndicators) {
    // 12000 x 9000 twips: C = 3000, R = (9000 - 1500) / 3 = 2500.
    const ReplayLayout l = replayLayout(12000, 9000);
    EXPECT_EQ(l.display.column, 3000);
    EXPECT_EQ(l.display.row, 2500);
    const auto rect = [](const TwipRect& r) {
        return std::array<int, 4>{r.left, r.top, r.width, r.height};
    };
    EXPECT_EQ(rect(l.fraPosition), (std::array<int, 4>{9000, 7475, 2925, 416}));
    EXPECT_EQ(rect(l.fraSpeed), (std::array<int, 4>{9000, 7875, 2925, 416}));
    EXPECT_EQ(rect(l.slider), (std::array<int, 4>{90, 150, 2760, 166}));
    EXPECT_EQ(rect(l.btnPlay), (std::array<int, 4>{9150, 8350, 750, 227}));
    EXPECT_EQ(rect(l.btnStop), (std::array<int, 4>{10050, 8350, 750, 227}));
    EXPECT_EQ(rect(l.btnBrowse), (std::array<int, 4>{10950, 8350, 750, 227}));
    EXPECT_EQ(l.frameFont, 6);
    EXPECT_EQ(l.buttonFont, 8);
    // The buttons stay right of the third indicator column and inside the window.
    const TwipRect& last = l.display.registerLabel[11];
    EXPECT_GE(l.btnPlay.left, last.left + last.width);
    EXPECT_GE(l.fraPosition.left, last.left + last.width);
    EXPECT_LE(l.btnBrowse.left + l.btnBrowse.width, 12000);
    EXPECT_LE(l.btnPlay.top + l.btnPlay.height, 9000);
}

TEST(ReplayLogic, OnlyATimeColumnThatReadsAndMovesOnPacesAReplay) {
    const struct {
        const char* name;
        QByteArray log;
        bool timed;
    } cases[] = {
        {"times", "Time, RPM\r\n000.010, 800\r\n000.510, 900\r\n001.010, 950\r\n", true},
        {"one time for all", "Time, RPM\r\n000.001, 800\r\n000.001, 900\r\n", false},
        {"a stamp that is no number", "Time, RPM\r\n1.0, 800\r\nx, 900\r\n2.0, 950\r\n", false},
        {"one record", "Time, RPM\r\n1.0, 800\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<double> times = replayTimes(load(c.log));
        EXPECT_EQ(ReplayClock(times).timed(), c.timed);
    }
    EXPECT_EQ(replayTimes(load(cases[0].log)), (std::vector<double>{0, 0.5, 1.0}));
}

TEST(ReplayLogic, ByTheClockALogTakesItsOwnLengthAtEachSpeed) {
    // A minute at about 150 records a second, spaced 6 and 7 ms by turns, with a 2 s gap where
    // the line fell silent.
    QByteArray text = "Time, RPM\r\n";
    double t = 5.0;
    for (int i = 0; i < 9000; ++i) {
        t += i == 4000 ? 2.0 : (i % 2 ? 0.006 : 0.007);
        text += QByteArray::number(t, 'f', 3) + ", 800\r\n";
    }
    const LogData log = load(text);
    const std::vector<double> times = replayTimes(log);
    ASSERT_EQ(times.size(), 9000u);
    const double length = times.back();

    for (double speed : kReplaySpeeds) {
        SCOPED_TRACE(speed);
        ReplayClock clock(times);
        // The window's loop on a busy machine: each timer fires up to 25 ms late. The start
        // sits just before the tick counter wraps.
        uint32_t now = 0xFFFFF000u;
        const uint32_t start = now;
        clock.start(1, now, speed);
        uint32_t lateness = 7;
        int64_t shown = 1;
        while (true) {
            const int64_t due = clock.recordAt(now);
            ASSERT_GE(due, shown); // never back
            // Never a record before its time.
            ASSERT_LE(clock.secondsOf(due), double(elapsedTicks(start, now)) / 1000 * speed + 1e-6);
            shown = due;
            if (shown >= int64_t(times.size())) break;
            lateness = (lateness * 7 + 3) % 26;
            now += clock.msUntilNext(shown, now) + lateness;
        }
        const double took = double(elapsedTicks(start, now)) / 1000;
        EXPECT_NEAR(took, length / speed, 0.02 * length / speed);
    }

    // Moved to a record while playing: on from there, at that record's time.
    ReplayClock clock(times);
    clock.start(4000, 1000, 1);
    EXPECT_EQ(clock.recordAt(1000), 4000);
    EXPECT_EQ(clock.msUntilNext(4000, 1000), 2000u); // the gap
    EXPECT_EQ(clock.recordAt(2999), 4000);
    EXPECT_EQ(clock.recordAt(3000), 4001);
}
