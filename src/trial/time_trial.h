#pragma once
// The acceleration time trial: the one-register speed stream, its layout for the stream tap,
// and the five trials timed from the speeds it delivers.
#include "link/link_sequence.h"
#include "live/live_data.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace kx {

inline constexpr uint8_t kSpeedRegister = 0x0B;
// 2 × 1 + 4: a delivery of two frames.
inline constexpr int kSpeedThreshold = 6;

// 0x5A 0x0B.
QByteArray speedRequest();
// The arming of the speed stream: the request, 10 ms, discard, the threshold of 6.
LinkSequence iniSpeed();
// The speed stream's frame as the stream tap reads it: the speed register alone.
GaugeSetup speedLayout();
// The road speed of a frame read in that layout, converted; nothing when the frame held none.
std::optional<float> trialSpeed(const FrameReadings& readings, const Units& units);

// A custom speed: one to three decimal digits.
std::optional<int> customSpeed(const QString& text);

inline constexpr int kTrialCount = 5;

class TimeTrial {
public:
    // Which trials run, and the custom speeds (used only when their trial is ticked).
    void activate(const std::array<bool, kTrialCount>& ticked, float trialSpeed, float bandStart,
                  float bandStop);
    bool active() const { return active_; }

    struct Sample {
        std::array<bool, kTrialCount> done{}; // trials whose result this sample gave
        bool finish = false; // no trial was ticked any more: the trial ends (Cancel)
    };
    // One speed sample at tick count `now` (milliseconds); nothing while not active.
    Sample checkSpeed(float speed, uint32_t now);
    // Ends the trial: every time stamp cleared, boxes 0 to 3 unticked (box 4 keeps its state).
    void cancel();

    const std::array<bool, kTrialCount>& ticked() const { return ticked_; }
    // Seconds to 2 decimals of a finished trial: the whole milliseconds rounded to hundredths
    // half to even in integers (545 ms is 0.54), as the nearest single.
    float result(int trial) const;
    // The tick count of each moment, nothing while not taken: a reading of 0 is a real one.
    using Stamps = std::array<std::optional<uint32_t>, 8>;
    const Stamps& trialTimes() const { return trialTimes_; }

private:
    // Stamps `slot` with `now` once the speed has reached `threshold`.
    bool stamp(int slot, float speed, float threshold, uint32_t now);
    int64_t hundredths(int from, int to) const;

    bool active_ = false;
    std::array<bool, kTrialCount> ticked_{};
    Stamps trialTimes_{};
    std::array<int64_t, kTrialCount> results_{}; // hundredths of a second
    float trialSpeed_ = 0, bandStart_ = 0, bandStop_ = 0;
};

} // namespace kx
