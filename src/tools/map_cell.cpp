#include "tools/map_cell.h"

#include "util/numbers.h"

namespace kx {

int throttleRaw(double volts) {
    // Volts were written from raw × 0.02 as a single: 0.46 is 22.99999 raw, which is 23.
    return roundToInt(volts * 50.0);
}

int recordCell(const MapScales& scales, double rpm, double throttleVolts) {
    return mapCellOf(scales, roundToInt(rpm), throttleRaw(throttleVolts));
}

QString meanAfrText(double mean) {
    return QString::number(roundHalfEven(mean, 2), 'f', 2);
}

} // namespace kx
