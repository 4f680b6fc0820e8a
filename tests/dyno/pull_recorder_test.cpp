// Record a Pull's start and end, sample by sample: a glitch of the throttle neither starts nor
// ends a recording.
#include "dyno/pull_recorder.h"

#include <gtest/gtest.h>
#include <vector>

using namespace kx;

TEST(PullRecorder, AGlitchNeitherStartsNorEndsAPull) {
    using Stage = PullRecorder::Stage;
    struct Step {
        float throttle, rpm;
        Stage after;
    };
    // One sample every 10 ms.
    const struct {
        const char* name;
        std::vector<Step> steps;
        size_t kept; // samples recorded at the end
    } cases[] = {
        {"one 4.0 V glitch in the cruise",
         {{1.0f, 2000, Stage::Waiting}, {4.0f, 2000, Stage::Waiting}, {1.0f, 2000, Stage::Waiting}},
         0},
        {"full throttle twice in a row starts it, both samples kept",
         {{1.0f, 2000, Stage::Waiting},
          {4.3f, 2000, Stage::Waiting},
          {4.3f, 2010, Stage::Recording},
          {4.3f, 2020, Stage::Recording}},
         3},
        {"one 5.1 V glitch inside the pull does not make 4.3 V a lift",
         [] {
             std::vector<Step> s{{4.3f, 2000, Stage::Waiting},
                                 {4.3f, 2010, Stage::Recording},
                                 {5.1f, 2020, Stage::Recording}};
             for (int i = 0; i < 50; ++i)
                 s.push_back({4.3f, float(2030 + 10 * i), Stage::Recording});
             return s;
         }(),
         53},
        {"a lift of 0.3 s ends it",
         [] {
             std::vector<Step> s{{4.3f, 2000, Stage::Waiting}, {4.3f, 2010, Stage::Recording}};
             for (int i = 0; i < 30; ++i)
                 s.push_back({1.0f, 2020, Stage::Recording});
             s.push_back({1.0f, 2020, Stage::Done});
             return s;
         }(),
         33},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PullRecorder r;
        r.arm();
        uint32_t at = 1000;
        for (const Step& s : c.steps) {
            r.take({at += 10, s.rpm, 0, s.throttle});
            EXPECT_EQ(r.stage(), s.after) << at;
        }
        EXPECT_EQ(r.samples().size(), c.kept);
    }
}
