#include "tools/map_file.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <algorithm>
#include <charconv>

namespace kx {

namespace {
constexpr int kLines = 17;
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

GridFileRead refusedGrid(int lineNumber, const QString& why) {
    GridFileRead r;
    r.error = QStringLiteral("Line %1: %2").arg(lineNumber).arg(why);
    return r;
}

std::optional<int> wholeNumber(QByteArrayView field, int lowest, int highest) {
    const QByteArrayView t = field.trimmed();
    int v = -1;
    const auto [end, err] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.isEmpty() || err != std::errc() || end != t.data() + t.size() || v < lowest ||
        v > highest)
        return std::nullopt;
    return v;
}

QString notANumber(QByteArrayView field, int lowest, int highest) {
    const QByteArrayView t = field.trimmed();
    return QStringLiteral("\"%1\" is not a whole number from %2 to %3.")
        .arg(QString::fromLatin1(t.first(std::min<qsizetype>(t.size(), 40))))
        .arg(lowest)
        .arg(highest);
}

} // namespace

QByteArray mapFileText(const EngineMap& map) {
    GridValues values{};
    std::copy(map.values.begin(), map.values.end(), values.begin());
    return gridFileText(map.scales, values);
}

QByteArray gridFileText(const MapScales& scales, const GridValues& values) {
    QByteArray out = kCorner.toByteArray();
    for (int tp : scales.tp)
        out += ',' + QByteArray::number(tp);
    out += "\r\n";
    for (int row = 0; row < 16; ++row) {
        out += QByteArray::number(scales.rpm[size_t(row)]);
        for (int c = 0; c < 16; ++c)
            out += ',' + QByteArray::number(values[size_t(16 * row + c)]);
        out += "\r\n";
    }
    return out;
}

MapFileRead parseMapFile(QByteArrayView bytes) {
    return fromGrid(parseGridFile(bytes, 0, 255));
}

GridFileRead parseGridFile(QByteArrayView bytes, int lowest, int highest) {
    QList<QByteArrayView> lines;
    for (qsizetype at = 0; at < bytes.size();) {
        qsizetype lf = bytes.indexOf('\n', at);
        if (lf < 0) lf = bytes.size();
        QByteArrayView l = bytes.sliced(at, lf - at);
        if (l.endsWith('\r')) l.chop(1);
        lines << l;
        at = lf + 1;
    }
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    // Line by line, so that the first fault in the file is the one named.
    GridFileRead map;
    map.scales.emplace();
    for (int l = 0; l < std::min<int>(int(lines.size()), kLines); ++l) {
        QList<QByteArrayView> fields;
        for (qsizetype at = 0;;) {
            const qsizetype comma = lines[l].indexOf(',', at);
            fields << lines[l].sliced(at, (comma < 0 ? lines[l].size() : comma) - at);
            if (comma < 0) break;
            at = comma + 1;
        }
        if (fields.size() != 17)
            return refusedGrid(
                l + 1,
                QStringLiteral("%1 columns; each line of a map file has 17.").arg(fields.size()));
        for (int c = 0; c < 17; ++c) {
            const QByteArrayView f = fields[c];
            if (l == 0 && c == 0) {
                if (f.trimmed() != kCorner)
                    return refusedGrid(1, QStringLiteral("a map file starts with \"RPM\\TP\"."));
                continue;
            }
            // Engine speed headers are scale bytes × 50; the rest are bytes.
            const bool cell = l > 0 && c > 0;
            const int low = cell ? lowest : 0;
            const int high = cell ? highest : l > 0 ? 255 * 50 : 255;
            const auto v = wholeNumber(f, low, high);
            if (!v) return refusedGrid(l + 1, notANumber(f, low, high));
            if (l == 0) {
                map.scales->tp[size_t(c - 1)] = *v;
            } else if (c == 0) {
                map.scales->rpm[size_t(l - 1)] = *v;
            } else {
                map.values[size_t(16 * (l - 1) + c - 1)] = *v;
            }
        }
    }
    if (lines.size() < kLines)
        return refusedGrid(
            int(lines.size()) + 1,
            QStringLiteral("the map ends here; a map file has %1 lines.").arg(kLines));
    if (lines.size() > kLines)
        return refusedGrid(kLines + 1,
                           QStringLiteral("a map file ends after line %1.").arg(kLines));
    return map;
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
