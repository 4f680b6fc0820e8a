#pragma once
// The main window on in-memory ports with a settings file of its own, for window tests.
#include "app/Form2.h"
#include "link/EcuLink.h"
#include "link/SerialPort.h"
#include "support/test_support.h"
#include "util/settings_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace kx::test {

// An identification frame with the part number at its place, repeated as the ECU does: two
// of them reach the receive threshold of 48.
inline QByteArray idFrame(const char* part, bool obd2 = false) {
    const int n = obd2 ? 32 : 22;
    QByteArray f;
    f.append(char(0xFF)).append(char(n));
    QByteArray data(n, '\x02');
    data.replace(obd2 ? 27 : 17, 5, part);
    return (f + data).repeated(2);
}

// A live-data frame of the default display selection, three times: the link confirms a frame by
// the next one's header, and the spike filter lets it through once the next has come. RPM,
// Speed, Water, Battery, Timing, Injector, (Duty), A/F Base, Throttle, Air Flow, O2, AAC, then
// 0x13, 0x1E, 0x1F, 0x21.
inline QByteArray defaultFrame(int rpmRaw, int waterRaw, int reg1E) {
    QByteArray f =
        bytes({0xFF, 18, rpmRaw >> 8, rpmRaw & 0xFF, 25, waterRaw, 175,  95,    0x01, 0x90,
               100,  50, 0x00,        0x64,          40, 128,      0x01, reg1E, 0x00, 0x80});
    return f.repeated(3);
}

// By default both ports are in memory (`ecu`, `wb`); pass a real port to talk to a device,
// and `ecu` (or `wb`) is then null.
struct MainWindow {
    QTemporaryDir dir;
    QString oldCwd = QDir::currentPath();
    std::unique_ptr<SettingsStore> store;
    RecordingDialogs dialogs;
    MemoryPort* ecu = nullptr;
    MemoryPort* wb = nullptr;
    SerialPort* ecuPort = nullptr;
    std::unique_ptr<Form2> form;

    explicit MainWindow(const std::function<void(SettingsStore&)>& before = {},
                        SerialPort* realEcuPort = nullptr, SerialPort* realWbPort = nullptr) {
        QDir::setCurrent(dir.path());
        store = std::make_unique<SettingsStore>(dir.filePath("Kestrix.conf"));
        // Logs go to the test's own folder, never to a data folder of the machine's.
        store->save("DataLog", "Path", dir.path() + "/");
        if (before) before(*store);
        if (realEcuPort) {
            ecuPort = realEcuPort;
        } else {
            ecu = new MemoryPort;
            ecuPort = ecu;
        }
        if (!realWbPort) wb = new MemoryPort;
        form = std::make_unique<Form2>(*store, dialogs, ecuPort, realWbPort ? realWbPort : wb);
        form->load();
    }
    ~MainWindow() {
        form.reset();
        QDir::setCurrent(oldCwd);
    }

    template <class T> T* find(const char* name) {
        T* w = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString panel(int i) {
        return find<QLabel>(qPrintable(QStringLiteral("Panel%1").arg(i)))->text();
    }
    // Runs the event loop until the link has done everything queued on it.
    bool settle(int ms = 5000) {
        const bool done = waitUntil([&] { return !form->link().busy(); }, ms);
        QCoreApplication::processEvents(); // what the link's steps posted (an open error)
        return done;
    }
    void connectEcu(bool obd2 = false) {
        form->btnConnect_Click();
        settle();
        ecu->feed(idFrame("1U800", obd2));
    }
};

} // namespace kx::test
