#include "settings/display_settings.h"

#include "live/gauge_setup.h"
#include "util/numbers.h"
#include "util/settings.h"
#include "util/text.h"

namespace kx {

namespace {

const char* const kRegisterKeys[kSwitchFlagCount] = {"Register13", "Register1E", "Register1F",
                                                     "Register21"};

QString slotKey(int k) {
    return S("Gauge") + QString::number(k);
}
} // namespace

DisplaySelectionEntry loadDisplaySelection(const Settings& store) {
    DisplaySelectionEntry e;
    for (int k = 0; k < kDisplaySlots; ++k) {
        const auto v = parseWhole(store.read(S("Setup"), slotKey(k)));
        if (v && *v >= 0 && *v < kGaugeCount) e.gauges[size_t(k)] = int(*v);
    }
    for (int i = 0; i < kSwitchFlagCount; ++i) {
        const auto v = parseWhole(store.read(S("Setup"), S(kRegisterKeys[i])));
        e.registers[size_t(i)] = v && *v == 1;
    }
    return e;
}

std::optional<QString> saveDisplaySelection(Settings& store, const DisplaySelectionEntry& entry) {
    for (int k = 0; k < kDisplaySlots; ++k) {
        const auto& slot = entry.gauges[size_t(k)];
        if (!slot) return S("Please select parameter for every gauge");
        store.save(S("Setup"), slotKey(k), QString::number(*slot));
    }
    for (int i = 0; i < kSwitchFlagCount; ++i)
        store.save(S("Setup"), S(kRegisterKeys[i]), entry.registers[size_t(i)] ? S("1") : S("0"));
    return std::nullopt;
}

} // namespace kx
