#include "wideband.h"

#include "memory_image.h"
#include "tools/fuel_target.h"
#include "tools/map_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace kxsim {

double engineAfr(const EngineState& s) {
    if (s.rpm < 300) return 20.0; // not running: free air reads lean
    // A closed throttle above idle is overrun: fuel cut, very lean.
    if (s.throttle < 0.03) return s.rpm > 1600 ? 17.5 : 15.2;
    // Enrichment with load: stoichiometric at light throttle, about 12.2 at full.
    return 14.7 - 2.5 * std::clamp((s.throttle - 0.1) / 0.9, 0.0, 1.0);
}

uint16_t rawFromAfr(double afr) {
    const double raw = (afr - 9) / 2.44118 * 1000;
    return uint16_t(std::clamp(std::lround(raw), 0L, 32767L));
}

double plantedFuelError(double pct, int row, int column) {
    constexpr double kPi = 3.14159265358979323846;
    return pct / 100.0 * std::cos(kPi * row / 8.0) * std::cos(kPi * column / 8.0);
}

std::pair<int, int> simulatedCell(const EngineState& s) {
    // The bytes the ECU sends, read back as the program reads them.
    const double rpm = double(std::clamp(std::lround(s.rpm / 12.5), 0L, 0x7FFFL)) * 12.5;
    const long tp = std::clamp(std::lround((0.45 + 3.85 * s.throttle) / 0.02), 0L, 255L);
    int row = 0, column = 0;
    while (row < 15 && MemoryImage::rpmScale(row) * 50 < rpm)
        ++row;
    while (column < 15 && MemoryImage::tpScale(column) < tp)
        ++column;
    return {row, column};
}

double PlantedMixture::afr(const EngineState& s, double time) {
    if (s.rpm < 300) return 25.0;
    if (s.throttle < 0.03 && s.rpm > 1600) return 22.0;
    std::erase_if(throttle_, [&](const auto& t) { return time - t.first > 0.1; });
    throttle_.emplace_back(time, s.throttle);
    double lowest = s.throttle;
    for (const auto& t : throttle_)
        lowest = std::min(lowest, t.second);
    if (s.throttle - lowest > 0.15) enrichUntil_ = time + 0.3;
    const auto [row, column] = simulatedCell(s);
    double afr =
        kx::defaultTargetHundredths(MemoryImage::rpmScale(row) * 50, MemoryImage::tpScale(column)) /
        100.0 * (1.0 + plantedFuelError(pct_, row, column));
    // Fuel in proportion to the cell's value: more fuel for the same air, a lower ratio.
    if (fuelMap_)
        afr *= double(MemoryImage::fuelCell(row, column)) / (*fuelMap_)[size_t(16 * row + column)];
    if (s.coolantC < 68) afr *= 0.9;
    if (enrichUntil_ && time <= *enrichUntil_) afr *= 0.85;
    return afr;
}

std::optional<std::array<uint8_t, 256>> readFuelMapFile(const std::string& path,
                                                        std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    if (in) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        error = "cannot read the fuel map " + path;
        return std::nullopt;
    }
    const kx::GridTextRead read = kx::parseGridText(text.substr(0, 64 * 1024), 1, 255);
    if (!read.grid) {
        error = "fuel map " + path + ": " + read.error;
        return std::nullopt;
    }
    for (int i = 0; i < 16; ++i) {
        if (read.grid->rpm[size_t(i)] != 50 * MemoryImage::rpmScale(i) ||
            read.grid->tp[size_t(i)] != MemoryImage::tpScale(i)) {
            error = "fuel map " + path + ": its headers are not the simulated ECU's scales";
            return std::nullopt;
        }
    }
    std::array<uint8_t, 256> values{};
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = uint8_t(read.grid->values[i]);
    return values;
}

std::vector<uint8_t> measurementFrame(uint16_t raw, uint8_t sensor, uint8_t heater) {
    std::vector<uint8_t> f(28, 0);
    f[0] = 0x5A;
    f[1] = 0xA5;
    f[5] = uint8_t(raw >> 8);
    f[6] = uint8_t(raw & 0xFF);
    f[25] = sensor;
    f[26] = heater;
    return f;
}

WidebandController::WidebandController(WbOptions options, EngineSource engine)
    : options_(std::move(options)), engine_(std::move(engine)), rng_(options_.seed) {
    if (options_.fuelErrorPct >= 0 || options_.fuelMap)
        planted_.emplace(std::max(0.0, options_.fuelErrorPct), options_.fuelMap);
}

std::string WidebandController::reply(const std::string& c) {
    // Every reply is at least ten bytes: the program's receive threshold during the handshake.
    if (c == "v") return "> " + options_.version + " WB\r\n";
    if (c == "s03e1") return options_.incompatible ? "> 03E0 ERR\r\n" : "> 03E1 OK \r\n";
    if (c == "t1") {
        streaming_ = true;
        sinceFrame_ = 0;
    }
    std::string r = "> " + c + " OK";
    r.resize(std::max<size_t>(r.size(), 8), ' ');
    return r + "\r\n";
}

void WidebandController::receive(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
    for (uint8_t b : in) {
        if (b != '\r') {
            if (line_.size() < 64) line_ += char(b);
            continue;
        }
        const std::string c = line_;
        line_.clear();
        commands_.push_back(c);
        if (options_.silent) continue;
        // Any command stops a stream until t1 starts it again.
        if (c != "t1") streaming_ = false;
        const std::string r = reply(c);
        out.insert(out.end(), r.begin(), r.end());
    }
}

std::vector<uint8_t> WidebandController::nextFrame() {
    if (!streaming_ || options_.silent || sinceFrame_ < 1.0 / options_.framesPerSecond) return {};
    sinceFrame_ = 0;
    const bool warm = time_ >= options_.warmupSeconds;
    const EngineState engine = engine_ ? engine_() : EngineState{};
    const double afr =
        (planted_ ? planted_->afr(engine, time_) : engineAfr(engine)) + rng_.uniform(-0.08, 0.08);
    const uint16_t raw = rawFromAfr(afr);
    if (sentRaws_.size() >= 1000) sentRaws_.erase(sentRaws_.begin(), sentRaws_.begin() + 500);
    sentRaws_.push_back(raw);
    return measurementFrame(raw, warm ? kSensorNormal : kSensorCold,
                            warm ? kHeaterNormal : kHeaterWarming);
}

void WidebandController::advance(double seconds) {
    time_ += seconds;
    sinceFrame_ += seconds;
}

void WidebandController::lineReset() {
    line_.clear();
    streaming_ = false;
}

WidebandSimulator::WidebandSimulator(WbOptions options, WidebandController::EngineSource engine) {
    LinkOptions link;
    link.baud = options.baud;
    link.linkPath = options.linkPath;
    link.recordPath = options.recordPath;
    link.hangupAfter = options.hangupAfter;
    link.muteAfterFrames = options.silenceAfter;
    link.latencyMs = options.latencyMs;
    link.garbageRate = options.garbageRate;
    link.dropRate = options.dropRate;
    link.reopenAfterMs = options.reopenAfterMs;
    link.seed = options.seed;
    device_ = std::make_unique<WidebandController>(std::move(options), std::move(engine));
    link_ = std::make_unique<PtyLink>(std::move(link), *device_);
}

WidebandSimulator::~WidebandSimulator() {
    stop();
}

bool WidebandSimulator::start(std::string* error) {
    return link_->start(error);
}

void WidebandSimulator::stop() {
    link_->stop();
}

bool WidebandSimulator::streaming() const {
    std::lock_guard lock(link_->mutex());
    return device_->streaming();
}

std::vector<uint16_t> WidebandSimulator::sentRaws() const {
    std::lock_guard lock(link_->mutex());
    return device_->sentRaws();
}

namespace {
bool parseLong(const std::string& text, long min, long max, long& value) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < min || v > max) return false;
    value = v;
    return true;
}
} // namespace

std::optional<WbOptions> parseWbOptions(const std::vector<std::string>& args,
                                        std::vector<std::string>& rest, std::string& error) {
    WbOptions o;
    rest.clear();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--fuel-error") {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return std::nullopt;
            }
            char* end = nullptr;
            const std::string& v = args[++i];
            o.fuelErrorPct = std::strtod(v.c_str(), &end);
            if (v.empty() || *end != '\0' || !(o.fuelErrorPct >= 0 && o.fuelErrorPct <= 50)) {
                error = "bad value for --fuel-error: " + v;
                return std::nullopt;
            }
            continue;
        }
        if (name == "--fuel-map") {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return std::nullopt;
            }
            o.fuelMap = readFuelMapFile(args[++i], error);
            if (!o.fuelMap) return std::nullopt;
            continue;
        }
        if (name.rfind("--wb-", 0) != 0) {
            rest.push_back(name);
            continue;
        }
        if (name == "--wb-incompatible") {
            o.incompatible = true;
            continue;
        }
        if (name == "--wb-silent") {
            o.silent = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            error = name + " needs a value";
            return std::nullopt;
        }
        const std::string& v = args[++i];
        long n = 0;
        bool ok = true;
        if (name == "--wb-link") {
            o.linkPath = v;
        } else if (name == "--wb-baud") {
            ok = parseLong(v, 50, 4000000, n);
            o.baud = int(n);
        } else if (name == "--wb-version") {
            ok = v.size() == 4;
            o.version = v;
        } else if (name == "--wb-hangup-after") {
            ok = parseLong(v, -1, 1L << 30, o.hangupAfter);
        } else if (name == "--wb-silence-after") {
            ok = parseLong(v, -1, 1L << 30, o.silenceAfter);
        } else if (name == "--wb-warmup") {
            ok = parseLong(v, 0, 3600, n);
            o.warmupSeconds = double(n);
        } else if (name == "--wb-record") {
            o.recordPath = v;
        } else {
            error = "unknown option " + name;
            return std::nullopt;
        }
        if (!ok) {
            error = "bad value for " + name + ": " + v;
            return std::nullopt;
        }
    }
    return o;
}

std::string wbUsage() {
    return "wideband controller (runs when --wb-link is given):\n"
           "  --wb-link PATH       keep a symlink to the controller's device at PATH\n"
           "  --wb-baud N          line speed (19200)\n"
           "  --wb-version TEXT    the four characters of the version reply (0120)\n"
           "  --wb-incompatible    the check reply does not confirm\n"
           "  --wb-silent          no reply to anything\n"
           "  --wb-hangup-after N  hang the line up after N frames (once)\n"
           "  --wb-silence-after N fall silent after N frames, the port staying open\n"
           "  (--latency-ms, --garbage-rate and --drop-rate apply to this line too)\n"
           "  --wb-warmup S        seconds of cold sensor status after power-up (15)\n"
           "  --wb-record FILE     write both directions, time-stamped\n"
           "  --fuel-error PCT     the engine burns Kestrix's default target ratio off by a\n"
           "                       planted error of up to PCT % (0 to 50) per fuel map cell:\n"
           "                       ratio = target x (1 + error), error = PCT % x cos(pi row/8)\n"
           "                       x cos(pi column/8), rows and columns of the simulated\n"
           "                       map counted from 0; besides, 10 % rich below 68 C,\n"
           "                       15 % rich for 0.3 s after a throttle step, 22.0 in fuel\n"
           "                       cut (closed throttle above 1600 rpm)\n"
           "  --fuel-map FILE      the ECU holds this fuel map (a map file Kestrix saved, on\n"
           "                       the simulated scales) and the engine runs on it: each\n"
           "                       cell's fuel goes with its value against the ECU's own map,\n"
           "                       so a suggested map can be flashed and driven again\n";
}

} // namespace kxsim
