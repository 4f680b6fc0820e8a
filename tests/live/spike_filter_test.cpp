#include "link/debug_trace.h"
#include "live/spike_filter.h"

#include "support/test_support.h"
#include "util/ticks.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace kx;
using namespace kx::test;

namespace {

// RPM, water temperature and switch register 0x21: 4 data bytes, 6 on the line (6.25 ms at
// 9600 baud).
GaugeSetup rpmWaterSwitch() {
    GaugeSetup s;
    buildCatalogue(s.gaugeCatalogue, false, false);
    for (size_t k = 0; k < kDisplaySlots; ++k)
        s.displaySelection[k] = kWidebandGauge; // reads no bytes
    s.displaySelection[0] = 0;
    s.displaySelection[1] = 3;
    s.displaySelection[kFirstSwitchFlag + 3] = 1;
    countBytes(s);
    return s;
}

struct Raw {
    int rpm = 64; // 800 rpm
    int water = 70;
    int reg21 = 0;
    int pauseMs = 0; // before this frame, beyond the usual spacing
};

QByteArray frameOf(const Raw& r) {
    return bytes({0xFF, 4, r.rpm >> 8, r.rpm & 0xFF, r.water, r.reg21});
}

} // namespace

TEST(SpikeFilter, DropsAFrameNoEngineCouldReachFromItsNeighbours) {
    struct Case {
        const char* what;
        int msApart;
        std::vector<Raw> frames;
        const char* passed; // per frame but the last, which stays held
    };
    // RPM allows 30 counts in 25 ms, 7.5 in a 6-byte frame's time on the line.
    // clang-format off
    const Case cases[] = {
        {"a spike", 25, {{64}, {64}, {16640}, {64}, {64}}, "1101"},
        {"two bad frames in a row", 25, {{64}, {64}, {16640}, {9000}, {64}, {64}}, "11001"},
        {"in reach of the last after a pause, not of the next", 25,
         {{64}, {64}, {200, 70, 0, 200}, {64}, {64}}, "1101"},
        {"a real step", 25, {{64}, {64}, {400}, {400}, {400}}, "1111"},
        {"the first frame, however wild", 25, {{16640}, {64}, {64}}, "11"},
        {"a two-frame excursion: a step to one frame's delay", 25,
         {{64}, {64}, {16640}, {16640}, {64}, {64}}, "11111"},
        {"a change the engine can make", 25, {{64}, {64}, {90}, {64}, {64}}, "1111"},
        {"a frozen clock: a frame's time on the line", 0, {{64}, {64}, {71}, {64}, {64}}, "1111"},
        {"a frozen clock: beyond it", 0, {{64}, {64}, {72}, {64}, {64}}, "1101"},
        {"one count is never a spike", 25, {{64}, {64}, {64, 71}, {64}, {64}}, "1111"},
        {"two counts of a slow gauge are", 25, {{64}, {64}, {64, 72}, {64}, {64}}, "1101"},
        {"a switch register", 25, {{64}, {64}, {64, 70, 0x80}, {64}, {64}}, "1111"},
    };
    // clang-format on
    const GaugeSetup setup = rpmWaterSwitch();
    ASSERT_EQ(setup.displayByteCount, 4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SpikeFilter filter;
        filter.reset(9600);
        QList<QByteArray> expected, got;
        uint32_t at = 0xFFFFFFF0u; // across the counter's wrap
        for (size_t i = 0; i < c.frames.size(); ++i) {
            at += uint32_t(c.frames[i].pauseMs);
            const QByteArray f = frameOf(c.frames[i]);
            if (i + 1 < c.frames.size() && c.passed[i] == '1') expected << f;
            if (const auto out = filter.take({f, readFrame(f, setup), at})) got << out->bytes;
            at += uint32_t(c.msApart);
        }
        EXPECT_EQ(got, expected);
        const std::string passed = c.passed;
        EXPECT_EQ(filter.dropped(), uint64_t(std::count(passed.begin(), passed.end(), '0')));
    }
}

TEST(SpikeFilter, ARearmedStreamStartsAfreshAndADropIsNotedInTheTrace) {
    QTemporaryDir dir;
    DebugTrace trace;
    ASSERT_TRUE(trace.open(dir.filePath("trace")));
    uint32_t now = 1000;
    SpikeFilter filter;
    filter.reset(9600);
    QList<QByteArray> got;
    for (const int rpm : {64, 64, 16640, 64, 70, -1, 16640}) {
        if (rpm < 0)
            filter.reset(9600); // the frame held (70) is forgotten
        else if (const auto out = filterFrame(filter, frameOf({rpm}), rpmWaterSwitch(), trace,
                                            now += 25))
            got << out->bytes;
    }
    // The first frame of the new stream passes at once.
    EXPECT_EQ(got,
              (QList<QByteArray>{frameOf({64}), frameOf({64}), frameOf({64}), frameOf({16640})}));
    trace.close();
    EXPECT_EQ(fileBytes(dir.filePath("trace")), "Nspikes dropped: 1\n");
}
