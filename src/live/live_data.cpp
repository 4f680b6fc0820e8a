#include "live/live_data.h"

#include "link/ecu_protocol.h"
#include "link/framing.h"
#include "util/numbers.h"
#include "util/settings.h"

#include <algorithm>

namespace kx {

namespace {

float temperature(uint16_t raw, const Units& units) {
    const int celsius = raw - 50;
    if (!units.fahr) return static_cast<float>(celsius);
    // × 1.8 + 32 in tenths: exact, so the one decimal needs no rounding.
    return decimalSingle(int64_t{celsius} * 18 + 320, 1);
}

float speed(uint16_t raw, const Units& units) {
    // km/h is worked in single precision and mph in double, as the two unit paths always were.
    if (!units.mph) return roundHalfEvenF(static_cast<float>(raw * 2) * units.speedCorrect, 1);
    const double mph = raw * 2 / 1.6 * static_cast<double>(units.speedCorrect);
    return static_cast<float>(roundHalfEven(mph, 1));
}

const QString& onOff(uint8_t raw, int bit) {
    static const QString on = QStringLiteral("On");
    static const QString off = QStringLiteral("Off");
    return (raw >> bit) & 1 ? on : off;
}

const QString& thermoFan(uint8_t raw) {
    static const std::array<QString, 4> states{QStringLiteral("Off"), QStringLiteral("Low"),
                                               QStringLiteral("High"), QStringLiteral("On")};
    return states[raw & 3];
}

// `raw`: the bit shifted to bit 0; set is lean.
const QString& airFuel(uint8_t raw) {
    static const QString lean = QStringLiteral("Lean");
    static const QString rich = QStringLiteral("Rich");
    return raw & 1 ? lean : rich;
}

} // namespace

float convertGauge(int gauge, uint16_t raw, const Units& units) {
    if (gauge < 0 || gauge >= kChannelCount) return 0.0f;
    switch (channelAt(gauge).conversion) {
    case Conversion::Rpm:
        return scaledDecimal(raw, 125, 10, 0);
    case Conversion::AirFlow:
        return scaledDecimal(raw, 5, 1000, 2);
    case Conversion::Temperature:
        return temperature(raw, units);
    case Conversion::Speed:
        return speed(raw, units);
    case Conversion::Battery:
        return scaledDecimal(raw, 8, 100, 1);
    case Conversion::Volts20mV:
        return scaledDecimal(raw, 2, 100, 2);
    case Conversion::Millis10us:
        return scaledDecimal(raw, 1, 100, 2);
    case Conversion::Timing:
        return static_cast<float>(110 - raw);
    case Conversion::Aac:
        return scaledDecimal(raw, 100, 255, 0); // ÷ 2.55
    case Conversion::Raw:
        return static_cast<float>(raw);
    case Conversion::DutyCycle:
    case Conversion::Wideband:
        break;
    }
    return 0.0f;
}

float dutyCycle(float rpm, float injectorTime) {
    return roundHalfEvenF(rpm / 1200.0f * injectorTime, 2);
}

void decodeSwitchRegister(int flagIndex, uint8_t raw, std::array<QString, kIndicatorCount>& s) {
    for (size_t i = 0; i < indicators().size(); ++i) {
        const Indicator& ind = indicators()[i];
        if (ind.switchIndex != flagIndex) continue;
        switch (ind.kind) {
        case Indicator::Kind::OnOff:
            s[i] = onOff(raw, ind.bit);
            break;
        case Indicator::Kind::ThermoFan:
            s[i] = thermoFan(static_cast<uint8_t>(raw >> ind.bit));
            break;
        case Indicator::Kind::AirFuel:
            s[i] = airFuel(static_cast<uint8_t>(raw >> ind.bit));
            break;
        }
    }
}

QByteArray fullDataRequest(const GaugeSetup& setup) {
    const int n = setup.displayByteCount;
    if (n == 0) return {};
    QByteArray request;
    request.reserve(2 * n);
    const auto append = [&request](uint8_t reg) {
        request.append(static_cast<char>(kRegisterRead));
        request.append(static_cast<char>(reg));
    };
    for (int k = 0; k < kDisplaySlots; ++k) {
        const uint8_t g = setup.displaySelection[static_cast<size_t>(k)];
        if (g >= kGaugeCount) return {};
        const GaugeInfo& info = setup.gaugeCatalogue[g];
        for (int r = 0; r < info.size() && r < 2; ++r)
            append(info.iniStr(r));
    }
    for (size_t f = 0; f < kSwitchRegisters.size(); ++f) {
        if (setup.displaySelection[kFirstSwitchFlag + f] == 1) append(kSwitchRegisters[f]);
    }
    // A request that the counted frame length does not describe could never be decoded.
    if (request.size() != 2 * n) return {};
    return request;
}

LinkSequence fullDataArming(const GaugeSetup& setup) {
    LinkSequence s;
    const QByteArray request = fullDataRequest(setup);
    if (request.isEmpty()) return s;
    s.arm(request, 50, streamThreshold(setup.displayByteCount), false, true);
    return s;
}

StoredUnits readStoredUnits(const Settings& store) {
    StoredUnits u;
    const auto number = [&store](const char* section, const char* key) {
        return parseNumber(store.read(QString::fromLatin1(section), QString::fromLatin1(key)));
    };
    // Only a finite positive correction: the speed is divided by nothing else.
    const auto correction =
        usableCorrection(store.read(QStringLiteral("TyreSize"), QStringLiteral("Correction")));
    if (!correction) return u;
    u.speedCorrect = *correction;
    const auto speed = number("Preferences", "Speed");
    if (!speed) return u;
    u.mph = *speed != 0;
    const auto temperature = number("Preferences", "Temperature");
    if (!temperature) return u;
    u.fahr = *temperature != 0;
    const auto obd2 = number("Comms", "OBDIImodel");
    if (obd2) u.obd2 = *obd2 != 0;
    return u;
}

FrameReadings readFrame(const QByteArray& bytes, const GaugeSetup& setup) {
    FrameReadings r;
    const uint8_t n = setup.displayByteCount;
    const int p = findFrame(bytes, n, n + 2);
    if (p < 0) return r;
    r.found = true;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    const qsizetype end = bytes.size();
    qsizetype c = p + 1; // the count byte; each value starts at c + 1
    r.dataAt = int(c + 1);

    for (int k = 0; k < kDisplaySlots; ++k) {
        const uint8_t g = setup.displaySelection[static_cast<size_t>(k)];
        if (g >= kGaugeCount) return r;
        FrameReadings::Slot& slot = r.bySlot[static_cast<size_t>(k)];
        slot.gauge = g;
        const int size = setup.gaugeCatalogue[g].size();
        slot.size = uint8_t(size);
        if (size > 0) {
            if (c + size >= end) return r;
            uint16_t raw = data[c + 1];
            if (size >= 2) {
                // High byte 0x80 or more: the 16-bit value overflows its signed form.
                if (raw >= 0x80) return r;
                raw = static_cast<uint16_t>(raw << 8 | data[c + 2]);
            }
            slot.raw = raw;
            c += size;
        }
        r.slotCount = k + 1;
    }
    for (size_t f = 0; f < kSwitchRegisters.size(); ++f) {
        if (setup.displaySelection[kFirstSwitchFlag + f] != 1) continue;
        if (c + 1 >= end) return r;
        r.bySwitch[static_cast<size_t>(r.switchCount++)] = {static_cast<uint8_t>(f), data[c + 1]};
        ++c;
    }
    return r;
}

std::optional<uint16_t> FrameReadings::rawOf(int gauge) const {
    for (int k = 0; k < slotCount; ++k) {
        const Slot& slot = bySlot[static_cast<size_t>(k)];
        if (slot.gauge == gauge && slot.raw) return slot.raw;
    }
    return std::nullopt;
}

void applyReadings(const FrameReadings& r, const Units& units, LiveValues& values, int slotLimit) {
    for (int k = 0; k < std::min(r.slotCount, slotLimit); ++k) {
        const FrameReadings::Slot& slot = r.bySlot[static_cast<size_t>(k)];
        float& out = values.gaugeValue[slot.gauge];
        // Duty cycles use RPM and injector time as they stand now: this frame's values when
        // those gauges sit in earlier slots, otherwise the previous frame's.
        const Channel& ch = channelAt(slot.gauge);
        if (ch.conversion == Conversion::DutyCycle) {
            out = dutyCycle(values.gaugeValue[channel::Rpm],
                            values.gaugeValue[static_cast<size_t>(ch.from)]);
        } else if (ch.conversion == Conversion::Wideband) {
            out = values.wbValues[0];
        } else if (slot.raw) {
            out = convertGauge(slot.gauge, *slot.raw, units);
        }
    }
    for (int i = 0; i < r.switchCount; ++i) {
        const FrameReadings::Switch& s = r.bySwitch[static_cast<size_t>(i)];
        decodeSwitchRegister(s.flagIndex, s.raw, values.switchState);
    }
}

void getFullData(const QByteArray& bytes, const GaugeSetup& setup, const Units& units,
                 LiveValues& values) {
    applyReadings(readFrame(bytes, setup), units, values);
}

} // namespace kx
