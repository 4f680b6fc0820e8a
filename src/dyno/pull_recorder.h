#pragma once
// Record a pull: waits for the throttle to open fully (two samples in a row), keeps every sample
// until it closes or engine speed stops rising, and saves them as a data log of their own
// columns.
#include "live/live_data.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace kx {

class PullRecorder {
public:
    enum class Stage { Idle, Waiting, Recording, Done };
    // One decoded frame: its arrival tick, and the values in the user's units.
    struct Sample {
        uint32_t at = 0;
        float rpm = 0;
        float speed = 0; // km/h or mph, as the user's units say
        float throttle = 0;
        std::optional<WbSample> wb; // the wideband's, where one is set up
    };
    // A lift shorter than this does not end the recording; neither does a flat spot shorter
    // than kFlatMs in engine speed.
    static constexpr uint32_t kLiftMs = 300;
    static constexpr uint32_t kFlatMs = 1000;

    // Waiting for full throttle; what was recorded before is dropped.
    void arm();
    // The next sample; true when the stage changed.
    bool take(const Sample& s);
    // The stream fell silent or the link went away: the recording goes on when frames come
    // back, and the gap shows in the time stamps, never bridged.
    void markGap();
    // Ends the recording now (the user stopped it, or the link is gone for good).
    void finish();
    Stage stage() const { return stage_; }
    bool gapSeen() const { return gapSeen_; }
    const std::vector<Sample>& samples() const { return samples_; }

private:
    Stage stage_ = Stage::Idle;
    std::vector<Sample> samples_;
    float topThrottle_ = 0, topRpm_ = 0;
    uint32_t topRpmAt_ = 0;
    std::optional<uint32_t> liftedAt_;
    std::optional<Sample> opening_; // while waiting: the last sample, when at full throttle
    bool gapSeen_ = false;
};

// Saves `samples` into a new log `path` (never an existing file) with the data logger's
// writer: Time, RPM, Speed and Throttle named in the user's units, and the wideband's ratio,
// state and frame time where the samples carry them. The error text if it failed.
std::optional<QString> savePullLog(const QString& path, const std::vector<PullRecorder::Sample>& s,
                                   const Units& units);

} // namespace kx
