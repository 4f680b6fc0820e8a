#include "live/spike_filter.h"

#include "link/SerialPort.h"
#include "link/debug_trace.h"
#include "live/channels.h"
#include "live/line_shift.h"
#include "util/ticks.h"
#include "util/settings.h"

#include <algorithm>
#include <cmath>

namespace kx {

namespace {

int moved(uint16_t a, uint16_t b) {
    return std::abs(int(a) - int(b));
}

// Channels that no engine moves far between two frames, so that two frames shifted alike by
// the line are likelier than a real step.
bool isSlow(int gauge) {
    return gauge == channel::WaterTemp || gauge == channel::AirTemp || gauge == channel::FuelTemp ||
           gauge == channel::Battery;
}

// The bits of an indicator's state in its switch register; none for the rich/lean bit, which
// the closed loop swings every few frames.
uint8_t judgedBits(const Indicator& ind) {
    switch (ind.kind) {
    case Indicator::Kind::OnOff:
        return uint8_t(1u << ind.bit);
    case Indicator::Kind::ThermoFan:
        return uint8_t(3u << ind.bit);
    case Indicator::Kind::AirFuel:
        break;
    }
    return 0;
}

} // namespace

void SpikeFilter::reset(int baud) {
    waver_.fill(0);
    last_.reset();
    held_.reset();
    step_.reset();
    baud_ = std::max(baud, 1);
}

std::optional<SpikeFilter::Frame> SpikeFilter::take(Frame next) {
    if (!next.whole) {
        ++dropped_;
        return std::nullopt;
    }
    std::optional<Frame> passed;
    if (held_) {
        const bool ok = passes(*held_, next);
        noteWaver(*held_, next);
        if (ok) {
            last_ = *held_;
            step_.reset();
            passed = std::move(held_);
        } else {
            ++dropped_;
        }
    }
    held_ = std::move(next);
    return passed;
}

bool SpikeFilter::passes(const Frame& held, const Frame& next) {
    // Nothing yet to judge the first frame by: its successor has to agree with it.
    if (!last_) return agree(held, next);
    if (isSpike(held, next) || switchBlip(held, next) ||
        shiftedByLine(last_->bytes, last_->readings, held.bytes, held.readings, next.bytes,
                      next.readings))
        return false;
    if (!slowStep(held)) return true;
    if (step_ && agree(*step_, held)) return true;
    step_ = held;
    return false;
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
        // Out of the next frame's reach, one of the two is wrong: the held one, unless it agrees
        // with the last frame let through and the next one does not. The next need not come
        // back: on a noisy line two frames in a row can be wrong.
        if (moved(*nr, *hr) > allowance(g, held, next) &&
            (moved(*hr, *lr) > allowance(g, *last_, held) ||
             moved(*nr, *lr) <= allowance(g, *last_, next)))
            return true;
        // Out and back again, by more than the neighbours differ and more than the channel
        // wavers: a byte the line put in its place is far likelier than an engine that turns
        // round at once, whatever its rate allows one way.
        const int low = std::min(*lr, *nr), high = std::max(*lr, *nr);
        const int out = *hr < low ? low - *hr : *hr > high ? *hr - high : 0;
        if (out > std::max({kTurnCounts, double(high - low), kTurnWaver * waver_[k]})) return true;
    }
    return false;
}

void SpikeFilter::noteWaver(const Frame& a, const Frame& b) {
    const FrameReadings& ar = a.readings;
    const FrameReadings& br = b.readings;
    for (size_t k = 0; k < size_t(std::min(ar.slotCount, br.slotCount)); ++k) {
        if (ar.bySlot[k].gauge != br.bySlot[k].gauge || !ar.bySlot[k].raw || !br.bySlot[k].raw)
            continue;
        // Every pair of frames counts, clipped so that a spoiled one moves it little.
        const double step = std::min<double>(moved(*ar.bySlot[k].raw, *br.bySlot[k].raw),
                                             4 * waver_[k] + 4);
        waver_[k] += (step - waver_[k]) / 16;
    }
}

bool SpikeFilter::slowStep(const Frame& held) const {
    const FrameReadings& l = last_->readings;
    const FrameReadings& h = held.readings;
    for (size_t k = 0; k < size_t(std::min(l.slotCount, h.slotCount)); ++k) {
        const int g = h.bySlot[k].gauge;
        if (l.bySlot[k].gauge != g || !isSlow(g) || !l.bySlot[k].raw || !h.bySlot[k].raw) continue;
        if (moved(*h.bySlot[k].raw, *l.bySlot[k].raw) > allowance(g, *last_, held)) return true;
    }
    return false;
}

bool SpikeFilter::switchBlip(const Frame& held, const Frame& next) const {
    const FrameReadings& l = last_->readings;
    const FrameReadings& h = held.readings;
    const FrameReadings& n = next.readings;
    const int common = std::min({l.switchCount, h.switchCount, n.switchCount});
    for (size_t i = 0; i < size_t(common); ++i) {
        const int f = h.bySwitch[i].flagIndex;
        if (l.bySwitch[i].flagIndex != f || n.bySwitch[i].flagIndex != f) continue;
        for (const Indicator& ind : indicators()) {
            if (ind.switchIndex != f) continue;
            const uint8_t mask = judgedBits(ind);
            const uint8_t lb = l.bySwitch[i].raw & mask, hb = h.bySwitch[i].raw & mask,
                          nb = n.bySwitch[i].raw & mask;
            if (hb != lb && nb == lb) return true;
        }
    }
    return false;
}

bool SpikeFilter::agree(const Frame& a, const Frame& b) const {
    const FrameReadings& ar = a.readings;
    const FrameReadings& br = b.readings;
    for (size_t k = 0; k < size_t(std::min(ar.slotCount, br.slotCount)); ++k) {
        const int g = ar.bySlot[k].gauge;
        if (br.bySlot[k].gauge != g || maxRawRate(g) <= 0) continue;
        if (!ar.bySlot[k].raw || !br.bySlot[k].raw) continue;
        if (moved(*ar.bySlot[k].raw, *br.bySlot[k].raw) > allowance(g, a, b)) return false;
    }
    return true;
}

double SpikeFilter::allowance(int gauge, const Frame& from, const Frame& to) const {
    // An adapter may hand several frames over in one tick, but each took its own length (10
    // bits a byte) on the line.
    const double lineMs = double(to.bytes.size()) * 10000.0 / baud_;
    const double ms = std::max(double(elapsedTicks(from.at, to.at)), lineMs);
    // At least one count: the smallest step the ECU reports is never a spike.
    return std::max(1.0, maxRawRate(gauge) * ms / 1000.0);
}

bool decodesWhole(const FrameReadings& readings, const GaugeSetup& setup) {
    if (setup.displayByteCount == 0) return true;
    int slotCount = 0;
    while (slotCount < kDisplaySlots && setup.displaySelection[size_t(slotCount)] < kGaugeCount)
        ++slotCount;
    int switches = 0;
    // A slot past the catalogue ends the reading before the switch registers.
    for (size_t f = 0; slotCount == kDisplaySlots && f < kSwitchRegisters.size(); ++f)
        switches += setup.displaySelection[kFirstSwitchFlag + f] == 1;
    return readings.found && readings.slotCount == slotCount && readings.switchCount == switches;
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
    FrameReadings readings = readFrame(frame, setup);
    const bool whole = decodesWhole(readings, setup);
    auto passed = filter.take({frame, std::move(readings), at, whole});
    if (filter.dropped() != before)
        trace.note("spikes dropped: " + QByteArray::number(quint64(filter.dropped())));
    return passed;
}

} // namespace kx
