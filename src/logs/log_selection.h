#pragma once
// Which columns a recording of the live-data stream can have and which the user chose: the
// logger window's boxes and the command-line logger read the same settings the same way.
#include "live/gauge_setup.h"
#include "logs/log_format.h"

namespace kx {

class Settings;

// A wideband controller is set up: its port is stored (WBO2/ComPort).
bool widebandSetUp(const Settings& store);

// What the live-data request fills: the gauges on the twelve display slots and the indicators
// of the included switch registers; and, with a wideband controller set up, its ratio (WBo2)
// whatever the dials show.
LogSelection loggableColumns(const GaugeSetup& setup, bool wideband = false);

// The user's stored choice (DataLog/Param<gauge>, DataLog/Reg<indicator> of "1") among the
// loggable columns. A store that never held a choice (Param0 empty) chooses every column. With a
// wideband set up and WBo2 chosen, its state and frame time are logged too.
LogSelection storedLogSelection(const Settings& store, const GaugeSetup& setup);

// The setting keys of that choice.
QString logParamKey(int gauge);
QString logRegKey(int indicator);

} // namespace kx
