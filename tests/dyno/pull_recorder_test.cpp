// Record a Pull's start and end, sample by sample (one every 10 ms, RPM rising): a glitch of the
// throttle neither starts nor ends a recording.
#include "dyno/pull_recorder.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace kx;

TEST(PullRecorder, AGlitchNeitherStartsNorEndsAPull) {
    using Stage = PullRecorder::Stage;
    const struct {
        const char* name;
        std::vector<float> throttle;
        Stage stage;
        size_t kept;
    } cases[] = {
        {"one 4.0 V glitch in the cruise", {1.0f, 4.0f, 1.0f, 1.0f}, Stage::Waiting, 0},
        {"full throttle twice in a row starts it", {1.0f, 4.3f, 4.3f, 4.3f}, Stage::Recording, 3},
        {"one 5.1 V glitch inside is no lift of the 4.3 V after it",
         [] {
             std::vector<float> t{4.3f, 4.3f, 5.1f};
             t.resize(60, 4.3f);
             return t;
         }(),
         Stage::Recording, 60},
        {"a lift of 0.3 s ends it",
         [] {
             std::vector<float> t{4.3f, 4.3f};
             t.resize(33, 1.0f);
             return t;
         }(),
         Stage::Done, 33},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PullRecorder r;
        r.arm();
        for (size_t i = 0; i < c.throttle.size(); ++i)
            r.take({uint32_t(1000 + 10 * i), float(2000 + 10 * i), 0, c.throttle[i], {}});
        EXPECT_EQ(r.stage(), c.stage);
        EXPECT_EQ(r.samples().size(), c.kept);
    }
}
