#include "cli/logger_settings.h"

#include "util/settings_store.h"

namespace kx {

LoggerSettings::LoggerSettings(std::unique_ptr<SettingsStore> store, const QString& port,
                               const QString& wideband, bool noWideband)
    : store_(std::move(store)), port_(port), wideband_(wideband), noWideband_(noWideband) {}

LoggerSettings::~LoggerSettings() = default;

QString LoggerSettings::fileName() const {
    return store_->fileName();
}

QString LoggerSettings::read(const QString& section, const QString& key) const {
    const bool comms = section == u"Comms";
    if (comms && key == u"ComPort" && !port_.isEmpty()) return port_;
    if (section == u"WBO2" && key == u"ComPort") {
        if (noWideband_) return {};
        if (!wideband_.isEmpty()) return wideband_;
    }
    // Kestrix resets a debug trace at every start: it never lasts into another run.
    if (comms && key == u"Debug") return QStringLiteral("0");
    const QString value = store_->read(section, key);
    if (!value.isEmpty()) return value;
    for (const SettingDefault& d : startupDefaults())
        if (section == QLatin1String(d.section) && key == QLatin1String(d.key))
            return QString::fromLatin1(d.value);
    return value;
}

} // namespace kx
