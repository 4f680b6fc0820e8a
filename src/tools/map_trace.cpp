#include "tools/map_trace.h"

#include "live/live_data.h"
#include "util/hex.h"

namespace kx {

const std::array<MapPreset, 12>& mapPresets() {
    // RPM MSB, RPM LSB, TP MSB, map, TP scale, RPM scale.
    static const std::array<MapPreset, 12> presets = {{
        {"RB25DET - timing", {"F70C", "F70D", "F777", "7800", "7B10", "7B20"}},
        {"RB25DET - fuel", {"F70C", "F70D", "F777", "7400", "7AF0", "7B00"}},
        {"VG30DETT - timing", {"140A", "140B", "148C", "F800", "FB10", "FB20"}},
        {"VG30DETT - fuel", {"140A", "140B", "148C", "FD00", "FAF0", "FB00"}},
        {"R32 RB26DETT - timing", {"140A", "140B", "148C", "F400", "FB10", "FB20"}},
        {"R32 RB26DETT - fuel", {"140A", "140B", "148C", "FD00", "FAF0", "FB00"}},
        {"Sr20det - timing", {"4475", "4474", "41DE", "8D00", "8490", "8480"}},
        {"Sr20det - fuel", {"4475", "4474", "41DE", "8100", "80F0", "80E0"}},
        {"Rb20det - timing", {"140A", "140B", "1484", "F400", "FB10", "FB20"}},
        {"Rb20det - fuel", {"140A", "140B", "1484", "FD00", "FAF0", "FB00"}},
        {"VE30DE - timing", {"416B", "416A", "41C5", "F800", "FAF0", "FB00"}},
        {"VE30DE - fuel", {"416B", "416A", "41C5", "F400", "FB10", "FB20"}},
    }};
    return presets;
}

QString mapSettingKey(MapField field) {
    static const char* const keys[] = {"RPMmsbAddress", "RPMlsbAddress",  "TPmsbAddress",
                                       "MapAddress",    "TPscaleAddress", "RPMscaleAddress"};
    return QString::fromLatin1(keys[field]);
}

QString mapFieldName(MapField field) {
    static const char* const names[] = {"RPM MSB Address", "RPM LSB Address",  "TP MSB Address",
                                        "Map Address",     "TP Scale Address", "RPM Scale Address"};
    return QString::fromLatin1(names[field]);
}

QString invalidAddressMessage(MapField field) {
    return QStringLiteral("Invalid ") + mapFieldName(field);
}

std::optional<MapField> firstInvalidEntry(const MapAddressTexts& texts) {
    for (int f = 0; f < MapFieldCount; ++f)
        if (!parseAddress(texts[size_t(f)])) return MapField(f);
    return std::nullopt;
}

MapAddresses storedAddresses(const MapAddressTexts& texts) {
    MapAddresses a;
    for (size_t f = 0; f < a.size(); ++f) {
        const auto v = parseHex(texts[f], 0xFFFF);
        if (v) a[f] = uint16_t(*v);
    }
    return a;
}

QString blockedMessage(MapField field, const QString& stored) {
    const QString why = parseHex(stored, 0xFFFF) ? QStringLiteral("puts its block past FFFF")
                                                 : QStringLiteral("is not a hexadecimal address");
    return QStringLiteral("Stopped: the stored %1 \"%2\" %3.")
        .arg(mapFieldName(field), stored, why);
}

MapRead::MapRead(const MapAddresses& addresses) : addresses_(addresses) {
    startBlock();
}

bool MapRead::startBlock() {
    static constexpr struct {
        MapField field;
        int firstCell;
        int length;
    } blocks[] = {{RpmScale, maptrace::FirstRowHeader, 16},
                  {TpScale, maptrace::FirstColumnHeader, 16},
                  {MapStart, maptrace::FirstMapCell, 256}};
    if (phase_ == TracePhase) {
        for (MapField f : {RpmMsb, RpmLsb, TpMsb}) {
            if (!addresses_[f]) {
                blocked_ = f;
                return false;
            }
        }
        return true;
    }
    const auto& b = blocks[phase_];
    if (!addresses_[b.field] || *addresses_[b.field] + b.length - 1 > 0xFFFF) {
        blocked_ = b.field;
        return false;
    }
    cell_ = b.firstCell;
    current_ = *addresses_[b.field];
    last_ = current_ + b.length - 1;
    return true;
}

std::optional<MapRead::Byte> MapRead::next() {
    if (blocked_) return std::nullopt;
    while (current_ > last_) {
        if (phase_ == TracePhase) return std::nullopt;
        phase_ = Phase(phase_ + 1);
        if (!startBlock() || phase_ == TracePhase) return std::nullopt;
    }
    Byte b{uint16_t(current_), cell_};
    ++current_;
    ++cell_;
    return b;
}

void MapRead::skipToTrace() {
    // A scale or map address that stopped the reading no longer matters.
    blocked_.reset();
    phase_ = TracePhase;
    current_ = 0;
    last_ = -1;
    startBlock();
}

std::array<uint16_t, 3> MapRead::liveAddresses() const {
    return {addresses_[RpmMsb].value_or(0), addresses_[RpmLsb].value_or(0),
            addresses_[TpMsb].value_or(0)};
}

QString cellCaption(int cell, uint8_t value) {
    const bool rpmHeader = cell >= maptrace::FirstRowHeader && cell < maptrace::FirstColumnHeader;
    return QString::number(rpmHeader ? 50 * int(value) : int(value));
}

QString cellStepName(int cell) {
    using namespace maptrace;
    if (cell >= FirstMapCell) {
        const int k = cell - FirstMapCell;
        return QStringLiteral("map row %1, column %2").arg(k / 16 + 1).arg(k % 16 + 1);
    }
    if (cell >= FirstColumnHeader)
        return QStringLiteral("TP scale %1").arg(cell - FirstColumnHeader + 1);
    return QStringLiteral("RPM scale %1").arg(cell - FirstRowHeader + 1);
}

int engineSpeed(uint8_t msb, uint8_t lsb) {
    return int(convertGauge(channel::Rpm, uint16_t(msb << 8 | lsb), Units{}));
}

int headerIndex(const std::array<int, 16>& headers, int value) {
    for (int i = 0; i < 16; ++i)
        if (headers[size_t(i)] >= value) return i + 1;
    return 16;
}

int mapCellOf(const MapScales& scales, int rpm, int tp) {
    return 16 * (headerIndex(scales.rpm, rpm) - 1) + headerIndex(scales.tp, tp) - 1;
}

GridPlace gridPlace(int cell) {
    if (cell >= maptrace::FirstMapCell) return {(cell - 17) / 16, (cell - 17) % 16 + 1};
    if (cell >= maptrace::FirstColumnHeader) return {0, cell - 16};
    return {cell, 0}; // the row headers, and the corner at 0
}

TraceTrail::Move TraceTrail::moveTo(int cell) {
    if (cell == current_) return {};
    Move m{current_, cell};
    current_ = cell;
    return m;
}

} // namespace kx
