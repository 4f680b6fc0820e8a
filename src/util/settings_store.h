#pragma once
// The per-user settings store: every value is text, addressed by section and key.
#include "util/settings.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QSettings;

namespace kx {

class SettingsStore : public Settings {
public:
    // The user's store: INI file of organisation and application "Kestrix".
    SettingsStore();
    // A store in a given file (tests, and the simulator profile of scripts/run).
    explicit SettingsStore(const QString& iniPath);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The stored text, or "" when the key was never written.
    QString read(const QString& section, const QString& key) const override;
    // Stores the text and writes it through to disk at once, so a crash loses no setting.
    void save(const QString& section, const QString& key, const QString& value) override;
    // Told, with a sentence naming the file, when a save cannot be written (a full or
    // read-only home): once, until a save gets through again.
    void onWriteFailure(std::function<void(const QString& text)> handler) {
        writeFailure_ = std::move(handler);
    }

    // Start-up: writes every missing default in table order and resets a Debug of "1".
    void writeStartupDefaults();

    QString fileName() const;

private:
    // Pushes what was set to the file; a failure is told as onWriteFailure says.
    void writeThrough();
    std::unique_ptr<QSettings> settings_;
    std::function<void(const QString&)> writeFailure_;
    bool failureTold_ = false;
};

struct SettingDefault {
    const char* section;
    const char* key;
    const char* value;
};
// The start-up defaults, in the order they are written.
const std::vector<SettingDefault>& startupDefaults();

} // namespace kx
