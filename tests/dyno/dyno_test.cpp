// The dyno's arithmetic against closed forms, a pull of the simulator's known torque curve
// read back through the ECU's steps, and what a log may hold that no engine made.
#include "dyno/dyno.h"
#include "engine_model.h"
#include "logs/log_reader.h"
#include "support/sim_pull.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>

using namespace kx;

namespace {
using Sim = kxsim::EngineModel;

DynoLog readLog(const QByteArray& bytes) {
    const LogReadResult read = LogReader::readBytes(bytes);
    EXPECT_TRUE(read.ok()) << read.failure.toStdString();
    return dynoSamples(read.data);
}
} // namespace

TEST(DynoCalc, ClosedForms) {
    VehicleInputs in;
    in.massKg = 1000;
    in.cdA = 0;
    in.crr = 0;
    // Constant acceleration, no drag: P = m·a·v.
    EXPECT_DOUBLE_EQ(wheelPower(in, 20, 2), 1000 * 2 * 20.0);
    // Drag alone at constant speed: ½·ρ·CdA·v³; rolling alone: Crr·m·g·v.
    in.cdA = 0.65;
    EXPECT_NEAR(wheelPower(in, 30, 0), 0.5 * 1.2 * 0.65 * 27000, 1e-9);
    in.cdA = 0;
    in.crr = 0.015;
    EXPECT_NEAR(wheelPower(in, 10, 0), 0.015 * 1000 * kGravity * 10, 1e-9);
    EXPECT_NEAR(airDensity(15, 1013.25), 1.225, 0.001);

    // A log of exact constant acceleration gives m·a·v at every step, and a loss lifts the
    // engine figure by 1 / (1 - loss).
    std::vector<DynoSample> s;
    const double rpmPerKmh = 50, rate = 800; // RPM per second
    for (int i = 0; i <= 300; ++i) {
        const double t = i * 0.02 + (i % 3) * 0.004, rpm = 2000 + rate * t;
        s.push_back({t, rpm, rpm / rpmPerKmh, 4.3});
    }
    in.crr = 0;
    for (double loss : {0.0, 15.0}) {
        in.lossPct = loss;
        const PullSearch found = findPulls(s);
        ASSERT_EQ(found.pulls.size(), 1u) << found.why.toStdString();
        EXPECT_NEAR(found.pulls[0].rpmPerKmh, rpmPerKmh, 1e-6);
        const DynoCurve c = dynoCurve(s, found.pulls[0], in);
        ASSERT_FALSE(c.empty());
        // No step from a fit with data on one side only: the pull's first and last quarter
        // second (2000 to 2200 and 6600 to 6800 RPM) give none.
        EXPECT_EQ(c.points.front().rpm, 2250);
        EXPECT_EQ(c.points.back().rpm, 6500);
        for (const DynoPoint& p : c.points) {
            const double v = p.rpm / rpmPerKmh / 3.6, a = rate / rpmPerKmh / 3.6;
            const double engine = 1000 * a * v / (1 - loss / 100);
            EXPECT_NEAR(p.powerW, engine, engine * 1e-9) << p.rpm;
            EXPECT_NEAR(p.torqueNm, engine / (2 * M_PI * p.rpm / 60), 1e-6);
        }
    }
}

// The known torque curve back through the ECU's steps and a log file, a few seeds of the
// bench's 30: every step within 2 % at the data logger's rate (about 24 records a second,
// uneven) and 1 % at Record a Pull's (about 150), the peaks within 1 % and a step of the true
// ones, none from the pull's first or last quarter second. An older log, stamped when the
// program read the line (several records to a time), still gives its pull.
TEST(DynoCalc, KnownTorqueCurveComesBackToTheEdges) {
    struct Case {
        const char* name;
        int gapMin, gapMax, readMs;
        double stepBound, peakBound;
    };
    const Case cases[] = {{"logger", 33, 50, 0, 0.02, 0.01},
                          {"Record a Pull", 5, 9, 0, 0.01, 0.01},
                          {"older log, 100 ms reads", 33, 50, 100, 0.04, 0.02}};
    for (const Case& c : cases) {
        for (unsigned seed : {1u, 2u, 3u}) {
            SCOPED_TRACE(testing::Message() << c.name << ", seed " << seed);
            const DynoLog log = readLog(
                test::simPullLogBytes(test::simPullLog(c.gapMin, c.gapMax, seed, c.readMs)));
            const PullSearch found = findPulls(log.samples);
            ASSERT_EQ(found.pulls.size(), 1u) << found.why.toStdString();
            const DynoPull& pull = found.pulls[0];
            EXPECT_FALSE(pull.marked());
            EXPECT_NEAR(pull.rpmPerKmh, 1 / Sim::kPullKmhPerRpm, 0.3);
            const DynoCurve curve = dynoCurve(log.samples, pull, test::simPullInputs());
            const test::PullAccuracy a = test::pullAccuracy(curve);
            EXPECT_GE(a.steps, 17); // 2250 to 6500
            EXPECT_LT(a.stepMax, c.stepBound);
            EXPECT_LT(std::abs(a.peakPower), c.peakBound);
            EXPECT_LT(std::abs(a.peakTorque), c.peakBound);
            EXPECT_LE(std::abs(a.peakPowerSteps), 1);
            EXPECT_LE(std::abs(a.peakTorqueSteps), 1);
            // The first and last steps have a quarter second of the pull on their far side.
            const double early = Sim::pullRpm(pull.from - log.samples[pull.first].t + 0.25);
            EXPECT_GE(curve.points.front().rpm, early - 25);
            EXPECT_LE(curve.points.back().rpm, log.samples[pull.last].rpm - 125);
        }
    }
}

// What a log may hold besides a clean pull: each case is the simulator's pull with one thing
// changed, and what the dyno makes of it.
TEST(DynoLogReading, BadRecordsAreLeftOutAloneAndCounted) {
    const QByteArray clean = test::simPullLogBytes(test::simPullLog(33, 50, 1));
    QByteArrayList lines = clean.split('\n');
    // Field `f` (0: Time, 1: RPM, 2: Speed, 3: Throttle) of record `r` set to `text`.
    const auto with = [&](std::vector<std::tuple<int, int, QByteArray>> edits,
                          QByteArray header = "Time, RPM, Speed kph, Throttle\r") {
        QByteArrayList l = lines;
        l[0] = header;
        for (const auto& [r, f, text] : edits) {
            QByteArrayList fields = l[r + 1].chopped(1).split(',');
            fields[f] = ' ' + text;
            l[r + 1] = fields.join(',') + '\r';
        }
        return l.join('\n');
    };
    const struct {
        const char* name;
        QByteArray bytes;
        qsizetype unreadable, impossible;
        const char* dropped; // droppedText
        const char* why;     // "" when the pull is found
    } cases[] = {
        {"an empty RPM at record 60", with({{60, 1, ""}}), 1, 0, "1 record skipped as unreadable",
         ""},
        {"nan and inf", with({{60, 1, "nan"}, {70, 2, "inf"}}), 2, 0,
         "2 records skipped as unreadable", ""},
        {"1e12 RPM and 1e30 RPM inside the pull", with({{100, 1, "1e12"}, {120, 1, "1e30"}}), 0, 2,
         "2 records dropped as impossible", ""},
        {"600 km/h, a negative speed, a throttle that is no number",
         with({{90, 2, "600"}, {91, 2, "-4"}, {92, 3, "x"}}), 1, 2,
         "1 record skipped as unreadable; 2 records dropped as impossible", ""},
        {"one 5.1 V throttle glitch in the cruise", with({{10, 3, "5.10"}}), 0, 0, "", ""},
        {"no Speed column", with({}, "Time, RPM, Air Flow, Throttle\r"), 0, 0, "",
         "the log has no Speed column"},
        {"no RPM column", with({}, "Time, Timing, Speed kph, Throttle\r"), 0, 0, "",
         "the log has no RPM column"},
        {"no Throttle column", with({}, "Time, RPM, Speed kph, Timing\r"), 0, 0, "",
         "the log has no Throttle column"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DynoLog log = readLog(c.bytes);
        EXPECT_EQ(log.unreadable, c.unreadable);
        EXPECT_EQ(log.impossible, c.impossible);
        EXPECT_EQ(droppedText(log), QLatin1String(c.dropped));
        const PullSearch found = searchPulls(log);
        EXPECT_EQ(found.why, QLatin1String(c.why));
        EXPECT_EQ(found.unusable, *c.why != 0);
        if (*c.why) continue;
        ASSERT_EQ(found.pulls.size(), 1u);
        const DynoCurve curve = dynoCurve(log.samples, found.pulls[0], test::simPullInputs());
        EXPECT_EQ(curve.points.size(), 18u); // 2250 to 6500, no step beyond the real span
        EXPECT_LT(std::abs(test::pullAccuracy(curve).peakPower), 0.01);
    }
    // Without a Throttle column a stretch given by time is still a pull.
    const DynoLog noThrottle = readLog(with({}, "Time, RPM, Speed kph, Timing\r"));
    EXPECT_EQ(searchPulls(noThrottle, std::pair{2.0, 6.0}).pulls.size(), 1u);

    // A speed in mph is turned to km/h (1 mph is 1.609344 km/h), so the gear in RPM per km/h
    // is the same whichever unit the log has.
    QByteArray mph = "Time, RPM, Speed mph, Throttle\r\n";
    for (const DynoSample& x : test::simPullLog(33, 50, 1))
        mph += logTimeStamp(uint64_t(std::llround(x.t * 1000))) + ", " + QByteArray::number(x.rpm) +
               ", " + QByteArray::number(x.kmh / 1.609344, 'f', 3) + ", " +
               QByteArray::number(x.throttle, 'f', 2) + "\r\n";
    const DynoLog inMph = readLog(mph);
    const DynoLog inKph = readLog(clean);
    ASSERT_EQ(inMph.samples.size(), inKph.samples.size());
    ASSERT_FALSE(inKph.samples.empty());
    const size_t mid = inKph.samples.size() / 2;
    EXPECT_NEAR(inMph.samples[mid].kmh, inKph.samples[mid].kmh, 0.01);
    const PullSearch found = findPulls(inMph.samples);
    ASSERT_EQ(found.pulls.size(), 1u);
    EXPECT_NEAR(found.pulls[0].rpmPerKmh, 1 / Sim::kPullKmhPerRpm, 0.3);
}

// The wideband's ratio on the sheet: a record has one when WBo2 is a number and the WB State
// (where the log has one) is empty or Ready; each step shows the mean of its records'.
TEST(DynoLogReading, TheAirFuelRatioOfEachStep) {
    const auto s = test::simPullLog(33, 50, 2);
    const struct {
        const char* name;
        QByteArray header;
        std::function<QByteArray(size_t)> wideband; // the fields after Throttle
        double afr;                                 // at every step; NaN: none
    } cases[] = {
        {"WBo2 alone", ", WBo2", [](size_t) { return QByteArray(", 12.50"); }, 12.5},
        {"ready, an empty state, warming and no ratio by turns", ", WBo2, WB State",
         [](size_t i) {
             const char* turns[] = {", 12.20, Ready", ", 12.20, ", ", 19.90, Warming",
                                    ", , Heater"};
             return QByteArray(turns[i % 4]);
         },
         12.2},
        {"never ready", ", WBo2, WB State", [](size_t) { return QByteArray(", 14.70, Error"); },
         NAN},
        {"no WBo2 column", "", [](size_t) { return QByteArray(); }, NAN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray b = "Time, RPM, Speed kph, Throttle" + c.header + "\r\n";
        for (size_t i = 0; i < s.size(); ++i)
            b += logTimeStamp(uint64_t(std::llround(s[i].t * 1000))) + ", " +
                 QByteArray::number(s[i].rpm) + ", " + QByteArray::number(s[i].kmh) + ", " +
                 QByteArray::number(s[i].throttle, 'f', 2) + c.wideband(i) + "\r\n";
        const DynoLog log = readLog(b);
        const PullSearch found = findPulls(log.samples);
        ASSERT_EQ(found.pulls.size(), 1u);
        const DynoCurve curve = dynoCurve(log.samples, found.pulls[0], VehicleInputs{});
        ASSERT_FALSE(curve.empty());
        EXPECT_EQ(curve.hasAfr, !std::isnan(c.afr));
        for (const DynoPoint& p : curve.points)
            if (std::isnan(c.afr))
                EXPECT_TRUE(std::isnan(p.afr));
            else
                EXPECT_NEAR(p.afr, c.afr, 1e-5) << p.rpm;
        const QByteArray report = pullReport(1, log.samples, found.pulls[0], curve, DynoUnits{});
        EXPECT_EQ(report.contains("\nRPM,Power kW,Torque Nm,AFR\n"), curve.hasAfr);
        EXPECT_EQ(report.contains("; AFR " + QByteArray::number(c.afr, 'f', 2) + " at peak power"),
                  curve.hasAfr);
    }
}
