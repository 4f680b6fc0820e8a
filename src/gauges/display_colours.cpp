#include "gauges/display_colours.h"

#include "util/settings.h"
#include "util/numbers.h"

namespace kx {

namespace {
const QString Display = QStringLiteral("Display");
}

std::optional<uint32_t> parseStoredColour(const QString& text) {
    const auto v = parseWhole(text);
    // A 32-bit signed value, or the same bits written unsigned.
    if (!v || *v < INT32_MIN || *v > 0xFFFFFFFFll) return std::nullopt;
    return static_cast<uint32_t>(*v);
}

QString storedColourText(uint32_t colour) {
    return QString::number(static_cast<int32_t>(colour));
}

const std::array<ColourSetting, kColourCount>& colourSettings() {
    static const std::array<ColourSetting, kColourCount> table{{
        {"GaugeBack", "Background: ", 0x000000},
        {"GaugeDigits", "Scale Digits: ", 0xFFFFFF},
        {"GaugeMax", "Peak Value: ", 0x00FF00},
        {"GaugeValue", "Value: ", 0x00FF00},
        {"GaugeName", "Name: ", 0xFFFF00},
        {"GaugeNeedle", "Needle: ", 0x0000FF},
        {"GaugeCircle", "Annular: ", 0xFF0000},
        {"GaugeTicker", "Ticker: ", 0x00FF00},
        {"GaugeSubTicker", "SubTicker: ", 0x00FF00},
        {"GaugeWindow", "Window Background: ", 0x8000000F},
        {"GaugeRegister", "Registers: ", 0x80000012},
    }};
    return table;
}

std::array<uint32_t, kColourCount> loadColours(const Settings& store) {
    std::array<uint32_t, kColourCount> out{};
    for (int i = 0; i < kColourCount; ++i) {
        const ColourSetting& c = colourSettings()[size_t(i)];
        const auto v = parseStoredColour(store.read(Display, QString::fromLatin1(c.key)));
        out[size_t(i)] = v.value_or(c.defaultValue);
    }
    return out;
}

void saveColours(Settings& store, const std::array<uint32_t, kColourCount>& colours) {
    for (int i = 0; i < kColourCount; ++i)
        store.save(Display, QString::fromLatin1(colourSettings()[size_t(i)].key),
                   storedColourText(colours[size_t(i)]));
}

DisplayColours readDisplayColours(const Settings& store) {
    const auto c = loadColours(store);
    return DisplayColours{c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9], c[10]};
}

} // namespace kx

namespace kx {
ScaleColours scaleColours(const DisplayColours& c) {
    return ScaleColours{c.circle, c.ticker, c.subTicker};
}
} // namespace kx
