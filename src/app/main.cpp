#include "app/Form2.h"
#include "app/command_line.h"
#include "link/SerialPort.h"
#include "ui/Dialogs.h"
#include "ui/ui_helpers.h"
#include "util/settings_store.h"

#include <QApplication>
#include <QTimer>
#include <memory>

int main(int argc, char** argv) {
    kx::answerCommandLine(argc, argv);
    kx::prepareWindowSystem();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Kestrix"));
    QApplication::setApplicationName(QStringLiteral("Kestrix"));
    // The desktop entry's name, so the desktop matches the window to its launcher and icon.
    QApplication::setDesktopFileName(QStringLiteral("org.kestrix.Kestrix"));

    // KESTRIX_SETTINGS names another settings file (the simulator profile of scripts/run);
    // otherwise the user's own store is used.
    const QString profile = qEnvironmentVariable("KESTRIX_SETTINGS");
    auto settings = profile.isEmpty() ? std::make_unique<kx::SettingsStore>()
                                      : std::make_unique<kx::SettingsStore>(profile);
    kx::QtDialogs dialogs;
    kx::Form2 form(*settings, dialogs, new kx::QtSerialPort, new kx::QtSerialPort);
    form.show();
    // Start-up runs from the event loop, so that closing the window at any moment, even during
    // the start-up connect, ends the program.
    QTimer::singleShot(0, &form, &kx::Form2::load);
    return app.exec();
}
