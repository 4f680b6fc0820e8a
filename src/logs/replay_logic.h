#pragma once
// The arithmetic of the data replay: the position slider's scale, the play step, what a record
// shows on the dials and indicators, and where the replay's own controls go.
#include "live/display_layout.h"
#include "live/gauge_setup.h"
#include "logs/log_reader.h"

#include <QString>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace kx {

// The position slider never goes past this many steps.
inline constexpr int kReplaySliderSteps = 32765;

// S = N / 32765 + 1: the records one slider step stands for.
int64_t replaySliderScale(int64_t records);
// N / S: the slider's maximum for a log of N records.
int replaySliderMaximum(int64_t records);
// The record a slider value shows (value × S) and the slider value of a record (record / S).
int64_t replayRecordAt(int sliderValue, int64_t scale);
int replaySliderValue(int64_t record, int64_t scale);

// One pass of the playback loop at `current` (records numbered 1 to N): whether it runs (not
// at N), the record it moves on to and the slider value that goes with it.
struct ReplayStep {
    bool runs = false;
    int64_t next = 0;
    int slider = 0;
};
ReplayStep replayStep(int64_t current, int64_t records, int64_t scale);

// ---- playing by the clock

// The speeds a timed replay offers, as multiples of the logged pace; 1x is the default.
inline constexpr std::array<double, 4> kReplaySpeeds = {0.25, 1, 2, 4};
inline constexpr int kReplayDefaultSpeed = 1; // index into kReplaySpeeds
// "¼×", "1×", "2×", "4×".
QString replaySpeedText(double speed);

// Seconds of each record from the log's first, when its time column can pace a replay: every
// record's time stamp reads as a number, and the last comes later than the first. Empty
// otherwise (the replay then steps at the chosen delay). A stamp that goes back keeps the time
// of the record before it.
std::vector<double> replayTimes(const LogData& data);

// A replay by the clock: record r (1 to N) is due once `speed` times the ticks since the start
// have covered its time from the start record's. Each step shows the last record due, so a late
// timer skips records rather than stretching the replay.
class ReplayClock {
public:
    ReplayClock() = default;
    explicit ReplayClock(std::vector<double> times) : times_(std::move(times)) {}
    bool timed() const { return times_.size() >= 2; }
    // Seconds of each record from the first; empty when the log has no usable times.
    const std::vector<double>& times() const { return times_; }
    // Seconds of record r from the first.
    double secondsOf(int64_t record) const;
    // Plays on from `record` at tick `now`.
    void start(int64_t record, uint32_t now, double speed);
    // The last record due at `now` (never before the start record).
    int64_t recordAt(uint32_t now) const;
    // Milliseconds from `now` until the record after `record` is due; 0 when it is.
    uint32_t msUntilNext(int64_t record, uint32_t now) const;

private:
    std::vector<double> times_;
    int64_t from_ = 1;
    uint32_t startTick_ = 0;
    double speed_ = 1;
};

// What showing a record does, in column order: a dial slot gets a value, an indicator a state.
struct ReplayUpdate {
    enum class Kind { Gauge, Indicator } kind = Kind::Gauge;
    int target = 0; // display slot 0-11, or indicator number 0-11
    float value = 0;
    QString state;
};
// The updates of record `record` (1 to N). The fields come by column code, so two columns of
// one name both show the later column's field. A gauge field that is not a number a single can
// hold ends the list there: the updates before it still apply. A state is shortened to what a
// read-out can show (logDisplayText).
std::vector<ReplayUpdate> replayUpdates(const LogData& data, int64_t record);

// The unit-dependent names of a log set their gauges' names and scales in the catalogue.
void applyLogCatalogueChanges(std::array<GaugeInfo, kGaugeCount>& catalogue,
                              const std::vector<LogCatalogueChange>& changes);

// The replay window's layout in twips: the data display's dials and indicators, then the two
// slider frames, the three buttons and the record's time in the bottom right corner.
struct ReplayLayout {
    DisplayLayout display;
    TwipRect fraPosition, fraSpeed;
    TwipRect slider; // inside either frame
    int frameFont = 0;
    TwipRect btnPlay, btnStop, btnBrowse;
    int buttonFont = 0;
    TwipRect lblTime; // the shown record's time, below the buttons, ending under them
};
ReplayLayout replayLayout(int widthTwips, int heightTwips);

} // namespace kx
