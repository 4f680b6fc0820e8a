// The pacing of announcements: at once, then at most one per interval, the held one last.
#include "gauges/announce_gate.h"

#include <gtest/gtest.h>

using namespace kx;

TEST(AnnounceGate, OneAtOnceThenOnePerIntervalWithTheHeldChangeLast) {
    const struct {
        uint32_t now;
        bool release; // the held change's time came (instead of a new change)
        bool announced;
        bool held;
        uint32_t heldFor;
    } steps[] = {
        {1000, false, true, false, 0},   // first change: at once
        {1100, false, false, true, 150}, // too soon: held
        {1200, false, false, true, 50},
        {1250, true, false, false, 0}, // the held change is announced now
        {1300, false, false, true, 200},
        {1550, true, false, false, 0},
        {1900, false, true, false, 0},          // an interval later: at once again
        {0xFFFFFFF0u, false, true, false, 0},   // across the wrap of the tick counter:
        {0x00000010u, false, false, true, 218}, // 32 ms later
    };
    AnnounceGate gate(250);
    for (const auto& s : steps) {
        if (s.release) {
            ASSERT_TRUE(gate.held()) << s.now;
            gate.release(s.now);
        } else {
            EXPECT_EQ(gate.change(s.now), s.announced) << s.now;
        }
        EXPECT_EQ(gate.held(), s.held) << s.now;
        if (s.held) {
            EXPECT_EQ(gate.heldFor(s.now), s.heldFor) << s.now;
        }
    }
}
