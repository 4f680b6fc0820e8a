#include "live/spike_filter.h"

#include "link/SerialPort.h"
#include "link/debug_trace.h"
#include "util/ticks.h"
#include "util/settings.h"

#include <algorithm>
#include <cmath>

namespace kx {

void SpikeFilter::reset(int baud) {
    last_.reset();
    held_.reset();
    baud_ = std::max(baud, 1);
}

std::optional<SpikeFilter::Frame> SpikeFilter::take(Frame next) {
    if (!last_) {
        last_ = next;
        return next;
    }
    if (!held_) {
        held_ = std::move(next);
        return std::nullopt;
    }
    std::optional<Frame> passed;
    if (isSpike(*held_, next)) {
        ++dropped_;
    } else {
        last_ = *held_;
        passed = std::move(held_);
    }
    held_ = std::move(next);
    return passed;
}

bool SpikeFilter::isSpike(const Frame& held, const Frame& next) const {
    const FrameReadings& l = last_->readings;
    const FrameReadings& h = held.readings;
    const FrameReadings& n = next.readings;
    const int common = std::min({l.slotCount, h.slotCount, n.slotCount});
    for (size_t k = 0; k < size_t(common); ++k) {
        const int g = h.bySlot[k].gauge;
        if (l.bySlot[k].gauge != g || n.bySlot[k].gauge != g || maxRawRate(g) <= 0) continue;
        const auto lr = l.bySlot[k].raw, hr = h.bySlot[k].raw, nr = n.bySlot[k].raw;
        if (!lr || !hr || !nr) continue;
        const auto moved = [](uint16_t a, uint16_t b) { return std::abs(int(a) - int(b)); };
        // Out of the next frame's reach, one of the two is wrong: the held one, unless it agrees
        // with the last frame let through and the next one does not. The next need not come
        // back: on a noisy line two frames in a row can be wrong.
        if (moved(*nr, *hr) > allowance(g, held, next) &&
            (moved(*hr, *lr) > allowance(g, *last_, held) ||
             moved(*nr, *lr) <= allowance(g, *last_, next)))
            return true;
    }
    return false;
}

double SpikeFilter::allowance(int gauge, const Frame& from, const Frame& to) const {
    // An adapter may hand several frames over in one tick, but each took its own length (10
    // bits a byte) on the line.
    const double lineMs = double(to.bytes.size()) * 10000.0 / baud_;
    const double ms = std::max(double(elapsedTicks(from.at, to.at)), lineMs);
    // At least one count: the smallest step the ECU reports is never a spike.
    return std::max(1.0, maxRawRate(gauge) * ms / 1000.0);
}

GaugeSetup streamLayout(std::initializer_list<int> gauges) {
    GaugeSetup s;
    buildCatalogue(s.gaugeCatalogue, false, false); // raw counts: the units play no part
    for (size_t k = 0; k < kDisplaySlots; ++k)
        s.displaySelection[k] = kWidebandGauge; // reads no bytes
    size_t k = 0;
    for (int g : gauges)
        if (k < kDisplaySlots) s.displaySelection[k++] = uint8_t(g);
    countBytes(s);
    return s;
}

std::optional<SpikeFilter::Frame> filterFrame(SpikeFilter& filter, const QByteArray& frame,
                                              const GaugeSetup& setup, DebugTrace& trace,
                                              uint32_t at) {
    const uint64_t before = filter.dropped();
    auto passed = filter.take({frame, readFrame(frame, setup), at});
    if (filter.dropped() != before)
        trace.note("spikes dropped: " + QByteArray::number(quint64(filter.dropped())));
    return passed;
}

} // namespace kx
