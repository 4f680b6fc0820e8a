#include "link/framing.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <vector>

namespace kx {

int findFrame(const QByteArray& bytes, uint8_t count, int lastStart) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    const qsizetype last = std::min<qsizetype>(lastStart, bytes.size() - 2);
    for (qsizetype p = 0; p <= last; ++p) {
        if (data[p] == kFrameHeader && data[p + 1] == count) return static_cast<int>(p);
    }
    return -1;
}

std::optional<QByteArray> frameData(const QByteArray& bytes, uint8_t count, int lastStart) {
    const int whole = int(bytes.size()) - int(count) - 2; // the last header with its data
    const int p = findFrame(bytes, count, lastStart < 0 ? whole : std::min(lastStart, whole));
    if (p < 0) return std::nullopt;
    return bytes.mid(p + 2, count);
}

std::optional<HeldFrame> firstFrame(const QByteArray& bytes, int lastStart) {
    const qsizetype p = bytes.indexOf(char(kFrameHeader));
    if (p < 0 || p > lastStart || p + 1 >= bytes.size()) return std::nullopt;
    const uint8_t count = uint8_t(bytes[p + 1]);
    return HeldFrame{count, bytes.mid(p + 2, count)};
}

namespace {
// Bytes that differ, for frames of one length; any length difference counts as all.
qsizetype distance(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size()) return std::numeric_limits<qsizetype>::max() / 2;
    qsizetype d = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        d += a[i] != b[i];
    return d;
}
} // namespace

void FrameConfirmer::expect(int count, FrameRule rule) {
    count_ = count;
    rule_ = rule;
    dropped_ = 0;
    anchoring_ = false;
    inStep_ = false;
    resyncing_ = false;
    held_.clear();
    last_.clear();
    agreed_ = rule_ == FrameRule::Stream;
    done_ = false;
    broken_ = false;
    forgetOther();
}

void FrameConfirmer::clear() {
    held_.clear();
    inStep_ = false;
    resyncing_ = false;
    forgetOther();
}

void FrameConfirmer::forgetOther() {
    base_ = 0;
    otherCount_ = -1;
    otherNext_ = 0;
    otherSeen_ = 0;
    otherStream_ = false;
}

void FrameConfirmer::noteOtherHeader(qsizetype p) {
    if (otherStream_ || rule_ != FrameRule::Stream || count_ == AnyCount || !last_.isEmpty())
        return;
    const auto count = uint8_t(held_[p + 1]);
    if (count == kFrameHeader || count == uint8_t(count_)) return;
    const qsizetype at = base_ + p;
    if (count == otherCount_ && at == otherNext_) {
        otherStream_ = ++otherSeen_ >= 3;
    } else if (otherCount_ >= 0 && at < otherNext_) {
        return; // inside the frame of the headers followed so far
    } else {
        otherCount_ = count;
        otherSeen_ = 1;
    }
    otherNext_ = at + 2 + count;
}

void FrameConfirmer::started() {
    held_.clear();
    resyncing_ = false;
    last_.clear();
    anchoring_ = true;
    inStep_ = false;
    agreed_ = rule_ == FrameRule::Stream;
    done_ = false;
    broken_ = false;
    forgetOther();
}

bool FrameConfirmer::headerAt(qsizetype p) const {
    if (p < 0 || p + 1 >= held_.size()) return false;
    const auto head = uint8_t(held_[p]);
    const auto count = uint8_t(held_[p + 1]);
    // A count byte of 0xFF is a header's neighbour, never a count.
    return head == kFrameHeader && count != kFrameHeader && (count_ == AnyCount || count == count_);
}

FrameConfirmer::Verdict FrameConfirmer::verdictAt(qsizetype p) const {
    const qsizetype size = held_.size();
    if (p >= size) return Verdict::Unknown;
    if (uint8_t(held_[p]) != kFrameHeader) return Verdict::No;
    if (p + 1 >= size) return Verdict::Unknown;
    if (!headerAt(p)) return Verdict::No;
    const auto count = uint8_t(held_[p + 1]);
    // Any count byte fits twice far more often than one: found anew, a stream of any count
    // needs a third header in step.
    const int headers = count_ == AnyCount ? 2 : 1;
    for (int k = 1; k <= headers; ++k) {
        const qsizetype next = p + k * (2 + qsizetype(count));
        if (next < size && uint8_t(held_[next]) != kFrameHeader) return Verdict::No;
        if (next + 1 >= size) return Verdict::Unknown;
        if (uint8_t(held_[next + 1]) != count) return Verdict::No;
    }
    return Verdict::Yes;
}

std::optional<qsizetype> FrameConfirmer::nearResync() const {
    // One byte lost puts the next header one early, one stray byte one late; a lost header
    // leaves its frame without one, and the stream goes on a frame later. Where several fit
    // (data shaped like headers), the one that best continues the stream's last frame wins: a
    // repeated block continues exactly, a rotated copy of it does not.
    std::vector<qsizetype> near{faultAt_ - 1, faultAt_ + 1};
    if (faultPeriod_ > 0) {
        near.push_back(faultAt_ - 1 + faultPeriod_);
        near.push_back(faultAt_ + 1 + faultPeriod_);
    }
    qsizetype best = -1;
    qsizetype bestScore = std::numeric_limits<qsizetype>::max();
    for (const qsizetype q : near) {
        if (q < 0) continue;
        const Verdict v = verdictAt(q);
        if (v == Verdict::Unknown) return std::nullopt;
        if (v != Verdict::Yes) continue;
        const qsizetype score =
            last_.isEmpty() ? 0
                            : distance(held_.mid(q, qsizetype(uint8_t(held_[q + 1])) + 2), last_);
        if (score < bestScore) {
            best = q;
            bestScore = score;
        }
    }
    return best;
}

bool FrameConfirmer::deliver(qsizetype p, QList<QByteArray>& frames) {
    QByteArray frame = held_.mid(p, qsizetype(uint8_t(held_[p + 1])) + 2);
    const qsizetype tail = held_.size() - (p + frame.size());
    if (!agreed_) {
        agreed_ = frame == last_;
        last_ = std::move(frame);
        if (!agreed_) return false;
        if (rule_ == FrameRule::Once) done_ = true;
        frames.append(last_);
        tails_.append(tail);
        return true;
    }
    last_ = frame;
    frames.append(std::move(frame));
    tails_.append(tail);
    return true;
}

void FrameConfirmer::breakStream() {
    broken_ = true;
    held_.clear();
}

void FrameConfirmer::lostAt(qsizetype header, int period) {
    ++dropped_;
    if (!agreed_) last_.clear(); // the frame waiting for agreement has no neighbour now
    faultAt_ = header;
    faultPeriod_ = period;
    resyncing_ = true;
    inStep_ = false;
}

QList<QByteArray> FrameConfirmer::take(const QByteArray& delivery) {
    QList<QByteArray> frames;
    tails_.clear();
    if (broken_ || done_) return frames;
    held_.append(delivery);
    if (held_.isEmpty()) return frames;
    qsizetype p = 0;
    if (anchoring_) {
        // One byte that can be neither a header nor its count is the ECU's acknowledgement.
        const auto first = uint8_t(held_[0]);
        const qsizetype at =
            first != kFrameHeader && (count_ == AnyCount || first != uint8_t(count_)) ? 1 : 0;
        // Where the phase matters, the bytes that would show a header two bytes on are needed.
        if (held_.size() < (agreed_ ? at + 2 : 4)) return frames;
        anchoring_ = false;
        p = at;
        inStep_ = headerAt(at);
        // A stray 0xFF before an acknowledgement equal to the count byte makes a header of the
        // two, and a block that opens with a header-shaped pair then confirms a copy of itself
        // shifted by two: with a header at both, the phase is not known.
        if (inStep_ && !agreed_ && at == 0 && headerAt(2)) inStep_ = false;
        if (!inStep_) {
            if (!agreed_) {
                ++dropped_;
                breakStream();
                return frames;
            }
            lostAt(at, count_ == AnyCount ? 0 : count_ + 2);
            p = 0;
        }
    }
    const auto* data = reinterpret_cast<const uint8_t*>(held_.constData());
    const qsizetype size = held_.size();
    while (p + 1 < size) {
        if (resyncing_) {
            const auto near = nearResync();
            if (!near) break; // the candidates' own checks need more bytes
            resyncing_ = false;
            if (*near >= 0) {
                p = *near;
                inStep_ = true;
            } else {
                ++p; // more than one fault: the first frame the next header confirms
            }
            continue;
        }
        if (!inStep_) {
            // Lost: the first header whose frame the next header confirms.
            const Verdict v = verdictAt(p);
            if (v == Verdict::Unknown) break; // the check needs the next header: wait for more
            if (v == Verdict::No) {
                if (headerAt(p)) ++dropped_;
                if (data[p] == kFrameHeader) noteOtherHeader(p);
                ++p;
                continue;
            }
            inStep_ = true;
        }
        const uint8_t count = data[p + 1];
        const qsizetype next = p + 2 + count;
        if (next + 1 >= size) break;
        if (data[next] == kFrameHeader && data[next + 1] == count) {
            deliver(p, frames);
            p = next;
            if (done_) {
                held_.clear();
                return frames;
            }
            continue;
        }
        // A byte lost or added between this header and the next. Before the first value is
        // agreed there is no frame to tell the stream from a copy of it shifted in its data.
        if (!agreed_) {
            ++dropped_;
            breakStream();
            return frames;
        }
        lostAt(next, count + 2);
    }
    if (resyncing_) {
        p = std::min(p, std::max<qsizetype>(0, faultAt_ - 1));
        faultAt_ -= p;
    }
    held_.remove(0, p);
    base_ += p;
    return frames;
}

} // namespace kx
