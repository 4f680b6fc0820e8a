// libFuzzer target: random dial choices and deliveries read in the dashboard's stream layout,
// and in the time trial's. The request must match the frame the layout reads; no byte outside a
// delivery is read (the copies are exact, for ASan).
#include "dash/dashboard.h"
#include "live/spike_filter.h"
#include "trial/time_trial.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
constexpr size_t kHeader = 5;
}

// Layout: [0] options (bit 0 fahr, bit 1 mph, bit 2 a damaged display slot), [1] and [2] the
// dials' gauge numbers (a few beyond the catalogue), [3] speed correction in 64ths, then the
// delivery bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeader) return 0;
    const uint8_t options = data[0];
    kx::GaugeSetup setup;
    kx::buildCatalogue(setup.gaugeCatalogue, options & 1, options & 2);
    if (options & 4) setup.displaySelection[0] = 99; // the counts stop before the dashboard's
    setup.dashSelection = {uint8_t(data[1] % 28), uint8_t(data[2] % 28)};
    kx::countBytes(setup);
    const kx::DashStream stream = kx::dashStream(setup);
    const QByteArray request = kx::dashRequest(stream);
    if (!request.isEmpty() && request.size() != 2 * (stream.byteCount + kx::kDashFixedBytes))
        std::abort();

    const kx::Units units{bool(options & 1), bool(options & 2), data[3] / 64.0f};
    const QByteArray delivery(reinterpret_cast<const char*>(data + kHeader),
                              qsizetype(size - kHeader));
    kx::LiveValues values;
    values.wbValues[0] = 14.7f;
    const kx::GaugeSetup layout = kx::dashStreamSetup(stream);
    kx::applyReadings(kx::readFrame(delivery, layout), units, values, kx::kDashSlots);
    kx::applyReadings(kx::readFrame(delivery.mid(delivery.size() / 2), layout), units, values,
                      kx::kDashSlots);
    kx::trialSpeed(kx::readFrame(delivery, kx::speedLayout()), units);
    return 0;
}
