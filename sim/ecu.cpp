#include "ecu.h"

#include <algorithm>

namespace kxsim {

namespace {

constexpr size_t kMaxEntries = 64;
constexpr size_t kMaxFaults = 127; // the count byte must stay below 0xFF

// Identification data bytes before the part number: an invented program id and checksum.
// None is 0xFF, so no data byte can be mistaken for a frame header.
constexpr uint8_t kIdPrefix[] = {0x30, 0x08, 0x41, 0x12, 0x00, 0x7E, 0x2C, 0x55, 0x10,
                                 0x03, 0x91, 0x00, 0x20, 0x4A, 0x06, 0x88, 0x01, 0x33,
                                 0x17, 0x62, 0x00, 0x45, 0x0C, 0x70, 0x02, 0x19, 0x5B};

} // namespace

std::bitset<256> EcuConfig::defaultUnsupported() {
    std::bitset<256> set;
    set.set();
    for (uint8_t r : {0x00, 0x01, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C,
                      0x0D, 0x0F, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x1A, 0x1B,
                      0x1C, 0x1D, 0x1E, 0x1F, 0x21, 0x22, 0x23, 0x35, 0x36}) {
        set.reset(r);
    }
    return set;
}

Ecu::Ecu(EcuConfig config)
    : config_(std::move(config)), engine_(config_.seed, config_.coolantStartC) {
    if (config_.fuelMap) memory_.setFuelMap(*config_.fuelMap);
}

void Ecu::lineReset() {
    wait_ = Wait::Command;
    streaming_ = false;
}

void Ecu::receive(const Bytes& bytes, Bytes& out) {
    for (uint8_t b : bytes)
        receive(b, out);
}

void Ecu::receive(uint8_t byte, Bytes& out) {
    switch (wait_) {
    case Wait::Init1:
        if (byte == kCmdInit) {
            wait_ = Wait::Init2;
            return;
        }
        wait_ = Wait::Command; // a lone 0xFF: read this byte as a command
        break;
    case Wait::Init2:
        if (byte == kCmdInit) return;
        // The ECU answers every initialisation with the complement of its own id, so a PC
        // that asked for another id can tell; it takes commands only when addressed.
        out.push_back(uint8_t(~config_.id));
        awake_ = byte == config_.id;
        wait_ = Wait::Command;
        return;
    case Wait::Operands:
        operands_.push_back(byte);
        if (operands_.size() == operandsNeeded_) {
            wait_ = Wait::Command;
            operandsDone();
        }
        return;
    case Wait::Command:
        break;
    }
    if (!awake_ && byte != kCmdInit) return;
    command(byte, out);
}

void Ecu::command(uint8_t byte, Bytes& out) {
    auto expect = [&](size_t n) {
        pendingCommand_ = byte;
        operands_.clear();
        operandsNeeded_ = n;
        wait_ = Wait::Operands;
        out.push_back(uint8_t(~byte));
    };
    // The memory read command is a setting and may shadow a fixed command.
    if (byte == config_.romCommand) return expect(2);
    switch (byte) {
    case kCmdInit:
        wait_ = Wait::Init1;
        return;
    case kCmdRegister:
        return expect(1);
    case kCmdActiveTest:
        return expect(2);
    case kCmdIdentify:
        openRequest(StreamKind::Identification);
        break;
    case kCmdDiagnostics:
        openRequest(StreamKind::Diagnostics);
        break;
    case kCmdEraseFaults:
        config_.faults.clear();
        break;
    case kCmdStart:
        return startStream(out); // acknowledged only when a stream starts
    case kCmdStop:
        // The frame in progress still goes out: the caller queues this after it.
        streaming_ = false;
        break;
    default:
        return; // unknown bytes get no answer, which is how a PC can tell them apart
    }
    out.push_back(uint8_t(~byte));
}

void Ecu::operandsDone() {
    if (pendingCommand_ == config_.romCommand) {
        openRequest(StreamKind::Data);
        if (staged_.entries.size() < kMaxEntries)
            staged_.entries.push_back({true, uint16_t(operands_[0] << 8 | operands_[1])});
    } else if (pendingCommand_ == kCmdRegister) {
        openRequest(StreamKind::Data);
        if (staged_.entries.size() < kMaxEntries) staged_.entries.push_back({false, operands_[0]});
    } else if (pendingCommand_ == kCmdActiveTest) {
        engine_.setActiveTest(ActiveTest{operands_[0], operands_[1]});
        testSinceStart_ = true;
    }
}

void Ecu::openRequest(StreamKind kind) {
    // The first request after a stream start replaces the old one; a request that comes
    // without a fresh active test ends the test in force.
    if (stagedOpen_ && staged_.kind == kind && kind == StreamKind::Data) return;
    if (!testSinceStart_) engine_.setActiveTest(std::nullopt);
    staged_ = Request{kind, {}};
    stagedOpen_ = true;
}

void Ecu::startStream(Bytes& out) {
    testSinceStart_ = false;
    stagedOpen_ = false;
    const Request& r = staged_;
    bool ok = r.kind != StreamKind::None;
    if (r.kind == StreamKind::Data) {
        ok = !r.entries.empty() &&
             std::none_of(r.entries.begin(), r.entries.end(), [&](const Entry& e) {
                 return !e.memory && config_.unsupported.test(e.where);
             });
    }
    if (!ok) {
        // A register this ECU lacks spoils the whole request: no answer, no stream.
        streaming_ = false;
        return;
    }
    running_ = r;
    streaming_ = true;
    if (r.kind == StreamKind::Data && config_.launchDelay >= 0)
        engine_.startLaunch(config_.launchDelay);
    if (r.kind == StreamKind::Data && config_.pullDelay >= 0) engine_.startPull(config_.pullDelay);
    out.push_back(uint8_t(~kCmdStart));
}

Bytes Ecu::nextFrame() {
    if (!streaming_) return {};
    switch (running_.kind) {
    case StreamKind::Identification:
        return identificationFrame();
    case StreamKind::Diagnostics:
        return diagnosticsFrame();
    case StreamKind::Data:
        return dataFrame();
    case StreamKind::None:
        break;
    }
    return {};
}

Bytes Ecu::identificationFrame() const {
    const size_t count = config_.obd2 ? 32 : 22;
    Bytes f;
    f.reserve(count + 2);
    f.push_back(0xFF);
    f.push_back(uint8_t(count));
    f.insert(f.end(), kIdPrefix, kIdPrefix + (count - 5));
    std::string part = config_.partNumber;
    part.resize(5, ' ');
    f.insert(f.end(), part.begin(), part.end());
    return f;
}

Bytes Ecu::diagnosticsFrame() const {
    Bytes f;
    f.reserve(2 + 2 * kMaxFaults);
    f.push_back(0xFF);
    f.push_back(0);
    if (config_.faults.empty()) {
        f.push_back(0x55); // code 55: no faults
        f.push_back(0x00);
    } else {
        const size_t n = std::min(config_.faults.size(), kMaxFaults);
        for (size_t i = 0; i < n; ++i) {
            f.push_back(config_.faults[i].code);
            f.push_back(config_.faults[i].starts);
        }
    }
    f[1] = uint8_t(f.size() - 2);
    return f;
}

Bytes Ecu::dataFrame() {
    memory_.updateLive(engine_.rpmRaw(), engine_.throttleRaw());
    Bytes f{0xFF, uint8_t(running_.entries.size())};
    for (const Entry& e : running_.entries) {
        f.push_back(e.memory ? memory_.read(e.where) : engine_.registerValue(uint8_t(e.where)));
    }
    return f;
}

} // namespace kxsim
