#include "pty_link.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace kxsim {

namespace {

using std::chrono::duration;
using std::chrono::duration_cast;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

constexpr size_t kReceivedLogLimit = 1 << 20;
// A line nobody reads for this long has its unread bytes dropped, as a UART's receive buffer
// would overflow; a client that opens the port later then starts from fresh bytes.
constexpr milliseconds kStaleAfter{1000};
constexpr milliseconds kIdleWait{20};
constexpr milliseconds kHangupGrace{50};

void setCloexec(int fd) {
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

std::string readLink(const std::string& path) {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

} // namespace

PtyLink::PtyLink(LinkOptions options, SerialDevice& device)
    : options_(std::move(options)), device_(device), rng_(options_.seed ^ 0x5EEDF00DULL) {
    const double seconds = 10.0 / std::max(options_.baud, 1);
    byteTime_ = duration_cast<Clock::duration>(duration<double>(seconds));
}

PtyLink::~PtyLink() {
    stop();
}

bool PtyLink::start(std::string* error) {
    if (running()) return true;
    if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error) *error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    if (!options_.recordPath.empty()) {
        recordFile_ = std::fopen(options_.recordPath.c_str(), "w");
        if (!recordFile_) {
            if (error) *error = options_.recordPath + ": " + std::strerror(errno);
            stop();
            return false;
        }
    }
    if (!openLine(error)) {
        stop();
        return false;
    }
    startTime_ = Clock::now();
    nextByteAt_ = startTime_;
    nextRelease_ = startTime_ + milliseconds(options_.latencyMs);
    stopping_ = false;
    worker_ = std::thread([this] { run(); });
    return true;
}

void PtyLink::stop() {
    if (worker_.joinable()) {
        stopping_ = true;
        const char b = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakePipe_[1], &b, 1);
        worker_.join();
    }
    closeLine();
    if (!linkedTo_.empty() && readLink(options_.linkPath) == linkedTo_) {
        ::unlink(options_.linkPath.c_str());
    }
    for (int& fd : wakePipe_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    flushSentRecord();
    if (recordFile_) std::fclose(recordFile_);
    recordFile_ = nullptr;
}

std::string PtyLink::devicePath() const {
    std::lock_guard lock(mutex_);
    return path_;
}

LinkCounters PtyLink::counters() const {
    std::lock_guard lock(mutex_);
    return counters_;
}

std::vector<double> PtyLink::frameTimes() const {
    std::lock_guard lock(mutex_);
    return frameTimes_;
}

std::vector<uint8_t> PtyLink::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void PtyLink::setMuted(bool muted) {
    if (!muted && muted_) unmutePending_ = true;
    muted_ = muted;
    const char b = 1;
    if (wakePipe_[1] >= 0) [[maybe_unused]]
        const ssize_t n = ::write(wakePipe_[1], &b, 1);
}

void PtyLink::checkMute(Clock::time_point now) {
    uint64_t frames = 0;
    {
        std::lock_guard lock(mutex_);
        frames = counters_.framesSent;
    }
    const bool timeUp = options_.muteAfterSeconds >= 0 &&
                        now - startTime_ >= duration<double>(options_.muteAfterSeconds);
    const bool framesUp =
        options_.muteAfterFrames >= 0 && frames >= uint64_t(options_.muteAfterFrames);
    if (!muteDone_ && (timeUp || framesUp)) {
        muteDone_ = true;
        muted_ = true;
    }
    if (muted_ && !wasMuted_) {
        // Power gone: what the device had still to send never goes on the wire.
        queue_.clear();
        frameEnds_.clear();
        queuedTotal_ = writtenTotal_;
    }
    if (unmutePending_.exchange(false)) {
        // Power back: the device starts afresh, as after a reset.
        std::lock_guard lock(mutex_);
        device_.lineReset();
    }
    wasMuted_ = muted_;
}

void PtyLink::clearReceived() {
    std::lock_guard lock(mutex_);
    received_.clear();
}

bool PtyLink::openLine(std::string* error) {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        if (error) *error = std::string("openpty: ") + std::strerror(errno);
        master_ = slave_ = -1;
        return false;
    }
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave_, TCSANOW, &t);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    setCloexec(master_);
    setCloexec(slave_);
    {
        std::lock_guard lock(mutex_);
        path_ = name;
    }
    updateLink();
    if (!options_.linkPath.empty() && readLink(options_.linkPath) != name) {
        if (error) *error = "cannot link " + options_.linkPath + " to " + name;
        return false;
    }
    return true;
}

void PtyLink::closeLine() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    master_ = slave_ = -1;
}

void PtyLink::updateLink() {
    if (options_.linkPath.empty()) return;
    // Link under a temporary name and rename over the old link, so the path never dangles
    // half-made.
    const std::string tmp = options_.linkPath + ".tmp" + std::to_string(::getpid());
    ::unlink(tmp.c_str());
    const std::string target = devicePath();
    if (::symlink(target.c_str(), tmp.c_str()) != 0) return;
    if (::rename(tmp.c_str(), options_.linkPath.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return;
    }
    linkedTo_ = target;
}

void PtyLink::run() {
    auto last = Clock::now();
    while (!stopping_) {
        const auto now = Clock::now();
        {
            std::lock_guard lock(mutex_);
            device_.advance(duration<double>(now - last).count());
        }
        last = now;
        checkMute(now);
        if (master_ >= 0 && !held_.empty() && now >= nextRelease_) releaseHeld(now);
        if (options_.latencyMs > 0) {
            while (nextRelease_ <= now)
                nextRelease_ += milliseconds(options_.latencyMs);
        }
        if (master_ < 0) {
            if (options_.reopenAfterMs >= 0 && now >= reopenAt_) {
                if (openLine(nullptr)) {
                    std::lock_guard lock(mutex_);
                    device_.lineReset();
                } else {
                    closeLine();
                    reopenAt_ = now + std::chrono::seconds(1);
                }
            }
            waitForEvents(now);
            continue;
        }
        writeDue(now);
        if (!hangupPending_ && !hangupDone_ && options_.hangupAfter >= 0) {
            std::lock_guard lock(mutex_);
            if (counters_.framesSent >= uint64_t(options_.hangupAfter)) {
                // A short quiet spell first, so a client that reads promptly has every byte of
                // the last frame before the hang-up discards its unread input.
                hangupPending_ = true;
                hangupAt_ = now + kHangupGrace;
            }
        }
        if (hangupPending_) {
            if (now >= hangupAt_) {
                hangUp(now);
                continue;
            }
            waitForEvents(now);
            continue;
        }
        if (queue_.empty() && !muted_) {
            std::vector<uint8_t> frame;
            {
                std::lock_guard lock(mutex_);
                frame = device_.nextFrame();
            }
            if (!frame.empty()) queueOutput(frame, true, now);
        }
        waitForEvents(now);
    }
}

void PtyLink::waitForEvents(Clock::time_point now) {
    Clock::duration wait = kIdleWait;
    if (master_ >= 0 && !queue_.empty()) {
        wait = blocked_ ? Clock::duration(milliseconds(5))
                        : std::max(Clock::duration::zero(), nextByteAt_ - now);
    }
    if (master_ >= 0 && !held_.empty())
        wait = std::min(wait, std::max(Clock::duration::zero(), nextRelease_ - now));
    const auto ns = duration_cast<nanoseconds>(wait).count();
    const timespec ts{time_t(ns / 1000000000), long(ns % 1000000000)};
    pollfd fds[2] = {{wakePipe_[0], POLLIN, 0}, {master_, POLLIN, 0}};
    const nfds_t count = master_ >= 0 ? 2 : 1;
    if (::ppoll(fds, count, &ts, nullptr) <= 0) return;
    if (fds[0].revents & POLLIN) {
        char buf[16];
        while (::read(wakePipe_[0], buf, sizeof buf) > 0) {
        }
    }
    if (count < 2) return;
    if (fds[1].revents & POLLIN) {
        readInput(Clock::now());
    } else if (fds[1].revents & (POLLHUP | POLLERR)) {
        // Not expected while the slave side is held open; never spin on it.
        ::ppoll(nullptr, 0, &ts, nullptr);
    }
}

void PtyLink::readInput(Clock::time_point now) {
    std::vector<uint8_t> in;
    uint8_t buf[512];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) break;
        in.insert(in.end(), buf, buf + n);
    }
    if (in.empty()) return;
    flushSentRecord();
    record(muted_ ? "pc-" : "pc", in.data(), in.size(), now);
    if (muted_) return; // a dead device hears nothing
    if (const int ahead = loseAhead_.load(); ahead >= 0) {
        if (size_t(ahead) < in.size()) {
            in.erase(in.begin() + ahead);
            loseAhead_ = -1;
        } else {
            loseAhead_ = ahead - int(in.size());
        }
        if (in.empty()) return;
    }
    if (options_.cmdGarbageRate > 0 || options_.cmdDropRate > 0) {
        // The line from the PC is as noisy as the one to it.
        std::vector<uint8_t> heard;
        for (uint8_t b : in) {
            if (rng_.chance(options_.cmdGarbageRate)) heard.push_back(uint8_t(rng_.next()));
            if (!rng_.chance(options_.cmdDropRate)) heard.push_back(b);
        }
        in = std::move(heard);
        if (in.empty()) return;
    }
    std::vector<uint8_t> out;
    {
        std::lock_guard lock(mutex_);
        counters_.bytesReceived += in.size();
        if (received_.size() + in.size() > kReceivedLogLimit) {
            received_.erase(received_.begin(), received_.begin() + long(received_.size() / 2));
        }
        received_.insert(received_.end(), in.begin(), in.end());
        device_.receive(in, out);
    }
    if (!out.empty()) queueOutput(out, false, now);
}

void PtyLink::queueOutput(const std::vector<uint8_t>& bytes, bool frame, Clock::time_point now) {
    {
        std::lock_guard lock(mutex_);
        if (options_.silenceAfter >= 0 && counters_.framesSent >= uint64_t(options_.silenceAfter))
            return;
    }
    if (queue_.empty()) nextByteAt_ = std::max(nextByteAt_, now + byteTime_);
    for (uint8_t b : bytes) {
        if (rng_.chance(options_.garbageRate)) {
            queue_.push_back(uint8_t(rng_.next()));
            ++queuedTotal_;
        }
        queue_.push_back(rng_.chance(options_.dropRate) ? uint16_t(kLost | b) : b);
        ++queuedTotal_;
    }
    if (frame) frameEnds_.push_back(queuedTotal_);
}

void PtyLink::writeDue(Clock::time_point now) {
    if (queue_.empty() || now < nextByteAt_) return;
    // At most two byte times of catch-up after a late wake-up: the line never runs faster
    // than its baud rate over any stretch.
    if (now - nextByteAt_ > byteTime_) nextByteAt_ = now - byteTime_;
    const auto due = size_t((now - nextByteAt_) / byteTime_) + 1;
    const size_t k = std::min({due, queue_.size(), size_t(256)});
    uint8_t buf[256];
    size_t real = 0;
    for (size_t i = 0; i < k; ++i) {
        if (!(queue_[i] & kLost)) buf[real++] = uint8_t(queue_[i]);
    }
    ssize_t n = 0;
    if (real > 0) {
        n = hand(buf, real, now);
        if (n <= 0) {
            if (!blocked_) {
                blocked_ = true;
                blockedSince_ = now;
            } else if (now - blockedSince_ > kStaleAfter) {
                ::tcflush(slave_, TCIFLUSH);
                blockedSince_ = now;
            }
            return;
        }
    }
    blocked_ = false;
    // Take off the queue the entries whose bytes went out, lost ones included.
    size_t taken = 0;
    for (ssize_t left = n; taken < k; ++taken) {
        if (!(queue_[taken] & kLost)) {
            if (left == 0) break;
            --left;
        }
    }
    queue_.erase(queue_.begin(), queue_.begin() + long(taken));
    writtenTotal_ += taken;
    nextByteAt_ += byteTime_ * long(taken);
    if (n > 0) recordSent(buf, size_t(n), now);
    if (queue_.empty()) flushSentRecord();
    std::lock_guard lock(mutex_);
    counters_.bytesSent += uint64_t(n);
    while (!frameEnds_.empty() && frameEnds_.front() <= writtenTotal_) {
        // The frame's last byte left when the byte after it was due.
        const auto end = nextByteAt_ - byteTime_ * long(writtenTotal_ - frameEnds_.front());
        if (frameTimes_.size() < kFrameTimesLimit)
            frameTimes_.push_back(duration<double>(end.time_since_epoch()).count());
        frameEnds_.pop_front();
        ++counters_.framesSent;
    }
}

ssize_t PtyLink::hand(const uint8_t* data, size_t n, Clock::time_point now) {
    if (options_.latencyMs <= 0) return ::write(master_, data, n);
    // The adapter takes what the wire brings and holds it until its timer runs out or a
    // packet is full.
    if (held_.size() > (1u << 16)) return 0;
    held_.insert(held_.end(), data, data + n);
    if (held_.size() >= kAdapterPacket) releaseHeld(now);
    return ssize_t(n);
}

void PtyLink::releaseHeld(Clock::time_point) {
    if (held_.empty() || master_ < 0) return;
    const ssize_t n = ::write(master_, held_.data(), held_.size());
    if (n > 0) held_.erase(held_.begin(), held_.begin() + n);
}

void PtyLink::hangUp(Clock::time_point now) {
    // An unplugged adapter's stable name goes with it. Left in place, the link would lead to
    // the pseudo-terminal number it names, which the system hands to the next one opened,
    // and a client retrying the link would talk on another program's line.
    if (!linkedTo_.empty() && readLink(options_.linkPath) == linkedTo_) {
        ::unlink(options_.linkPath.c_str());
        linkedTo_.clear();
    }
    // Closing both ends is what a client sees as the cable being pulled.
    closeLine();
    hangupDone_ = true;
    hangupPending_ = false;
    queue_.clear();
    held_.clear();
    frameEnds_.clear();
    queuedTotal_ = writtenTotal_ = 0;
    blocked_ = false;
    reopenAt_ = now + milliseconds(std::max(options_.reopenAfterMs, 0));
    flushSentRecord();
    record("---", nullptr, 0, now);
    std::lock_guard lock(mutex_);
    ++counters_.hangups;
    path_.clear();
}

void PtyLink::record(const char* who, const uint8_t* data, size_t n, Clock::time_point now) {
    if (!recordFile_) return;
    const double ms = duration<double, std::milli>(now - startTime_).count();
    std::fprintf(recordFile_, "%.3f %-3s", ms, who);
    if (!data) std::fputs(" hang-up", recordFile_);
    for (size_t i = 0; i < n; ++i)
        std::fprintf(recordFile_, " %02X", data[i]);
    std::fputc('\n', recordFile_);
    std::fflush(recordFile_);
}

void PtyLink::recordSent(const uint8_t* data, size_t n, Clock::time_point now) {
    if (!recordFile_) return;
    // The line sends a byte or two at a time; one record line per stretch keeps the file
    // readable.
    if (sentRecord_.empty()) sentRecordAt_ = now;
    sentRecord_.insert(sentRecord_.end(), data, data + n);
    if (sentRecord_.size() >= 64) flushSentRecord();
}

void PtyLink::flushSentRecord() {
    if (sentRecord_.empty()) return;
    record("ecu", sentRecord_.data(), sentRecord_.size(), sentRecordAt_);
    sentRecord_.clear();
}

} // namespace kxsim
