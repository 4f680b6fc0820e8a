#include "tools/map_file.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <charconv>

namespace kx {

namespace {
constexpr int kLines = 17;
constexpr qsizetype kLargestFile = 64 * 1024; // a map file is 1 to 2 kB
constexpr QByteArrayView kCorner = "RPM\\TP";

MapFileRead refused(int lineNumber, const QString& why) {
    return {std::nullopt, QStringLiteral("Line %1: %2").arg(lineNumber).arg(why)};
}

std::optional<int> wholeNumber(QByteArrayView field, int highest) {
    const QByteArrayView t = field.trimmed();
    int v = -1;
    const auto [end, err] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.isEmpty() || err != std::errc() || end != t.data() + t.size() || v < 0 || v > highest)
        return std::nullopt;
    return v;
}

QString notANumber(QByteArrayView field, int highest) {
    const QByteArrayView t = field.trimmed();
    return QStringLiteral("\"%1\" is not a whole number from 0 to %2.")
        .arg(QString::fromLatin1(t.first(std::min<qsizetype>(t.size(), 40))))
        .arg(highest);
}

} // namespace

QByteArray mapFileText(const EngineMap& map) {
    QByteArray out = kCorner.toByteArray();
    for (int tp : map.scales.tp)
        out += ',' + QByteArray::number(tp);
    out += "\r\n";
    for (int row = 0; row < 16; ++row) {
        out += QByteArray::number(map.scales.rpm[size_t(row)]);
        for (int c = 0; c < 16; ++c)
            out += ',' + QByteArray::number(map.values[size_t(16 * row + c)]);
        out += "\r\n";
    }
    return out;
}

MapFileRead parseMapFile(QByteArrayView bytes) {
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
    EngineMap map;
    for (int l = 0; l < std::min<int>(int(lines.size()), kLines); ++l) {
        QList<QByteArrayView> fields;
        for (qsizetype at = 0;;) {
            const qsizetype comma = lines[l].indexOf(',', at);
            fields << lines[l].sliced(at, (comma < 0 ? lines[l].size() : comma) - at);
            if (comma < 0) break;
            at = comma + 1;
        }
        if (fields.size() != 17)
            return refused(
                l + 1,
                QStringLiteral("%1 columns; each line of a map file has 17.").arg(fields.size()));
        for (int c = 0; c < 17; ++c) {
            const QByteArrayView f = fields[c];
            if (l == 0 && c == 0) {
                if (f.trimmed() != kCorner)
                    return refused(1, QStringLiteral("a map file starts with \"RPM\\TP\"."));
                continue;
            }
            // Engine speed headers are scale bytes × 50; the rest are bytes.
            const int highest = l > 0 && c == 0 ? 255 * 50 : 255;
            const auto v = wholeNumber(f, highest);
            if (!v) return refused(l + 1, notANumber(f, highest));
            if (l == 0) {
                map.scales.tp[size_t(c - 1)] = *v;
            } else if (c == 0) {
                map.scales.rpm[size_t(l - 1)] = *v;
            } else {
                map.values[size_t(16 * (l - 1) + c - 1)] = uint8_t(*v);
            }
        }
    }
    if (lines.size() < kLines)
        return refused(int(lines.size()) + 1,
                       QStringLiteral("the map ends here; a map file has %1 lines.").arg(kLines));
    if (lines.size() > kLines)
        return refused(kLines + 1, QStringLiteral("a map file ends after line %1.").arg(kLines));
    return {map, {}};
}

MapFileRead readMapFile(const QString& path) {
    const QFileInfo info(path);
    // A FIFO or a device would block the read, or never end.
    if (!info.isFile()) return {std::nullopt, QStringLiteral("It is not a regular file.")};
    if (info.size() > kLargestFile)
        return {std::nullopt, QStringLiteral("It is too large for a map file.")};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {std::nullopt, file.errorString()};
    return parseMapFile(file.read(kLargestFile + 1));
}

} // namespace kx
