#include "link/debug_trace.h"
#include "live/line_shift.h"
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

// RPM, water temperature and switch registers 0x1E and 0x21: 5 data bytes, 7 on the line
// (7.29 ms at 9600 baud).
GaugeSetup rpmWaterSwitch() {
    GaugeSetup s;
    buildCatalogue(s.gaugeCatalogue, false, false);
    for (size_t k = 0; k < kDisplaySlots; ++k)
        s.displaySelection[k] = kWidebandGauge; // reads no bytes
    s.displaySelection[0] = 0;
    s.displaySelection[1] = 3;
    s.displaySelection[kFirstSwitchFlag + 1] = 1;
    s.displaySelection[kFirstSwitchFlag + 3] = 1;
    countBytes(s);
    return s;
}

struct Raw {
    int rpm = 64; // 800 rpm
    int water = 70;
    int reg21 = 0;
    int pauseMs = 0; // before this frame, beyond the usual spacing
    int reg1E = 0;   // fuel pump 0x40, thermo fan 0x03
};

QByteArray frameOf(const Raw& r) {
    return bytes({0xFF, 5, r.rpm >> 8, r.rpm & 0xFF, r.water, r.reg1E, r.reg21});
}

SpikeFilter::Frame filterInput(const QByteArray& f, const GaugeSetup& setup, uint32_t at) {
    const FrameReadings r = readFrame(f, setup);
    return {f, r, at, decodesWhole(r, setup)};
}

} // namespace

TEST(SpikeFilter, DropsAFrameNoEngineCouldReachFromItsNeighbours) {
    struct Case {
        const char* what;
        int msApart;
        std::vector<Raw> frames;
        const char* passed; // per frame but the last, which stays held
    };
    // RPM allows 30 counts in 25 ms, 8.75 in a 7-byte frame's time on the line.
    // clang-format off
    const Case cases[] = {
        {"a spike", 25, {{64}, {64}, {16640}, {64}, {64}}, "1101"},
        {"two bad frames in a row", 25, {{64}, {64}, {16640}, {9000}, {64}, {64}}, "11001"},
        {"in reach of the last after a pause, not of the next", 25,
         {{64}, {64}, {200, 70, 0, 200}, {64}, {64}}, "1101"},
        {"a real step", 25, {{64}, {64}, {400}, {400}, {400}}, "1111"},
        {"the first frame, however wild, waits for the next to agree", 25,
         {{16640}, {64}, {64}}, "01"},
        {"a first frame that the next agrees with", 25, {{64}, {66}, {64}}, "11"},
        {"a frame that decodes no value judges nothing", 25,
         {{64}, {64}, {0x8100}, {16640}, {64}, {64}}, "11001"},
        {"nor does it vouch for its neighbour", 25,
         {{64}, {64}, {16640}, {0x8100}, {64}, {64}}, "11001"},
        {"a two-frame excursion: a step to one frame's delay", 25,
         {{64}, {64}, {16640}, {16640}, {64}, {64}}, "11111"},
        {"a change the engine can make", 25, {{64}, {64}, {90}, {116}, {116}}, "1111"},
        {"a frozen clock: a frame's time on the line", 0, {{64}, {64}, {72}, {80}, {80}}, "1111"},
        {"a frozen clock: beyond it", 0, {{64}, {64}, {73}, {82}, {82}}, "1101"},
        {"out and back by two counts", 25, {{64}, {64}, {66}, {64}, {64}}, "1111"},
        {"out and back by more, where the rate allows it", 25, {{64}, {64}, {68}, {64}, {64}},
         "1101"},
        {"out and back within a wavering channel's step, once its step is known", 25,
         {{64}, {70}, {64}, {70}, {64}, {70}, {64}, {70}, {64}, {70}, {64}, {70}, {64}, {70},
          {64}, {70}, {64}, {70}, {64}, {70}, {64}, {70}, {64}, {73}, {64}, {64}},
         "1010101111111111111111111"},
        {"one count is never a spike", 25, {{64}, {64}, {64, 71}, {64}, {64}}, "1111"},
        {"two counts of a slow gauge are", 25, {{64}, {64}, {64, 72}, {64}, {64}}, "1101"},
        {"a slow channel's step shows from its second frame, once a third agrees", 25,
         {{64}, {64}, {64, 90}, {64, 90}, {64, 90}, {64, 90}}, "11011"},
        {"two frames shifted alike in a slow channel", 25,
         {{64}, {64}, {64, 90}, {64, 90}, {64}, {64}}, "11001"},
        {"the rich/lean bit flips for a frame", 25, {{64}, {64}, {64, 70, 0x80}, {64}, {64}},
         "1111"},
        {"another switch state for one frame between two that agree", 25,
         {{64}, {64}, {64, 70, 0, 0, 0x40}, {64}, {64}}, "1101"},
        {"a switch state that stays", 25,
         {{64}, {64}, {64, 70, 0, 0, 3}, {64, 70, 0, 0, 3}, {64, 70, 0, 0, 3}}, "1111"},
    };
    // clang-format on
    const GaugeSetup setup = rpmWaterSwitch();
    ASSERT_EQ(setup.displayByteCount, 5);
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
            if (const auto out = filter.take(filterInput(f, setup, at))) got << out->bytes;
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
    for (const int rpm : {64, 64, 16640, 64, 70, -1, 72, 72, 72}) {
        if (rpm < 0)
            filter.reset(9600); // the frame held (70) is forgotten
        else if (const auto out = filterFrame(filter, frameOf({rpm}), rpmWaterSwitch(), trace,
                                            now += 25))
            got << out->bytes;
    }
    // The old stream's held frame never comes out, nor judges the new stream's first.
    EXPECT_EQ(got, (QList<QByteArray>{frameOf({64}), frameOf({64}), frameOf({64}), frameOf({72}),
                                      frameOf({72})}));
    trace.close();
    EXPECT_EQ(fileBytes(dir.filePath("trace")), "Nspikes dropped: 1\n");
}

// A stray byte and a lost byte leave a frame its length with the bytes between them one place
// out: put back, it reads as its neighbours. One byte changed alone is no shift.
TEST(LineShift, AStretchOnePlaceOutIsFoundAndOneChangedByteIsNot) {
    const GaugeSetup setup = rpmWaterSwitch();
    const QByteArray good = bytes({0xFF, 5, 0x01, 0x40, 70, 0x40, 0x10});
    const struct {
        const char* what;
        QByteArray held;
        bool shifted;
    } cases[] = {
        {"stray at the start, lost at the end", bytes({0xFF, 5, 0x27, 0x01, 0x40, 70, 0x10}), true},
        {"lost at the start, stray at the end", bytes({0xFF, 5, 0x40, 70, 0x40, 0x10, 0x10}), true},
        {"one byte changed", bytes({0xFF, 5, 0x01, 0x40, 90, 0x40, 0x10}), false},
        {"as its neighbours", good, false},
    };
    const FrameReadings g = readFrame(good, setup);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(shiftedByLine(good, g, c.held, readFrame(c.held, setup), good, g), c.shifted);
    }
}
