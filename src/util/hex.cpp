#include "util/hex.h"

namespace kx {

std::optional<uint32_t> parseHex(const QString& text, uint32_t maxValue) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 8) return std::nullopt;
    uint32_t v = 0;
    for (QChar c : t) {
        uint32_t d;
        if (c >= u'0' && c <= u'9')
            d = c.unicode() - u'0';
        else if (c >= u'a' && c <= u'f')
            d = c.unicode() - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            d = c.unicode() - u'A' + 10;
        else
            return std::nullopt;
        v = v * 16 + d;
    }
    if (v > maxValue) return std::nullopt;
    return v;
}

QString hexText(uint32_t value, int width) {
    return QString::number(value, 16).toUpper().rightJustified(width, u'0');
}

bool isAddressPattern(const QString& text) {
    if (text.size() != 4) return false;
    for (QChar c : text) {
        const bool ok = (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || c == u' ';
        if (!ok) return false;
    }
    return true;
}

std::optional<uint16_t> parseAddress(const QString& text) {
    if (!isAddressPattern(text) || text.contains(u' ')) return std::nullopt;
    return static_cast<uint16_t>(*parseHex(text, 0xFFFF));
}

} // namespace kx
