#pragma once
// A map saved as CSV, so that it can be traced and its coverage seen without the ECU: the first
// line "RPM\TP," and the 16 throttle headers, then 16 lines of an RPM header and its 16 map
// values. Numbers locale-free, CRLF line ends (as in the logs).
#include "tools/map_trace.h"
#include "util/user_file.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <optional>

namespace kx {

QByteArray mapFileText(const EngineMap& map);

// The map's layout with a figure in each cell: the throttle headers after "RPM\TP", then a line
// per RPM row of `figure` for each cell (16 * row + column).
void appendMapLayout(QByteArray& out, const MapScales& scales,
                     const std::function<QByteArray(int cell)>& figure);
// One block of a map-shaped report: its title line, then the layout.
void appendMapBlock(QByteArray& out, const char* title, const MapScales& scales,
                    const std::function<QByteArray(int cell)>& figure);

// The same layout with other cell values (a target ratio table holds hundredths).
using GridValues = std::array<int, 256>;
QByteArray gridFileText(const MapScales& scales, const GridValues& values);
struct GridFileRead {
    std::optional<MapScales> scales; // with `values`, when the file was read
    GridValues values{};
    QString error;
};
// Cells from `lowest` to `highest` are accepted.
GridFileRead parseGridFile(QByteArrayView bytes, int lowest, int highest);
GridFileRead readGridFile(const QString& path, int lowest, int highest);
// The bytes of a file no larger than a map file is (a target with its locks is 4 kB), from a
// regular file only.
struct MapSizedFile {
    std::optional<QByteArray> bytes;
    QString error;
};
MapSizedFile readMapSizedFile(const QString& path);

struct MapFileRead {
    std::optional<EngineMap> map;
    QString error; // when there is no map: why, naming the line at fault
};
// Blanks around a field and a last line without its line end are accepted; anything that is
// not 17 lines of 17 whole numbers in range is refused.
MapFileRead parseMapFile(QByteArrayView bytes);
MapFileRead readMapFile(const QString& path);

} // namespace kx
