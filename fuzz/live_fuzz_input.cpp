#include "live_fuzz_input.h"

#include "live/live_data.h"

#include <cstdlib>

namespace kx::fuzz {

namespace {
constexpr size_t kHeader = 19;
}

void decodeLiveInput(const uint8_t* data, size_t size) {
    if (size < kHeader) return;
    const uint8_t options = data[0];
    GaugeSetup setup;
    buildCatalogue(setup.gaugeCatalogue, options & 1, options & 2);
    // Gauge numbers mostly valid, a few beyond the catalogue; flags 0, 1 or 2.
    for (int k = 0; k < 12; ++k)
        setup.displaySelection[k] = data[3 + k] % 28;
    for (int f = 12; f < 16; ++f)
        setup.displaySelection[f] = data[3 + f] % 3;
    countBytes(setup);
    const QByteArray request = fullDataRequest(setup);
    if (!request.isEmpty() && request.size() != 2 * setup.displayByteCount) std::abort();
    if (options & 4) setup.displayByteCount = data[1];

    const Units units{bool(options & 1), bool(options & 2), data[2] / 64.0f};
    const QByteArray delivery(reinterpret_cast<const char*>(data + kHeader),
                              static_cast<qsizetype>(size - kHeader));
    LiveValues values;
    values.wbValues[0] = 14.7f;
    getFullData(delivery, setup, units, values);
    // A second delivery decoded over the first one's values, as the stream does.
    getFullData(delivery.mid(delivery.size() / 2), setup, units, values);
}

} // namespace kx::fuzz
