#pragma once
// A logged record in a map, as the coverage and the fuel correction both take it: its cell, and
// a mean ratio as their files write it.
#include "tools/map_trace.h"

#include <QString>

namespace kx {

// Raw throttle from the logged volts: 0.02 V per raw step.
int throttleRaw(double volts);
// The map cell of a logged record: engine speed in rpm, throttle in volts.
int recordCell(const MapScales& scales, double rpm, double throttleVolts);
// A mean ratio as the coverage export and the correction report write it: two decimals.
QString meanAfrText(double mean);

} // namespace kx
