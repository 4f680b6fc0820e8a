#pragma once
// A simulated serial device on a pseudo-terminal: the worker thread reads what the PC writes,
// hands it to the device, and sends the device's bytes paced at the line's baud rate, with
// optional line faults and a record of the traffic. The ECU is one such device; others (a
// wideband controller) can run on a second link.
#include "rng.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace kxsim {

// What runs on the far end of the line. All calls come from the link's worker thread with
// the link's mutex held.
class SerialDevice {
public:
    virtual ~SerialDevice() = default;
    // Bytes written by the PC; immediate replies go to `out`, queued after what is pending.
    virtual void receive(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) = 0;
    // Called whenever nothing is left to send: the next unsolicited unit (a stream frame),
    // or nothing.
    virtual std::vector<uint8_t> nextFrame() = 0;
    // Wall-clock time passed since the last call.
    virtual void advance(double seconds) = 0;
    // The line was hung up and is about to come back: forget any exchange in progress.
    virtual void lineReset() {}
};

struct LinkOptions {
    int baud = 9600;
    std::string linkPath;      // stable symlink to the device, replaced if present
    std::string recordPath;    // traffic record, one line per chunk
    double garbageRate = 0;    // probability per sent byte of an extra random byte before it
    double dropRate = 0;       // probability per sent byte of losing it
    double cmdGarbageRate = 0; // probability per byte from the PC of a random byte before it
    double cmdDropRate = 0;    // probability per byte from the PC of losing it
    long silenceAfter = -1;    // frames; after that many, the device sends nothing more
    long hangupAfter = -1;     // frames; after that many, the line is hung up (once)
    int reopenAfterMs = 1000;  // a new pseudo-terminal after a hang-up; negative: never
    // A USB adapter's latency timer: what the line carries is held and handed on every
    // latencyMs, or as soon as kAdapterPacket bytes are held; 0 hands on each byte at once.
    int latencyMs = 0;
    // Seconds from the start after which the device goes dead (ignition off): it sends
    // nothing and obeys nothing, the port staying open; negative: never.
    double muteAfterSeconds = -1;
    long muteAfterFrames = -1; // the same, after this many frames
    uint64_t seed = 1;
};

inline constexpr size_t kAdapterPacket = 62;

struct LinkCounters {
    uint64_t framesSent = 0;    // complete frames written to the line
    uint64_t bytesSent = 0;     // bytes written to the line, garbage included
    uint64_t bytesReceived = 0; // bytes the PC wrote
    uint64_t hangups = 0;
};

class PtyLink {
public:
    PtyLink(LinkOptions options, SerialDevice& device);
    ~PtyLink();
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    // Opens the pseudo-terminal and starts the worker; false (with a reason) on failure.
    bool start(std::string* error = nullptr);
    // Stops the worker, closes the line and removes the link. Safe to call twice.
    void stop();
    bool running() const { return worker_.joinable(); }

    // The slave device the PC opens; empty while the line is hung up.
    std::string devicePath() const;
    LinkCounters counters() const;
    std::vector<uint8_t> received() const;
    // When each frame sent so far ended on the line: seconds on the steady clock (the first
    // kFrameTimesLimit frames).
    std::vector<double> frameTimes() const;
    void clearReceived();
    // Held by the worker around every device call; lock it to touch the device safely.
    std::mutex& mutex() const { return mutex_; }
    // The device goes dead (true) or comes back, as after a power cycle (false).
    void setMuted(bool muted);
    bool muted() const { return muted_; }
    // The byte from the PC `skip` bytes on from now never reaches the device (a lost command).
    void loseCommandByte(int skip) { loseAhead_ = skip; }

private:
    using Clock = std::chrono::steady_clock;

    bool openLine(std::string* error);
    void closeLine();
    void updateLink();
    void run();
    void readInput(Clock::time_point now);
    void queueOutput(const std::vector<uint8_t>& bytes, bool frame, Clock::time_point now);
    void hangUp(Clock::time_point now);
    void waitForEvents(Clock::time_point now);
    void writeDue(Clock::time_point now);
    // Hands the bytes to the PC now, or to the adapter's hold; false when the PC's side is full.
    ssize_t hand(const uint8_t* data, size_t n, Clock::time_point now);
    void releaseHeld(Clock::time_point now);
    void checkMute(Clock::time_point now);
    void record(const char* who, const uint8_t* data, size_t n, Clock::time_point now);
    void recordSent(const uint8_t* data, size_t n, Clock::time_point now);
    void flushSentRecord();

    LinkOptions options_;
    SerialDevice& device_;
    mutable std::mutex mutex_;
    std::thread worker_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> muted_{false};
    std::atomic<int> loseAhead_{-1};
    std::atomic<bool> unmutePending_{false};
    int wakePipe_[2] = {-1, -1};

    // Owned by the worker while it runs.
    int master_ = -1;
    int slave_ = -1; // kept open so the line stays up while no client has it open
    // Bytes to send; kLost marks a byte the line loses: it takes its time but never arrives.
    std::deque<uint16_t> queue_;
    static constexpr uint16_t kLost = 0x100;
    std::deque<uint64_t> frameEnds_; // queue positions (absolute) where frames end
    uint64_t queuedTotal_ = 0;
    uint64_t writtenTotal_ = 0;
    Clock::time_point nextByteAt_{};
    std::vector<uint8_t> held_; // in the adapter, not yet handed to the PC
    Clock::time_point nextRelease_{};
    bool muteDone_ = false;
    bool wasMuted_ = false;
    Clock::time_point blockedSince_{};
    bool blocked_ = false;
    Clock::time_point reopenAt_{};
    bool hangupDone_ = false;
    bool hangupPending_ = false;
    Clock::time_point hangupAt_{};
    Clock::duration byteTime_{};
    Clock::time_point startTime_{};
    std::FILE* recordFile_ = nullptr;
    std::vector<uint8_t> sentRecord_; // sent bytes gathered into one record line
    Clock::time_point sentRecordAt_{};
    Rng rng_;
    std::string linkedTo_; // what our link points at, so stop() removes only our own

    // Shared with readers, under mutex_.
    std::string path_;
    LinkCounters counters_;
    std::vector<uint8_t> received_;
    static constexpr size_t kFrameTimesLimit = 1 << 20;
    std::vector<double> frameTimes_;
};

} // namespace kxsim
