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
    // Where the wideband's readings come from: each live frame's WBo2 value and sample, and a
    // recorded pull's ratio, whatever the dials show.
    WidebandSource wideband;
};

} // namespace kx
