#include "util/settings_store.h"

#include <QSettings>
#include <QStringList>
#include <vector>

namespace kx {

SettingsStore::SettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("Kestrix"), QStringLiteral("Kestrix"))) {
}

SettingsStore::SettingsStore(const QString& iniPath)
    : settings_(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::read(const QString& section, const QString& key) const {
    const QVariant v = settings_->value(section + u'/' + key);
    // A hand-edited value with commas comes back as a list; give it back as the text it was.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QStringLiteral(", "));
    return v.toString();
}

void SettingsStore::save(const QString& section, const QString& key, const QString& value) {
    settings_->setValue(section + u'/' + key, value);
    writeThrough();
}

void SettingsStore::writeThrough() {
    settings_->sync();
    if (settings_->status() == QSettings::NoError) {
        failureTold_ = false;
        return;
    }
    if (failureTold_ || !writeFailure_) return;
    failureTold_ = true;
    writeFailure_(QStringLiteral("The settings cannot be written to '%1'. Changes made now are "
                                 "lost when Kestrix ends.")
                      .arg(fileName()));
}

QString SettingsStore::fileName() const {
    return settings_->fileName();
}

const std::vector<SettingDefault>& startupDefaults() {
    // Colours are signed 32-bit decimal text of 0x00BBGGRR, or a system colour index with
    // the top bit set (0x8000000F button face, 0x80000012 button text).
    static const std::vector<SettingDefault> table = {
        {"Setup", "Gauge0", "0"},
        {"Setup", "Gauge1", "6"},
        {"Setup", "Gauge2", "3"},
        {"Setup", "Gauge3", "7"},
        {"Setup", "Gauge4", "13"},
        {"Setup", "Gauge5", "12"},
        {"Setup", "Gauge6", "20"},
        {"Setup", "Gauge7", "15"},
        {"Setup", "Gauge8", "8"},
        {"Setup", "Gauge9", "1"},
        {"Setup", "Gauge10", "4"},
        {"Setup", "Gauge11", "14"},
        {"Setup", "Register13", "1"},
        {"Setup", "Register1E", "1"},
        {"Setup", "Register1F", "1"},
        {"Setup", "Register21", "1"},
        {"Comms", "ComPort", "1"},
        {"Comms", "Speed", "9600"},
        {"Comms", "RomComm", "C9"},
        {"Comms", "ECUid", "EF"},
        {"Comms", "OBDIImodel", "0"},
        {"Comms", "AutoConnect", "0"},
        {"Comms", "Debug", "0"},
        {"WBO2", "ComPort", "0"},
        {"WBO2", "Speed", "19200"},
        {"Preferences", "Speed", "0"},
        {"Preferences", "Temperature", "0"},
        {"Display", "GaugeBack", "0"},
        {"Display", "GaugeDigits", "16777215"},
        {"Display", "GaugeMax", "65280"},
        {"Display", "GaugeValue", "65280"},
        {"Display", "GaugeName", "16776960"},
        {"Display", "GaugeNeedle", "255"},
        {"Display", "GaugeCircle", "16711680"},
        {"Display", "GaugeTicker", "65280"},
        {"Display", "GaugeSubTicker", "65280"},
        {"Display", "GaugeWindow", "-2147483633"},
        {"Display", "GaugeRegister", "-2147483630"},
        {"RomData", "StartAddress", "0000"},
        {"RomData", "StopAddress", "7FFF"},
        {"AdrWatch", "Address1", "0000"},
        {"AdrWatch", "Address2", "0001"},
        {"AdrWatch", "Address3", "0002"},
        {"MapTrace", "TPmsbAddress", "F777"},
        {"MapTrace", "RPMmsbAddress", "F70C"},
        {"MapTrace", "RPMlsbAddress", "F70D"},
        {"MapTrace", "MapAddress", "7400"},
        {"MapTrace", "TPscaleAddress", "7AF0"},
        {"MapTrace", "RPMscaleAddress", "7B00"},
        {"TyreSize", "Swidth", "205"},
        {"TyreSize", "Shight", "55"},
        {"TyreSize", "Ssize", "16"},
        {"TyreSize", "Uwidth", "205"},
        {"TyreSize", "Uhight", "55"},
        {"TyreSize", "Usize", "16"},
        {"TyreSize", "Correction", "1"},
        {"Dashboard", "Gauge0", "0"},
        {"Dashboard", "Gauge1", "6"},
        {"Dashboard", "RPM", "6000"},
        {"Dashboard", "Speed", "110"},
        {"Trial", "customSpd", "62"},
        {"Trial", "customStart", "40"},
        {"Trial", "customStop", "120"},
    };
    return table;
}

void SettingsStore::writeStartupDefaults() {
    // Written through once for all: a file write for each of sixty keys made every start slow.
    for (const auto& d : startupDefaults()) {
        const QString section = QString::fromLatin1(d.section);
        const QString key = QString::fromLatin1(d.key);
        if (read(section, key).isEmpty())
            settings_->setValue(section + u'/' + key, QString::fromLatin1(d.value));
    }
    // A debug trace lasts one run only.
    const QString debug = read(QStringLiteral("Comms"), QStringLiteral("Debug"));
    if (debug.isEmpty() || debug == u"1")
        settings_->setValue(QStringLiteral("Comms/Debug"), QStringLiteral("0"));
    writeThrough();
}

} // namespace kx
