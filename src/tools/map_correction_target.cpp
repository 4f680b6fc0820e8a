#include "tools/map_correction.h"

#include "tools/fuel_target.h"

#include <QFileInfo>

namespace kx {

TargetTable defaultTarget(const MapScales& scales) {
    TargetTable t;
    t.scales = scales;
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c)
            t.hundredths[size_t(16 * r + c)] =
                defaultTargetHundredths(scales.rpm[size_t(r)], scales.tp[size_t(c)]);
    return t;
}

GridValues targetOnMap(const TargetTable& target, const MapScales& map) {
    GridValues out{};
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c)
            out[size_t(16 * r + c)] = target.hundredths[size_t(
                mapCellOf(target.scales, map.rpm[size_t(r)], map.tp[size_t(c)]))];
    return out;
}

namespace {
constexpr QByteArrayView kLockedTitle = "# Locked";

GridValues lockValues(const CellSet& locked) {
    GridValues v{};
    for (size_t i = 0; i < 256; ++i)
        v[i] = locked.test(i) ? 1 : 0;
    return v;
}

CellSet lockedOf(const GridValues& values) {
    CellSet locked;
    for (size_t i = 0; i < 256; ++i)
        locked.set(i, values[i] != 0);
    return locked;
}

// Where the lock block's title line starts, or -1.
qsizetype lockedTitleAt(QByteArrayView bytes) {
    for (qsizetype at = 0; at < bytes.size();) {
        qsizetype lf = bytes.indexOf('\n', at);
        if (lf < 0) lf = bytes.size();
        if (bytes.sliced(at, lf - at).trimmed() == kLockedTitle) return at;
        at = lf + 1;
    }
    return -1;
}
} // namespace

QByteArray targetFileText(const TargetTable& target) {
    QByteArray out = gridFileText(target.scales, target.hundredths);
    if (target.locked.none()) return out;
    out += "\r\n" + kLockedTitle.toByteArray() + "\r\n";
    return out + lockFileText(target.scales, target.locked);
}

QByteArray lockFileText(const MapScales& scales, const CellSet& locked) {
    return gridFileText(scales, lockValues(locked));
}

TargetFileRead parseTargetFile(QByteArrayView bytes) {
    const qsizetype title = lockedTitleAt(bytes);
    const GridFileRead grid =
        parseGridFile(title < 0 ? bytes : bytes.first(title), kTargetLowest, kTargetHighest);
    if (!grid.scales) return {std::nullopt, grid.error};
    TargetTable t{*grid.scales, grid.values, {}};
    if (title >= 0) {
        const qsizetype lf = bytes.indexOf('\n', title);
        const GridFileRead locks =
            parseGridFile(lf < 0 ? QByteArrayView() : bytes.sliced(lf + 1), 0, 1);
        if (!locks.scales) return {std::nullopt, QStringLiteral("Locked cells: ") + locks.error};
        if (*locks.scales != t.scales)
            return {std::nullopt,
                    QStringLiteral("Locked cells: the headers differ from the target's.")};
        t.locked = lockedOf(locks.values);
    }
    return {t, {}};
}

TargetFileRead readTargetFile(const QString& path) {
    const MapSizedFile file = readMapSizedFile(path);
    if (!file.bytes) return {std::nullopt, file.error};
    return parseTargetFile(*file.bytes);
}

LockFileRead readLockFile(const QString& path) {
    const GridFileRead grid = readGridFile(path, 0, 1);
    if (!grid.scales) return {std::nullopt, {}, grid.error};
    return {lockedOf(grid.values), *grid.scales, {}};
}

CellSet locksOnMap(const MapScales& lockScales, const CellSet& locked, const MapScales& map) {
    CellSet out;
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c)
            out.set(size_t(16 * r + c), locked.test(size_t(mapCellOf(lockScales, map.rpm[size_t(r)],
                                                                     map.tp[size_t(c)]))));
    return out;
}

MapKind mapKindOfFile(const QString& fileName) {
    const QString name = QFileInfo(fileName).fileName();
    if (name.contains(QLatin1String("timing"), Qt::CaseInsensitive)) return MapKind::Timing;
    if (name.contains(QLatin1String("fuel"), Qt::CaseInsensitive)) return MapKind::Fuel;
    return MapKind::Other;
}

namespace {
const MapPreset* presetOf(const MapAddressTexts& stored) {
    const MapAddresses mine = storedAddresses(stored);
    for (const MapPreset& p : mapPresets()) {
        MapAddressTexts texts;
        for (int f = 0; f < MapFieldCount; ++f)
            texts[size_t(f)] = QString::fromLatin1(p.addresses[size_t(f)]);
        if (storedAddresses(texts) == mine) return &p;
    }
    return nullptr;
}
} // namespace

MapKind mapKindOf(const MapAddressTexts& stored) {
    const MapPreset* p = presetOf(stored);
    if (!p) return MapKind::Other;
    return QByteArrayView(p->name).endsWith("fuel") ? MapKind::Fuel : MapKind::Timing;
}

QString mapPresetName(const MapAddressTexts& stored) {
    const MapPreset* p = presetOf(stored);
    return p ? QString::fromLatin1(p->name) : QString();
}

} // namespace kx
