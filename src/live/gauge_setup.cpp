#include "live/gauge_setup.h"

#include "util/numbers.h"
#include "util/settings.h"

#include <optional>

namespace kx {

namespace {

struct CatalogueRow {
    const char* name;
    uint8_t size;
    uint8_t reg0;
    uint8_t reg1;
    int32_t minVal;
    int32_t maxVal;
    int32_t tickerNum;
    int32_t subTickerNum;
    int32_t decPointNum;
};

// clang-format off
constexpr std::array<CatalogueRow, kGaugeCount> kRows{{
    {"RPM",            2, 0x00, 0x01,  0, 8000,  8,  5, 0},
    {"Air Flow",       2, 0x04, 0x05,  0,    6,  6, 10, 2},
    {"Air Flow RH",    2, 0x06, 0x07,  0,    6,  6, 10, 2},
    {"Water Temp C",   1, 0x08, 0,     0,  120, 12,  5, 0},
    {"O2 Sensor",      1, 0x09, 0,     0,  100, 10,  5, 0},
    {"O2 Sensor RH",   1, 0x0A, 0,     0,  100, 10,  5, 0},
    {"Speed kph",      1, 0x0B, 0,     0,  240, 12,  4, 1},
    {"Battery",        1, 0x0C, 0,     6,   16, 10,  5, 1},
    {"Throttle",       1, 0x0D, 0,     0,    6,  6, 10, 2},
    {"Fuel Temp C",    1, 0x0F, 0,     0,  120, 12,  5, 0},
    {"Air Temp C",     1, 0x11, 0,     0,  120, 12,  5, 0},
    {"EGT",            1, 0x12, 0,     0,    6,  6, 10, 2},
    {"Injector",       2, 0x14, 0x15,  0,   40,  8,  5, 2},
    {"Timing",         1, 0x16, 0,     0,   70,  7, 10, 0},
    {"AAC",            1, 0x17, 0,     0,  100, 10,  5, 0},
    {"A/F Base",       1, 0x1A, 0,    50,  150, 10,  5, 0},
    {"A/F Base RH",    1, 0x1B, 0,    50,  150, 10,  5, 0},
    {"A/F Base SL",    1, 0x1C, 0,    50,  150, 10,  5, 0},
    {"A/F Base SL RH", 1, 0x1D, 0,    50,  150, 10,  5, 0},
    {"Injector RH",    2, 0x22, 0x23,  0,   40,  8,  5, 2},
    {"Duty Cycle",     0, 0,    0,     0,  110, 11,  5, 2},
    {"Duty Cycle RH",  0, 0,    0,     0,  110, 11,  5, 2},
    {"O2 Sensor B1",   1, 0x35, 0,     0,  100, 10,  5, 0},
    {"O2 Sensor B2",   1, 0x36, 0,     0,  100, 10,  5, 0},
    {"WBo2",           0, 0,    0,    10,   20, 10,  5, 2},
}};
// clang-format on

// The largest change a second that an engine (or its sensor) can make in each gauge's raw
// register value, in counts, by gauge number; 0: no limit (values worked out from other gauges,
// the wideband ratio). Raw counts, so units, speed correction and display rounding play no part.
// clang-format off
constexpr std::array<double, kGaugeCount> kMaxRawRates{{
    15000 / 12.5, // RPM: free revving in neutral, 12.5 rpm a count
    50 / 0.005,   // Air Flow: 50 V/s on a throttle snap, 5 mV a count
    50 / 0.005,   // Air Flow RH
    5,            // Water Temp: 5 °C/s where the thermostat opens, 1 °C a count
    20 / 0.01,    // O2 Sensor: 20 V/s, a rich-lean switch in 40 ms, 10 mV a count
    20 / 0.01,    // O2 Sensor RH
    50 / 2.0,     // Speed: 50 km/h/s (wheelspin, a locking wheel), 2 km/h a count
    50 / 0.08,    // Battery: 50 V/s (the starter's dip), 80 mV a count
    50 / 0.02,    // Throttle: 5 V in 0.1 s, 20 mV a count
    5,            // Fuel Temp: 5 °C/s
    10,           // Air Temp: 10 °C/s, heat soak blown out of the intake
    10 / 0.02,    // EGT: 10 V/s, 20 mV a count
    100 / 0.01,   // Injector: 100 ms/s (acceleration enrichment), 10 us a count
    500,          // Timing: 500 degrees/s (knock retard, tip-in), 1 degree a count
    200 * 2.55,   // AAC: 200 %/s, 1/2.55 % a count
    200,          // A/F Base: the closed loop's trim steps, 200 %/s, 1 % a count
    200,          // A/F Base RH
    10,           // A/F Base SL: self-learning drifts, 10 %/s
    10,           // A/F Base SL RH
    100 / 0.01,   // Injector RH
    0,            // Duty Cycle: from RPM and injector time
    0,            // Duty Cycle RH
    20 / 0.01,    // O2 Sensor B1
    20 / 0.01,    // O2 Sensor B2
    0,            // WBo2: the wideband controller's, in no frame
}};
// clang-format on

void applyScale(GaugeInfo& g, const char* name, int32_t minVal, int32_t maxVal, int32_t ticks,
                int32_t subTicks, int32_t decimals) {
    g.setName(QString::fromLatin1(name));
    g.setMinVal(minVal);
    g.setMaxVal(maxVal);
    g.setTickerNum(ticks);
    g.setSubTickerNum(subTicks);
    g.setDecPointNum(decimals);
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
        const CatalogueRow& row = kRows[g];
        GaugeInfo& info = catalogue[g];
        info.setSize(row.size);
        info.setIniStr(0, row.reg0);
        info.setIniStr(1, row.reg1);
        applyScale(info, row.name, row.minVal, row.maxVal, row.tickerNum, row.subTickerNum,
                   row.decPointNum);
    }
    if (fahr) {
        applyScale(catalogue[3], "Water Temp F", 20, 300, 14, 4, 0);
        applyScale(catalogue[9], "Fuel Temp F", 20, 300, 14, 4, 0);
        applyScale(catalogue[10], "Air Temp F", 20, 300, 14, 4, 0);
    }
    if (mph) applyScale(catalogue[6], "Speed mph", 0, 150, 15, 5, 1);
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

namespace {
const char* const kGaugeListNames[kGaugeCount] = {
    "RPM",
    "Air Flow",
    "Air Flow Right Hand",
    "Water Temperature",
    "O2 Sensor",
    "O2 Sensor Right Hand",
    "Speed",
    "Battery Voltage",
    "Throttle Position Sensor",
    "Fuel Temperature",
    "Intake Air Temperature",
    "Exhaust Gas Temperature",
    "Injector Time",
    "Ignition Timing",
    "AAC Valve",
    "Air Fuel Base",
    "Air Fuel Base Right Hand",
    "Air Fuel Base Self Learn",
    "Air Fuel Base Self Learn Right Hand",
    "Injector Time Right Hand",
    "Duty Cycle (require RPM & Inj)",
    "Duty Cycle RH (require RPM & Inj RH)",
    "O2 Sensor B1",
    "O2 sensor B2",
    "WBo2",
};

} // namespace

double maxRawRate(int gauge) {
    if (gauge < 0 || gauge >= kGaugeCount) return 0;
    return kMaxRawRates[static_cast<size_t>(gauge)];
}

QString gaugeListName(int gauge) {
    if (gauge < 0 || gauge >= kGaugeCount) return {};
    return QString::fromLatin1(kGaugeListNames[gauge]);
}

} // namespace kx
