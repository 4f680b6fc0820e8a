#include "tools/map_file.h"

#include "tools/map_grid.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <algorithm>
#include <charconv>

namespace kx {

namespace {
constexpr qsizetype kLargestFile = 64 * 1024; // a map file is 1 to 2 kB
constexpr QByteArrayView kCorner = "RPM\\TP";

MapFileRead fromGrid(const GridFileRead& grid) {
    if (!grid.scales) return {std::nullopt, grid.error};
    EngineMap map;
    map.scales = *grid.scales;
    for (size_t i = 0; i < 256; ++i)
        map.values[i] = uint8_t(grid.values[i]);
    return {map, {}};
}

} // namespace

QByteArray mapFileText(const EngineMap& map) {
    GridValues values{};
    std::copy(map.values.begin(), map.values.end(), values.begin());
    return gridFileText(map.scales, values);
}

void appendMapLayout(QByteArray& out, const MapScales& scales,
                     const std::function<QByteArray(int cell)>& figure) {
    out += kCorner.toByteArray();
    for (int tp : scales.tp)
        out += ',' + QByteArray::number(tp);
    out += "\r\n";
    for (int row = 0; row < 16; ++row) {
        out += QByteArray::number(scales.rpm[size_t(row)]);
        for (int column = 0; column < 16; ++column)
            out += ',' + figure(16 * row + column);
        out += "\r\n";
    }
}

void appendMapBlock(QByteArray& out, const char* title, const MapScales& scales,
                    const std::function<QByteArray(int cell)>& figure) {
    out += title;
    out += "\r\n";
    appendMapLayout(out, scales, figure);
}

QByteArray gridFileText(const MapScales& scales, const GridValues& values) {
    QByteArray out;
    appendMapLayout(out, scales,
                    [&](int cell) { return QByteArray::number(values[size_t(cell)]); });
    return out;
}

MapFileRead parseMapFile(QByteArrayView bytes) {
    return fromGrid(parseGridFile(bytes, 0, 255));
}

GridFileRead parseGridFile(QByteArrayView bytes, int lowest, int highest) {
    const GridTextRead text =
        parseGridText(std::string_view(bytes.data(), size_t(bytes.size())), lowest, highest);
    GridFileRead out;
    if (!text.grid) {
        out.error = QString::fromLatin1(text.error.data(), qsizetype(text.error.size()));
        return out;
    }
    out.scales.emplace();
    out.scales->rpm = text.grid->rpm;
    out.scales->tp = text.grid->tp;
    out.values = text.grid->values;
    return out;
}

MapFileRead readMapFile(const QString& path) {
    return fromGrid(readGridFile(path, 0, 255));
}

MapSizedFile readMapSizedFile(const QString& path) {
    MapSizedFile r;
    const QFileInfo info(path);
    // A FIFO or a device would block the read, or never end.
    if (!info.isFile()) {
        r.error = QStringLiteral("It is not a regular file.");
        return r;
    }
    if (info.size() > kLargestFile) {
        r.error = QStringLiteral("It is too large for a map file.");
        return r;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        r.error = file.errorString();
        return r;
    }
    r.bytes = file.read(kLargestFile + 1);
    return r;
}

GridFileRead readGridFile(const QString& path, int lowest, int highest) {
    const MapSizedFile file = readMapSizedFile(path);
    if (!file.bytes) {
        GridFileRead r;
        r.error = file.error;
        return r;
    }
    return parseGridFile(*file.bytes, lowest, highest);
}

} // namespace kx
