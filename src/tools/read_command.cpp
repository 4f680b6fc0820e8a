#include "tools/read_command.h"

#include "util/hex.h"
#include "util/settings.h"

namespace kx {

namespace {
QString storedCommand(const Settings& settings) {
    return settings.read(QStringLiteral("Comms"), QStringLiteral("RomComm"));
}
} // namespace

std::optional<uint8_t> memoryReadCommand(const Settings& settings) {
    return parseHexByte(storedCommand(settings));
}

QString badReadCommandMessage(const Settings& settings, const QString& tool) {
    return QStringLiteral("The %1 cannot start: the address read command \"%2\" of the "
                          "communication settings is not a hexadecimal byte. Set it under "
                          "Settings, Communication.")
        .arg(tool, storedCommand(settings));
}

} // namespace kx
