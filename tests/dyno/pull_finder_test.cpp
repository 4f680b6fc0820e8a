// Finding the pulls in a log: what splits one, what does not, what is never one.
#include "dyno/dyno.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace kx;

namespace {
struct Phase {
    double seconds;
    double throttle;      // volts
    double rpmFrom, rate; // RPM and RPM per second
    double kmhPer1000;    // the gear
};

// 25 records a second (a silence leaves none), RPM in 12.5 and km/h in 2 km/h steps.
std::vector<DynoSample> logOf(const std::vector<Phase>& phases, double silentFrom = -1,
                              double silentTo = -1) {
    std::vector<DynoSample> s;
    double start = 0;
    for (const Phase& p : phases) {
        for (double t = 0; t < p.seconds - 1e-9; t += 0.04) {
            const double at = start + t;
            if (at >= silentFrom && at < silentTo) continue;
            const double rpm = p.rpmFrom + p.rate * t;
            s.push_back({at, 12.5 * std::round(rpm / 12.5),
                         2 * std::round(rpm * p.kmhPer1000 / 1000 / 2), p.throttle});
        }
        start += p.seconds;
    }
    return s;
}
} // namespace

TEST(PullFinder, WhatMakesAndBreaksAPull) {
    struct Case {
        const char* name;
        std::vector<Phase> phases;
        double silentFrom = -1, silentTo = -1;
        size_t pulls;
        bool marked = false;
    };
    const Phase cruise{1, 1.0, 2000, 0, 19};
    const Case cases[] = {
        {"a gear change inside a pull splits it (flat shift, throttle held)",
         {cruise, {3, 4.3, 2500, 900, 13}, {3, 4.3, 3560, 600, 19}, cruise},
         -1,
         -1,
         2},
        {"a gear change with no fall of RPM splits it too (the ratio moves 27 %)",
         {cruise, {3.5, 4.3, 2500, 700, 19}, {3.5, 4.3, 4950, 700, 15}, cruise},
         -1,
         -1,
         2},
        {"a fall of 200 RPM in one gear splits it (a bog)",
         {cruise,
          {3, 4.3, 2500, 700, 19},
          {0.2, 4.3, 4600, -1000, 19},
          {3, 4.3, 4400, 700, 19},
          cruise},
         -1,
         -1,
         2},
        {"a fall of 100 RPM does not",
         {cruise,
          {3, 4.3, 2500, 700, 19},
          {0.1, 4.3, 4600, -1000, 19},
          {3, 4.3, 4500, 700, 19},
          cruise},
         -1,
         -1,
         1},
        {"one 5.1 V glitch of the throttle hides no pull at 4.3 V",
         {cruise, {0.04, 5.1, 2000, 0, 19}, cruise, {5, 4.3, 2000, 600, 19}, cruise},
         -1,
         -1,
         1},
        {"a lift shorter than 0.3 s does not",
         {cruise,
          {2, 4.3, 2000, 600, 19},
          {0.2, 1.0, 3200, 600, 19},
          {2, 4.3, 3320, 600, 19},
          cruise},
         -1,
         -1,
         1},
        {"a longer lift does",
         {cruise,
          {2.5, 4.3, 2000, 600, 19},
          {0.6, 1.0, 3500, 0, 19},
          {2.5, 4.3, 3500, 600, 19},
          cruise},
         -1,
         -1,
         2},
        {"part throttle is never a pull", {cruise, {5, 2.2, 2000, 600, 19}, cruise}, -1, -1, 0},
        {"too short", {cruise, {1.5, 4.3, 2000, 600, 19}, cruise}, -1, -1, 0},
        {"a silence is kept but marked",
         {cruise, {5, 4.3, 2000, 600, 19}, cruise},
         3.0,
         4.2,
         1,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto s = logOf(c.phases, c.silentFrom, c.silentTo);
        const PullSearch found = findPulls(s);
        ASSERT_EQ(found.pulls.size(), c.pulls) << found.why.toStdString();
        EXPECT_EQ(found.why.startsWith(QLatin1String("no pull: ")), c.pulls == 0);
        for (const DynoPull& p : found.pulls) {
            EXPECT_GE(p.to - p.from, kMinPullSeconds);
            EXPECT_EQ(p.marked(), c.marked);
            if (!p.marked()) continue;
            // Nothing is computed across the silence.
            const DynoCurve curve = dynoCurve(s, p, VehicleInputs{});
            const double before = 2000 + 600 * (c.silentFrom - 1),
                         after = 2000 + 600 * (c.silentTo - 1);
            for (const DynoPoint& x : curve.points) {
                EXPECT_TRUE(x.rpm <= before || x.rpm >= after) << x.rpm;
            }
            EXPECT_FALSE(curve.empty());
        }
    }
    const auto part = logOf({cruise, {5, 2.2, 2000, 600, 19}});
    EXPECT_TRUE(findPulls(part).why.contains(QLatin1String("no full throttle")));
    EXPECT_TRUE(findPulls(logOf({cruise, {1.5, 4.3, 2000, 600, 19}, cruise}))
                    .why.contains(QLatin1String("never lasted 2 s")));
    // The stretch the user gives is one pull, whatever the throttle says.
    const PullSearch given = pullBetween(part, 1.5, 5.5);
    ASSERT_EQ(given.pulls.size(), 1u);
    EXPECT_NEAR(given.pulls[0].rpmPerKmh, 1000 / 19.0, 1.0);
}
