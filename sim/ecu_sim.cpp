#include "ecu_sim.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <sstream>

namespace kxsim {

class EcuSimulator::Device : public SerialDevice {
public:
    Device(EcuConfig config, double timeScale, bool keepDataFrames)
        : ecu(std::move(config)), timeScale_(timeScale), keep_(keepDataFrames) {}

    void receive(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) override {
        ecu.receive(in, out);
    }
    std::vector<uint8_t> nextFrame() override {
        Bytes f = ecu.nextFrame();
        if (keep_ && !f.empty() && ecu.streamKind() == StreamKind::Data)
            made.push_back({std::chrono::steady_clock::now(), f});
        return f;
    }
    void advance(double seconds) override { ecu.advance(seconds * timeScale_); }
    void lineReset() override { ecu.lineReset(); }

    Ecu ecu;
    std::vector<MadeFrame> made;

private:
    double timeScale_;
    bool keep_;
};

EcuSimulator::EcuSimulator(SimOptions options) : options_(std::move(options)) {
    EcuConfig config;
    config.id = options_.id;
    config.obd2 = options_.obd2;
    config.partNumber = options_.partNumber;
    config.romCommand = options_.romCommand;
    config.faults = options_.faults;
    config.unsupported = options_.unsupported;
    config.seed = options_.seed;
    config.coolantStartC = options_.coolantStartC;
    config.launchDelay = options_.launchDelay;
    config.pullDelay = options_.pullDelay;
    config.fuelMap = options_.fuelMap;
    device_ =
        std::make_unique<Device>(std::move(config), options_.timeScale, options_.keepDataFrames);

    LinkOptions link;
    link.baud = options_.baud;
    link.linkPath = options_.linkPath;
    link.recordPath = options_.recordPath;
    link.latencyMs = options_.latencyMs;
    link.muteAfterSeconds = options_.ignitionOffAfter;
    link.garbageRate = options_.garbageRate;
    link.dropRate = options_.dropRate;
    link.cmdGarbageRate = options_.cmdGarbageRate;
    link.cmdDropRate = options_.cmdDropRate;
    link.silenceAfter = options_.silenceAfter;
    link.hangupAfter = options_.hangupAfter;
    link.reopenAfterMs = options_.reopenAfterMs;
    link.seed = options_.seed;
    link_ = std::make_unique<PtyLink>(std::move(link), *device_);
}

EcuSimulator::~EcuSimulator() {
    stop();
}

bool EcuSimulator::start(std::string* error) {
    return link_->start(error);
}

void EcuSimulator::stop() {
    link_->stop();
}

void EcuSimulator::setFaultCodes(std::vector<FaultCode> faults) {
    std::lock_guard lock(link_->mutex());
    device_->ecu.setFaults(std::move(faults));
}

std::vector<FaultCode> EcuSimulator::faultCodes() const {
    std::lock_guard lock(link_->mutex());
    return device_->ecu.faults();
}

std::optional<ActiveTest> EcuSimulator::activeTest() const {
    std::lock_guard lock(link_->mutex());
    return device_->ecu.activeTest();
}

bool EcuSimulator::streaming() const {
    std::lock_guard lock(link_->mutex());
    return device_->ecu.streaming();
}

StreamKind EcuSimulator::streamKind() const {
    std::lock_guard lock(link_->mutex());
    return device_->ecu.streamKind();
}

Bytes EcuSimulator::memory(uint16_t from, size_t count) const {
    std::lock_guard lock(link_->mutex());
    Bytes bytes;
    for (size_t i = 0; i < count; ++i)
        bytes.push_back(device_->ecu.memory().read(uint16_t(from + i)));
    return bytes;
}

double EcuSimulator::launchTime() const {
    std::lock_guard lock(link_->mutex());
    return device_->ecu.engine().launchTime();
}

double EcuSimulator::pullTime() const {
    std::lock_guard lock(link_->mutex());
    return device_->ecu.engine().pullTime();
}

std::vector<MadeFrame> EcuSimulator::dataFrames() const {
    std::lock_guard lock(link_->mutex());
    return device_->made;
}

EngineState EcuSimulator::engineState() const {
    std::lock_guard lock(link_->mutex());
    return device_->ecu.engine().state();
}

// ---- command line ----

namespace {

bool parseNumber(const std::string& text, int base, long min, long max, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, base);
    if (*end != '\0' || v < min || v > max) return false;
    value = v;
    return true;
}

bool parseReal(const std::string& text, double min, double max, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !(v >= min && v <= max)) return false;
    value = v;
    return true;
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (!item.empty()) items.push_back(item);
    }
    return items;
}

bool parseFaults(const std::string& text, std::vector<FaultCode>& faults) {
    faults.clear();
    if (text == "none") return true;
    for (const std::string& item : splitList(text)) {
        const auto colon = item.find(':');
        long code = 0;
        long starts = 0;
        if (colon == std::string::npos || !parseNumber(item.substr(0, colon), 16, 0, 255, code) ||
            !parseNumber(item.substr(colon + 1), 10, 0, 255, starts)) {
            return false;
        }
        faults.push_back({uint8_t(code), uint8_t(starts)});
    }
    return true;
}

bool parseRegisters(const std::string& text, std::bitset<256>& set) {
    set.reset();
    if (text == "none") return true;
    for (const std::string& item : splitList(text)) {
        long r = 0;
        if (!parseNumber(item, 16, 0, 255, r)) return false;
        set.set(size_t(r));
    }
    return true;
}

} // namespace

std::string usage() {
    return "usage: kestrix-sim [options]\n"
           "  --baud N             line speed (9600); bytes are paced at 10 bits each\n"
           "  --id HH              ECU id byte in hexadecimal (EF)\n"
           "  --obd2               identify with the 32-byte frame of the later generation\n"
           "  --part-number TEXT   five characters shown as the ECU part number (1U800)\n"
           "  --faults LIST        stored faults code:starts, code as its two digits\n"
           "                       (13:2,43:5); 'none' for no stored fault\n"
           "  --unsupported LIST   hexadecimal registers that get no answer (default: all\n"
           "                       outside the live-data catalogue); 'none' for none\n"
           "  --rom-command HH     memory read command byte (C9)\n"
           "  --latency-ms MS      hold what is sent and hand it on every MS ms, or at 62\n"
           "                       bytes, as a USB adapter's latency timer does (0)\n"
           "  --ignition-off-after S  after S seconds the ECU sends nothing and obeys\n"
           "                       nothing; the port stays open\n"
           "  --garbage-rate P     probability per sent byte of a random byte before it\n"
           "  --drop-rate P        probability per sent byte of losing it\n"
           "  --cmd-garbage-rate P probability per byte from the PC of a random byte before it\n"
           "  --cmd-drop-rate P    probability per byte from the PC of losing it\n"
           "  --silence-after N    send nothing after N frames\n"
           "  --hangup-after N     hang the line up after N frames (once)\n"
           "  --reopen-after MS    new pseudo-terminal MS after a hang-up (1000; -1 never)\n"
           "  --record FILE        write both directions, time-stamped, one line a chunk\n"
           "  --link PATH          keep a symlink to the device at PATH\n"
           "  --seed N             seed of the engine noise and line faults (1)\n"
           "  --time-scale X       engine time runs X times faster than real time (1)\n"
           "  --coolant-start C    coolant temperature at start, Celsius (20)\n"
           "  --launch S           S seconds after each live-data stream starts, the car\n"
           "                       moves off: 0-100 km/h in 8.0 s by the speedometer (2 km/h\n"
           "                       at once, then 12.25 km/h a second), 140 km/h at 14 s;\n"
           "                       engine speed 1000 rpm + 40 rpm per km/h\n"
           "  --pull-at S          a dyno pull S seconds after each live-data stream starts:\n"
           "                       cruising in third gear (19 km/h per 1000 rpm) at 2000 rpm,\n"
           "                       full throttle up to 6800 rpm, then a lift; 1400 kg, CdA\n"
           "                       0.65 m2, rolling coefficient 0.015, air 1.2 kg/m3, no\n"
           "                       drivetrain loss; torque 300 Nm at 4500 rpm, a parabola\n"
           "                       down to 240 Nm at 2000 and 7000 rpm\n";
}

std::optional<SimOptions> parseOptions(const std::vector<std::string>& args, std::string& error) {
    SimOptions o;
    error.clear();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") return std::nullopt;
        if (name == "--obd2") {
            o.obd2 = true;
            continue;
        }
        static const char* const withValue[] = {"--baud",
                                                "--id",
                                                "--part-number",
                                                "--faults",
                                                "--unsupported",
                                                "--rom-command",
                                                "--garbage-rate",
                                                "--drop-rate",
                                                "--cmd-garbage-rate",
                                                "--cmd-drop-rate",
                                                "--silence-after",
                                                "--hangup-after",
                                                "--reopen-after",
                                                "--record",
                                                "--link",
                                                "--seed",
                                                "--time-scale",
                                                "--coolant-start",
                                                "--launch",
                                                "--pull-at",
                                                "--latency-ms",
                                                "--ignition-off-after"};
        if (std::find(std::begin(withValue), std::end(withValue), name) == std::end(withValue)) {
            error = "unknown option " + name;
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = name + " needs a value";
            return std::nullopt;
        }
        const std::string& v = args[++i];
        long n = 0;
        bool ok = true;
        if (name == "--baud") {
            ok = parseNumber(v, 10, 50, 4000000, n);
            o.baud = int(n);
        } else if (name == "--id") {
            ok = parseNumber(v, 16, 0, 255, n);
            o.id = uint8_t(n);
        } else if (name == "--part-number") {
            o.partNumber = v;
        } else if (name == "--faults") {
            ok = parseFaults(v, o.faults);
        } else if (name == "--unsupported") {
            ok = parseRegisters(v, o.unsupported);
        } else if (name == "--rom-command") {
            ok = parseNumber(v, 16, 0, 255, n);
            o.romCommand = uint8_t(n);
        } else if (name == "--garbage-rate") {
            ok = parseReal(v, 0, 1, o.garbageRate);
        } else if (name == "--drop-rate") {
            ok = parseReal(v, 0, 1, o.dropRate);
        } else if (name == "--cmd-garbage-rate") {
            ok = parseReal(v, 0, 1, o.cmdGarbageRate);
        } else if (name == "--cmd-drop-rate") {
            ok = parseReal(v, 0, 1, o.cmdDropRate);
        } else if (name == "--silence-after") {
            ok = parseNumber(v, 10, -1, 1L << 30, o.silenceAfter);
        } else if (name == "--hangup-after") {
            ok = parseNumber(v, 10, -1, 1L << 30, o.hangupAfter);
        } else if (name == "--reopen-after") {
            ok = parseNumber(v, 10, -1, 3600000, n);
            o.reopenAfterMs = int(n);
        } else if (name == "--record") {
            o.recordPath = v;
        } else if (name == "--link") {
            o.linkPath = v;
        } else if (name == "--seed") {
            ok = parseNumber(v, 10, 0, 0x7FFFFFFF, n);
            o.seed = uint64_t(n);
        } else if (name == "--time-scale") {
            ok = parseReal(v, 0.001, 1000, o.timeScale);
        } else if (name == "--coolant-start") {
            ok = parseReal(v, -40, 150, o.coolantStartC);
        } else if (name == "--latency-ms") {
            ok = parseNumber(v, 10, 0, 10000, n);
            o.latencyMs = int(n);
        } else if (name == "--ignition-off-after") {
            ok = parseReal(v, 0, 1e6, o.ignitionOffAfter);
        } else if (name == "--launch") {
            ok = parseReal(v, 0, 3600, o.launchDelay);
        } else if (name == "--pull-at") {
            ok = parseReal(v, 0, 3600, o.pullDelay);
        }
        if (!ok) {
            error = "bad value for " + name + ": " + v;
            return std::nullopt;
        }
    }
    return o;
}

} // namespace kxsim
