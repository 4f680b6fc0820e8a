#pragma once
// Hexadecimal text in and out, for ids, command bytes and ECU addresses.
#include <QString>
#include <cstdint>
#include <optional>

namespace kx {

// Parses hexadecimal text without prefix ("EF", "c9", "7FFF"); nullopt when empty, not
// hexadecimal, or above `maxValue`.
std::optional<uint32_t> parseHex(const QString& text, uint32_t maxValue = 0xFFFFFFFFu);
inline std::optional<uint8_t> parseHexByte(const QString& text) {
    const auto v = parseHex(text, 0xFF);
    if (!v) return std::nullopt;
    return static_cast<uint8_t>(*v);
}
// Upper-case hexadecimal text, zero-padded to `width` digits.
QString hexText(uint32_t value, int width = 2);
// The address entry pattern: exactly four characters, each 0-9, A-F or a blank.
bool isAddressPattern(const QString& text);
// An address entry as a number: nothing when it fails the pattern or holds a blank, which
// has no value of its own.
std::optional<uint16_t> parseAddress(const QString& text);

} // namespace kx
