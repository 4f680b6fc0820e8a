#include "logs/log_selection.h"

#include "link/SerialPort.h"
#include "live/display_layout.h"
#include "util/settings.h"

namespace kx {

namespace {
const QString DataLog = QStringLiteral("DataLog");
} // namespace

QString logParamKey(int gauge) {
    return QStringLiteral("Param%1").arg(gauge);
}

QString logRegKey(int indicator) {
    return QStringLiteral("Reg%1").arg(indicator);
}

bool widebandSetUp(const Settings& store) {
    // Port 0, the default, is no port.
    return !portDevice(store.read(QStringLiteral("WBO2"), QStringLiteral("ComPort"))).isEmpty();
}

LogSelection loggableColumns(const GaugeSetup& setup, bool wideband) {
    LogSelection offered;
    offered.gauges[channel::Wideband] = wideband;
    const auto& sel = setup.displaySelection;
    for (int slot = 0; slot < kDisplaySlots; ++slot) {
        const int g = sel[size_t(slot)];
        if (g < kLogGaugeCount) offered.gauges[size_t(g)] = true;
    }
    for (int i = 0; i < kLogIndicatorCount; ++i)
        offered.indicators[size_t(i)] = sel[size_t(indicatorFlag(i))] == 1;
    return offered;
}

LogSelection storedLogSelection(const Settings& store, const GaugeSetup& setup) {
    const bool wideband = widebandSetUp(store);
    LogSelection chosen = loggableColumns(setup, wideband);
    chosen.wbDetail = wideband && chosen.gauges[channel::Wideband];
    // The logger stores "1" for every column when it first opens: the same choice.
    if (store.read(DataLog, logParamKey(0)).isEmpty()) return chosen;
    for (int g = 0; g < kLogGaugeCount; ++g)
        chosen.gauges[size_t(g)] =
            chosen.gauges[size_t(g)] && store.read(DataLog, logParamKey(g)) == u"1";
    for (int i = 0; i < kLogIndicatorCount; ++i)
        chosen.indicators[size_t(i)] =
            chosen.indicators[size_t(i)] && store.read(DataLog, logRegKey(i)) == u"1";
    chosen.wbDetail = wideband && chosen.gauges[channel::Wideband];
    return chosen;
}

} // namespace kx
