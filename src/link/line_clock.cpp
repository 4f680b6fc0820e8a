#include "link/line_clock.h"

#include "util/ticks.h"

#include <algorithm>
#include <cmath>

namespace kx {

void LineClock::reset(int baud) {
    byteMs_ = 10000.0 / double(baud > 0 ? baud : 9600);
    pace_ = byteMs_;
    known_ = false;
    dense_ = false;
    paced_.clear();
    bounds_.clear();
}

double LineClock::arrived(qsizetype bytes, uint32_t tick) {
    if (!known_) {
        known_ = true;
        base_ = tick;
        bytes_ = 0;
        end_ = 0;
    }
    const double now = double(elapsedTicks(base_, tick));
    bytes_ += bytes;
    endBefore_ = end_;
    lastRead_ = bytes;
    // A read long after the last one is a pause of the line only if the bytes it brings do not
    // fill the time: a program that stalled reads what the line went on sending meanwhile.
    const double gap = paced_.empty() ? 0 : now - paced_.back().at;
    const bool stalled = dense_ && gap > kPauseMs && double(bytes) * pace_ >= gap - kPauseMs / 2;
    // The pace: the window's bytes came in the time from its first arrival to this one.
    // The pace is measured afresh after a pause, but the stream keeps the one it had meanwhile:
    // only the arrivals before the pause no longer bound the bytes after it.
    afterPause_ = gap > kPauseMs && !stalled;
    if (afterPause_) {
        paced_.clear();
        bounds_.clear();
    }
    while (!paced_.empty() && now - paced_.front().at > kPaceWindowMs)
        paced_.pop_front();
    if (!paced_.empty() && now - paced_.front().at >= kPaceWindowMs / 6) {
        pace_ = std::max(byteMs_, (now - paced_.front().at) / double(bytes_ - paced_.front().bytes));
        dense_ = pace_ <= kDensePace * byteMs_;
    }
    paced_.push_back({now, bytes_});
    // After a stall the arrivals before it still bound the bytes that followed them.
    while (bounds_.size() > kMinBounds && now - bounds_.front().at > kBoundMs)
        bounds_.pop_front();
    bounds_.push_back({now, bytes_});
    // Each recent arrival bounds when the last byte can have ended: at the latest its own time
    // plus the bytes read since at the line's pace.
    double end = now;
    if (dense_)
        for (const Seen& s : bounds_)
            end = std::min(end, s.at + double(bytes_ - s.bytes) * pace_);
    end_ = end;
    // Re-based now and then, so a day's stream keeps its precision and never nears the wrap.
    if (end_ > 3.6e6) {
        const double whole = std::floor(end_);
        base_ += uint32_t(whole);
        end_ -= whole;
        endBefore_ -= whole;
        for (auto* list : {&paced_, &bounds_})
            for (Seen& s : *list)
                s.at -= whole;
    }
    return end_;
}

double LineClock::endOf(qsizetype before) const {
    const double pace = dense_ ? pace_ : byteMs_;
    // A byte read before a pause ended by the time that read's last byte did.
    if (afterPause_ && before >= lastRead_)
        return std::min(end_ - double(before) * pace, endBefore_ - double(before - lastRead_) * pace);
    return end_ - double(before) * pace;
}

uint32_t LineClock::tickOf(qsizetype before) const {
    return base_ + uint32_t(int64_t(std::llround(endOf(before))));
}

} // namespace kx
