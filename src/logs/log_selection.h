#pragma once
// Which columns a recording of the live-data stream can have and which the user chose: the
// logger window's boxes and the command-line logger read the same settings the same way.
#include "live/gauge_setup.h"
#include "logs/log_format.h"

namespace kx {

class Settings;

// What the live-data request fills: the gauges on the twelve display slots and the indicators
// of the included switch registers.
LogSelection loggableColumns(const GaugeSetup& setup);

// The user's stored choice (DataLog/Param<gauge>, DataLog/Reg<indicator> of "1") among the
// loggable columns. A store that never held a choice (Param0 empty) chooses every column.
LogSelection storedLogSelection(const Settings& store, const GaugeSetup& setup);

// The setting keys of that choice.
QString logParamKey(int gauge);
QString logRegKey(int indicator);

} // namespace kx
