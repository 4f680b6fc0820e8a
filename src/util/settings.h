#pragma once
// What a window may do with the settings: read a text, save a text. The store behind it (an
// INI file per user) is the main window's business.
#include <QString>

namespace kx {

class Settings {
public:
    virtual ~Settings() = default;
    // The stored text, or "" when the key was never written.
    virtual QString read(const QString& section, const QString& key) const = 0;
    virtual void save(const QString& section, const QString& key, const QString& value) = 0;
};

} // namespace kx
