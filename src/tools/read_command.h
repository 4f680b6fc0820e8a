#pragma once
// The memory read command byte that the ROM reader, the address watch and the map trace send
// (setting Comms/RomComm), and why a tool cannot start without it.
#include <QString>
#include <cstdint>
#include <optional>

namespace kx {

class Settings;

// The stored command as a byte; nothing when the text is not hexadecimal (or above FF).
std::optional<uint8_t> memoryReadCommand(const Settings& settings);
// Why `tool` does not start: names the stored text and where to set it.
QString badReadCommandMessage(const Settings& settings, const QString& tool);

} // namespace kx
