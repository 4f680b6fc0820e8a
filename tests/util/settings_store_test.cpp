#include "util/settings_store.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kx;

namespace {
QString iniIn(const QTemporaryDir& dir) {
    return dir.filePath(QStringLiteral("Kestrix.conf"));
}
} // namespace

TEST(SettingsStore, MissingKeyReadsEmptyAndSavesWriteThrough) {
    QTemporaryDir dir;
    SettingsStore store(iniIn(dir));
    EXPECT_EQ(store.read("Comms", "Nothing"), "");
    store.save("Comms", "ComPort", "3");
    // Another reader of the same file sees it at once: nothing waits in memory.
    QSettings other(iniIn(dir), QSettings::IniFormat);
    EXPECT_EQ(other.value("Comms/ComPort").toString(), "3");
}

// A full or read-only home: every save fails, and the user is told once, with the file.
TEST(SettingsStore, SavesThatCannotBeWrittenAreSaidOnce) {
    QTemporaryDir dir;
    const QString ini = iniIn(dir);
    ASSERT_TRUE(QDir().mkpath(ini)); // a directory where the file should be
    SettingsStore store(ini);
    QStringList told;
    store.onWriteFailure([&](const QString& text) { told << text; });
    store.writeStartupDefaults();
    store.save("Comms", "ComPort", "3");
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains(ini)) << told[0].toStdString();
}

TEST(SettingsStore, FreshStoreGetsEveryDefault) {
    QTemporaryDir dir;
    SettingsStore store(iniIn(dir));
    store.writeStartupDefaults();
    for (const auto& d : startupDefaults())
        EXPECT_EQ(store.read(d.section, d.key), d.value) << d.section << "/" << d.key;
    EXPECT_EQ(store.read("Display", "GaugeWindow"), "-2147483633");
    EXPECT_EQ(store.read("Display", "GaugeRegister"), "-2147483630");
    EXPECT_EQ(store.read("Comms", "Debug"), "0");
    // Written through to the file, not only held in memory.
    QSettings other(iniIn(dir), QSettings::IniFormat);
    EXPECT_EQ(other.value("Trial/customStop").toString(), "120");
    // Keys the logger creates itself are not defaulted.
    EXPECT_EQ(store.read("DataLog", "Path"), "");
}

TEST(SettingsStore, DefaultsNeverOverwriteAndDebugIsReset) {
    QTemporaryDir dir;
    {
        SettingsStore store(iniIn(dir));
        store.save("Setup", "Register13", "0");
        store.save("Comms", "ComPort", "/dev/ttyUSB0");
        store.save("Comms", "Debug", "1");
        store.save("Comms", "Speed", "1, 2");
    }
    SettingsStore store(iniIn(dir));
    store.writeStartupDefaults();
    EXPECT_EQ(store.read("Setup", "Register13"), "0");
    EXPECT_EQ(store.read("Comms", "ComPort"), "/dev/ttyUSB0");
    EXPECT_EQ(store.read("Comms", "Debug"), "0");
    EXPECT_EQ(store.read("Comms", "Speed"), "1, 2");
}

TEST(SettingsStore, GarbageFileDoesNotBreakStartUp) {
    QTemporaryDir dir;
    QFile f(iniIn(dir));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Setup\nGauge0=\n=x\n\x01\x02garbage\n[Comms]\nSpeed=fast\n");
    f.close();
    SettingsStore store(iniIn(dir));
    store.writeStartupDefaults();
    EXPECT_EQ(store.read("Comms", "Speed"), "fast");
    EXPECT_EQ(store.read("Comms", "ECUid"), "EF");
}
