#include "gauges/display_colours.h"

#include "app/settings_store.h"
#include "util/numbers.h"

namespace kx {

std::optional<uint32_t> parseStoredColour(const QString& text) {
    const auto v = parseWhole(text);
    if (!v || *v < INT32_MIN || *v > 0xFFFFFFFFll) return std::nullopt;
    return static_cast<uint32_t>(*v);
}

QString storedColourText(uint32_t colour) { return QString::number(static_cast<int32_t>(colour)); }

DisplayColours readDisplayColours(const SettingsStore& store) {
    DisplayColours c;
    const auto read = [&store](const char* key, uint32_t& out) {
        if (const auto v = parseStoredColour(store.read(QStringLiteral("Display"), QString::fromLatin1(key))))
            out = *v;
    };
    read("GaugeBack", c.back);
    read("GaugeDigits", c.digits);
    read("GaugeMax", c.max);
    read("GaugeValue", c.value);
    read("GaugeName", c.name);
    read("GaugeNeedle", c.needle);
    read("GaugeCircle", c.circle);
    read("GaugeTicker", c.ticker);
    read("GaugeSubTicker", c.subTicker);
    read("GaugeWindow", c.window);
    read("GaugeRegister", c.registers);
    return c;
}

} // namespace kx
