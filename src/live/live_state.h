#pragma once
// The shared live state: the gauge catalogue and the selections, the latest values, and the
// units every conversion reads. Made once at start-up and handed to whoever needs it.
#include "live/gauge_setup.h"
#include "live/live_data.h"

namespace kx {

struct LiveState {
    GaugeSetup setup;
    LiveValues live;
    Units units;
};

} // namespace kx
