#pragma once
// kestrix-sim as a library: a simulated ECU on a pseudo-terminal, run on its own thread, so
// a test can start it in-process and point Kestrix at devicePath().
#include "ecu.h"
#include "pty_link.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kxsim {

struct SimOptions {
    int baud = 9600;
    uint8_t id = 0xEF;
    bool obd2 = false;
    std::string partNumber = "1U800";
    std::vector<FaultCode> faults = {{0x13, 2}, {0x43, 5}};
    std::bitset<256> unsupported = EcuConfig::defaultUnsupported();
    uint8_t romCommand = 0xC9;
    int latencyMs = 0;
    double ignitionOffAfter = -1;
    double garbageRate = 0;
    double dropRate = 0;
    double cmdGarbageRate = 0; // the same faults on the bytes from the PC
    double cmdDropRate = 0;
    long silenceAfter = -1;
    long hangupAfter = -1;
    int reopenAfterMs = 1000;
    std::string recordPath;
    std::string linkPath;
    uint64_t seed = 1;
    double timeScale = 1;
    double coolantStartC = 20;
    double launchDelay = -1;
    double pullDelay = -1;
    // --fuel-map: the fuel map the ECU holds and the engine runs on (parsed with the wideband's
    // options, since the mixture is the controller's to measure).
    std::optional<std::array<uint8_t, 256>> fuelMap;
    // Keep every live-data frame as the ECU made it, before the line's faults (dataFrames()).
    bool keepDataFrames = false;
};

// A live-data frame as the ECU made it, and when, just before its first byte went out.
struct MadeFrame {
    std::chrono::steady_clock::time_point at;
    Bytes bytes;
};

// Parses the command line (argv[0] skipped). On a bad option returns nothing and sets
// `error`; "--help" returns nothing with an empty error.
std::optional<SimOptions> parseOptions(const std::vector<std::string>& args, std::string& error);
std::string usage();

class EcuSimulator {
public:
    explicit EcuSimulator(SimOptions options = {});
    ~EcuSimulator();
    EcuSimulator(const EcuSimulator&) = delete;
    EcuSimulator& operator=(const EcuSimulator&) = delete;

    bool start(std::string* error = nullptr);
    void stop();
    bool running() const { return link_->running(); }
    std::string devicePath() const { return link_->devicePath(); }

    // Thread-safe views of the running simulator.
    LinkCounters counters() const { return link_->counters(); }
    uint64_t framesSent() const { return counters().framesSent; }
    uint64_t bytesReceived() const { return counters().bytesReceived; }
    std::vector<uint8_t> receivedBytes() const { return link_->received(); }
    std::vector<double> frameTimes() const { return link_->frameTimes(); }
    void clearReceived() { link_->clearReceived(); }
    // Ignition off: the ECU sends nothing and obeys nothing, the port staying open; on again,
    // it starts afresh.
    void setIgnition(bool on) { link_->setMuted(!on); }
    // The PC's byte `skip` bytes on from now is lost on the way (0: the next).
    void loseCommandByte(int skip) { link_->loseCommandByte(skip); }
    void setFaultCodes(std::vector<FaultCode> faults);
    std::vector<FaultCode> faultCodes() const;
    std::optional<ActiveTest> activeTest() const;
    bool streaming() const;
    StreamKind streamKind() const;
    EngineState engineState() const;
    // Seconds since the launch moved off (negative before; see EngineModel::startLaunch).
    double launchTime() const;
    // Seconds since the dyno pull's throttle opened (see EngineModel::startPull).
    double pullTime() const;
    // ECU memory as a memory read would see it now (addresses wrap at 0xFFFF).
    Bytes memory(uint16_t from, size_t count) const;
    // With keepDataFrames, every live-data frame made so far: what the ECU sent, whatever the
    // line did to it.
    std::vector<MadeFrame> dataFrames() const;

private:
    class Device;
    SimOptions options_;
    std::unique_ptr<Device> device_;
    std::unique_ptr<PtyLink> link_;
};

} // namespace kxsim
