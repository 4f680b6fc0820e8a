#pragma once
// A simulated wideband oxygen-sensor controller: it answers the text-command handshake with
// ">"-prefixed replies, then streams 28-byte measurement frames about twelve times a second.
// The air/fuel ratio follows the engine (lean on a closed throttle, rich under load) and the
// status bytes go from a cold sensor to normal as it warms up.
#include "engine_model.h"
#include "pty_link.h"
#include "rng.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kxsim {

struct WbOptions {
    std::string linkPath; // the controller runs only when this is set
    int baud = 19200;
    std::string version = "0120"; // four characters of the version reply
    bool incompatible = false;    // the check reply does not confirm
    bool silent = false;          // no reply to anything
    long hangupAfter = -1;        // frames; then the line is hung up (once)
    long silenceAfter = -1;       // frames; then it falls silent, the port staying open
    int latencyMs = 0;            // the adapter's latency timer (see LinkOptions)
    double garbageRate = 0;
    double dropRate = 0;
    int reopenAfterMs = 1000;
    double warmupSeconds = 15; // cold sensor status until then
    double framesPerSecond = 12;
    std::string recordPath;
    uint64_t seed = 1;
    // --fuel-error PCT: the engine burns Kestrix's target ratio off by a planted error per map
    // cell (PlantedMixture); negative: the plain ratio model.
    double fuelErrorPct = -1;
    // --fuel-map FILE: the fuel map the engine runs on, in place of the ECU's own; its fuel
    // goes with each cell's value against the own map's (MemoryImage::fuelCell).
    std::optional<std::array<uint8_t, 256>> fuelMap;
};

// A fuel map file as Kestrix writes it (Save Map, Save Suggested Map, kestrix-cli correct) on
// the simulated scales, cells 1 to 255; nothing, with `error` set, otherwise.
std::optional<std::array<uint8_t, 256>> readFuelMapFile(const std::string& path,
                                                        std::string& error);

// Parses the "--wb-..." options (the others are left in `rest`). Nothing, with `error` set,
// on a bad one.
std::optional<WbOptions> parseWbOptions(const std::vector<std::string>& args,
                                        std::vector<std::string>& rest, std::string& error);
std::string wbUsage();

// Status bytes: the sensor's code in the low five bits, 32 when its regulation runs.
inline constexpr uint8_t kSensorCold = 2;
inline constexpr uint8_t kSensorNormal = 32 + 3;
inline constexpr uint8_t kHeaterWarming = 32 + 0;
inline constexpr uint8_t kHeaterNormal = 0;

// The air/fuel ratio an engine in this state burns.
double engineAfr(const EngineState& s);
// The controller's raw output for an air/fuel ratio (the inverse of the program's formula).
uint16_t rawFromAfr(double afr);
std::vector<uint8_t> measurementFrame(uint16_t raw, uint8_t sensor, uint8_t heater);

// The planted error of map cell (row, column), both counted from 0 on the simulated maps'
// scales: PCT % x cos(pi row / 8) x cos(pi column / 8), so from +PCT % in the corners of the
// first row to -PCT % in the middle of the table, with neighbours close to each other.
double plantedFuelError(double pct, int row, int column);
// The map cell (row, column) that engine speed and throttle fall in, as the program finds it
// from the ECU's bytes and the simulated scales.
std::pair<int, int> simulatedCell(const EngineState& s);
// The ratio of an engine whose fuel map is off by the planted error: Kestrix's target of the
// cell x (1 + error). Besides, as a real engine does: 10 % rich below 68 C (warm-up
// enrichment), 15 % rich for 0.3 s after the throttle opened by more than 0.15 of its travel
// within 0.1 s (acceleration enrichment), 22.0 on a closed throttle above 1600 rpm (fuel cut)
// and 25.0 with the engine stopped (free air).
class PlantedMixture {
public:
    // `fuelMap`: the map the engine runs on; the ratio goes with own value / its value.
    explicit PlantedMixture(double pct,
                            std::optional<std::array<uint8_t, 256>> fuelMap = std::nullopt)
        : pct_(pct), fuelMap_(fuelMap) {}
    // The ratio now, `time` seconds into the run (called in time order).
    double afr(const EngineState& s, double time);

private:
    double pct_;
    std::optional<std::array<uint8_t, 256>> fuelMap_;
    std::optional<double> enrichUntil_;
    std::vector<std::pair<double, double>> throttle_; // the last 0.1 s: time, throttle
};

class WidebandController : public SerialDevice {
public:
    using EngineSource = std::function<EngineState()>;
    WidebandController(WbOptions options, EngineSource engine);

    void receive(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) override;
    std::vector<uint8_t> nextFrame() override;
    void advance(double seconds) override;
    void lineReset() override;

    bool streaming() const { return streaming_; }
    // The raw values of the frames sent, the latest last (at most the last 1000).
    const std::vector<uint16_t>& sentRaws() const { return sentRaws_; }
    std::vector<std::string> commands() const { return commands_; }

private:
    std::string reply(const std::string& command);

    WbOptions options_;
    EngineSource engine_;
    Rng rng_;
    std::string line_;
    std::vector<std::string> commands_;
    bool streaming_ = false;
    double time_ = 0; // since power-up
    double sinceFrame_ = 0;
    std::vector<uint16_t> sentRaws_;
    std::optional<PlantedMixture> planted_;
};

// The controller on a pseudo-terminal of its own.
class WidebandSimulator {
public:
    WidebandSimulator(WbOptions options, WidebandController::EngineSource engine);
    ~WidebandSimulator();
    bool start(std::string* error = nullptr);
    void stop();
    std::string devicePath() const { return link_->devicePath(); }
    LinkCounters counters() const { return link_->counters(); }
    std::vector<uint8_t> receivedBytes() const { return link_->received(); }
    bool streaming() const;
    std::vector<uint16_t> sentRaws() const;
    // Silent: it sends nothing and obeys nothing; back on, it waits for a handshake again.
    void setSilent(bool silent) { link_->setMuted(silent); }

private:
    std::unique_ptr<WidebandController> device_;
    std::unique_ptr<PtyLink> link_;
};

} // namespace kxsim
