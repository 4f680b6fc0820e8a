#include "live/gauge_setup.h"

#include "util/numbers.h"
#include "util/settings.h"

#include <optional>

namespace kx {

namespace {

void applyScale(GaugeInfo& g, const ChannelScale& s) {
    g.setName(QString::fromLatin1(s.name));
    g.setMinVal(s.minVal);
    g.setMaxVal(s.maxVal);
    g.setTickerNum(s.ticks);
    g.setSubTickerNum(s.subTicks);
    g.setDecPointNum(s.decimals);
}

std::optional<uint8_t> readByte(const Settings& store, const char* section, const QString& key) {
    const auto v = parseWhole(store.read(QString::fromLatin1(section), key));
    if (!v || *v < 0 || *v > 255) return std::nullopt;
    return static_cast<uint8_t>(*v);
}

bool readSelections(const Settings& store, GaugeSetup& setup) {
    for (int k = 0; k < kDisplaySlots; ++k) {
        const auto v = readByte(store, "Setup", QStringLiteral("Gauge%1").arg(k));
        if (!v) return false;
        setup.displaySelection[static_cast<size_t>(k)] = *v;
    }
    static const char* const flagKeys[] = {"Register13", "Register1E", "Register1F", "Register21"};
    for (int f = 0; f < 4; ++f) {
        const auto v = readByte(store, "Setup", QString::fromLatin1(flagKeys[f]));
        if (!v) return false;
        setup.displaySelection[static_cast<size_t>(kFirstSwitchFlag + f)] = *v;
    }
    for (int k = 0; k < 2; ++k) {
        const auto v = readByte(store, "Dashboard", QStringLiteral("Gauge%1").arg(k));
        if (!v) return false;
        setup.dashSelection[static_cast<size_t>(k)] = *v;
    }
    return true;
}

// Adds `bytes` to `count`; false (count unchanged) when the sum would exceed a byte.
bool addBytes(uint8_t& count, int bytes) {
    if (count + bytes > 255) return false;
    count = static_cast<uint8_t>(count + bytes);
    return true;
}

} // namespace

void buildCatalogue(std::array<GaugeInfo, kGaugeCount>& catalogue, bool fahr, bool mph) {
    for (size_t g = 0; g < catalogue.size(); ++g) {
        const Channel& ch = channels()[g];
        GaugeInfo& info = catalogue[g];
        info.setSize(ch.size);
        info.setIniStr(0, ch.regs[0]);
        info.setIniStr(1, ch.regs[1]);
        const bool imperial = (fahr && ch.followsFahr()) || (mph && ch.followsMph());
        applyScale(info, imperial ? ch.imperial : ch.metric);
    }
}

void countBytes(GaugeSetup& setup) {
    setup.displayByteCount = 0;
    setup.dashByteCount = 0;
    for (int k = 0; k < kDisplaySlots; ++k) {
        const uint8_t g = setup.displaySelection[static_cast<size_t>(k)];
        if (g >= kGaugeCount) return;
        if (!addBytes(setup.displayByteCount, setup.gaugeCatalogue[g].size())) return;
    }
    for (size_t f = 0; f < kSwitchRegisters.size(); ++f) {
        if (setup.displaySelection[kFirstSwitchFlag + f] != 1) continue;
        if (!addBytes(setup.displayByteCount, 1)) return;
    }
    for (const uint8_t g : setup.dashSelection) {
        if (g >= kGaugeCount) return;
        if (!addBytes(setup.dashByteCount, setup.gaugeCatalogue[g].size())) return;
    }
}

void getSetup(const Settings& store, bool fahr, bool mph, GaugeSetup& setup) {
    setup.displayByteCount = 0;
    setup.dashByteCount = 0;
    buildCatalogue(setup.gaugeCatalogue, fahr, mph);
    if (!readSelections(store, setup)) return;
    countBytes(setup);
}

std::array<QString, kGaugeCount> catalogueNames(bool fahr, bool mph) {
    std::array<GaugeInfo, kGaugeCount> catalogue;
    buildCatalogue(catalogue, fahr, mph);
    std::array<QString, kGaugeCount> names;
    for (size_t g = 0; g < names.size(); ++g)
        names[g] = catalogue[g].name();
    return names;
}

double maxRawRate(int gauge) {
    if (gauge < 0 || gauge >= kGaugeCount) return 0;
    return channelAt(gauge).maxRawRate;
}

QString gaugeListName(int gauge) {
    if (gauge < 0 || gauge >= kGaugeCount) return {};
    return QString::fromLatin1(channelAt(gauge).listName);
}

} // namespace kx
