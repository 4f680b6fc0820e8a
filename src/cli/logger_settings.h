#pragma once
// The settings as the headless logger sees them: the user's store (or another file), read
// only. A key the store lacks reads as the default that Kestrix writes at its start, so a
// machine where Kestrix never ran logs as a fresh installation would.
#include "util/settings.h"

#include <memory>

namespace kx {

class SettingsStore;

class LoggerSettings : public Settings {
public:
    // `port`, when not empty, stands in for the stored ECU port, and `wideband` for the stored
    // wideband port; with `noWideband` no wideband port is set up.
    LoggerSettings(std::unique_ptr<SettingsStore> store, const QString& port,
                   const QString& wideband = {}, bool noWideband = false);
    ~LoggerSettings() override;

    QString read(const QString& section, const QString& key) const override;
    // The logger never changes the user's settings; nothing it runs saves any.
    void save(const QString&, const QString&, const QString&) override {}

    QString fileName() const;

private:
    std::unique_ptr<SettingsStore> store_;
    QString port_;
    QString wideband_;
    bool noWideband_ = false;
};

} // namespace kx
