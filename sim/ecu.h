#pragma once
// The simulated ECU's protocol state machine over the engine model and the memory image.
// Bytes from the PC go in through receive(); immediate replies (acknowledgements) come back
// in `out`; while a stream runs, nextFrame() gives the frame to send next. No I/O, no threads,
// no clock: the caller moves time on with advance().
#include "engine_model.h"
#include "memory_image.h"

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kxsim {

using Bytes = std::vector<uint8_t>;

struct FaultCode {
    uint8_t code = 0;   // two decimal digits read as hexadecimal: 0x21 is code 21
    uint8_t starts = 0; // engine starts recorded with the fault
    bool operator==(const FaultCode&) const = default;
};

struct EcuConfig {
    uint8_t id = 0xEF;
    bool obd2 = false;
    std::string partNumber = "1U800";
    uint8_t romCommand = 0xC9;
    std::vector<FaultCode> faults;
    std::bitset<256> unsupported = defaultUnsupported();
    uint64_t seed = 1;
    double coolantStartC = 20;
    // Seconds from each register stream start to the launch; negative: no launch.
    double launchDelay = -1;
    // Seconds from each register stream start to the dyno pull; negative: no pull.
    double pullDelay = -1;
    // The fuel map flashed into the ECU (--fuel-map), in place of its own.
    std::optional<std::array<uint8_t, 256>> fuelMap;

    // Registers outside the live-data catalogue.
    static std::bitset<256> defaultUnsupported();
};

enum class StreamKind { None, Identification, Diagnostics, Data };

// Command bytes the ECU understands.
enum Command : uint8_t {
    kCmdInit = 0xFF,
    kCmdIdentify = 0xD0,
    kCmdDiagnostics = 0xD1,
    kCmdEraseFaults = 0xC1,
    kCmdRegister = 0x5A,
    kCmdActiveTest = 0x0A,
    kCmdStart = 0xF0,
    kCmdStop = 0x30,
};

class Ecu {
public:
    explicit Ecu(EcuConfig config = {});

    void receive(uint8_t byte, Bytes& out);
    void receive(const Bytes& bytes, Bytes& out);
    // The next frame of the running stream; empty when no stream runs.
    Bytes nextFrame();
    // The line went down: drop any half-received command and the stream.
    void lineReset();
    // Moves the engine on by `seconds` of simulated time.
    void advance(double seconds) { engine_.advance(seconds); }

    bool streaming() const { return streaming_; }
    bool awake() const { return awake_; }
    StreamKind streamKind() const { return running_.kind; }
    const std::optional<ActiveTest>& activeTest() const { return engine_.activeTest(); }
    const std::vector<FaultCode>& faults() const { return config_.faults; }
    void setFaults(std::vector<FaultCode> faults) { config_.faults = std::move(faults); }
    const EcuConfig& config() const { return config_; }

    EngineModel& engine() { return engine_; }
    const EngineModel& engine() const { return engine_; }
    MemoryImage& memory() { return memory_; }
    const MemoryImage& memory() const { return memory_; }

private:
    struct Entry {
        bool memory; // memory read, else register read
        uint16_t where;
    };
    struct Request {
        StreamKind kind = StreamKind::None;
        std::vector<Entry> entries;
    };
    enum class Wait { Command, Init1, Init2, Operands };

    void command(uint8_t byte, Bytes& out);
    void operandsDone();
    void openRequest(StreamKind kind);
    void startStream(Bytes& out);
    Bytes identificationFrame() const;
    Bytes diagnosticsFrame() const;
    Bytes dataFrame();

    EcuConfig config_;
    EngineModel engine_;
    MemoryImage memory_;
    Wait wait_ = Wait::Command;
    uint8_t pendingCommand_ = 0;
    Bytes operands_;
    size_t operandsNeeded_ = 0;
    Request staged_;          // built by the requests since the last stream start
    bool stagedOpen_ = false; // a request byte came since the last stream start
    Request running_;         // what the stream sends
    bool streaming_ = false;
    bool awake_ = true; // until an initialisation addresses another id
    bool testSinceStart_ = false;
};

} // namespace kxsim
