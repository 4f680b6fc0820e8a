// log_kill_helper DIR: the main window against the simulated ECU logs from the data logging
// window (F2) into DIR/crash.log and writes "R <n>\n" to stdout, unbuffered, as soon as record
// n has been handed to the log writer. It runs until it is killed.
#include "app/Form2.h"
#include "ecu_sim.h"
#include "link/EcuLink.h"
#include "link/SerialPort.h"
#include "logs/frmDataLog.h"
#include "ui/Dialogs.h"
#include "util/settings_store.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <unistd.h>

namespace {
// Nothing may wait on a modal box here.
class SilentDialogs : public kx::Dialogs {
public:
    void message(QWidget*, const QString& text, kx::MessageKind = kx::MessageKind::Plain) override {
        const QByteArray line = "M " + text.toUtf8() + "\n";
        [[maybe_unused]] const auto n = ::write(STDERR_FILENO, line.constData(), line.size());
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&,
                         const QString&) override {
        return {};
    }
    QString openFileName(QWidget*, const QString&, const QString&) override { return {}; }
    std::optional<uint32_t> chooseColour(QWidget*, uint32_t) override { return {}; }
    void beep() override {}
};
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) return 2;
    const QString dir = QString::fromLocal8Bit(argv[1]);
    kxsim::SimOptions options;
    options.seed = 7;
    kxsim::EcuSimulator sim(options);
    if (!sim.start()) return 3;

    SilentDialogs dialogs;
    kx::SettingsStore store(dir + QStringLiteral("/Kestrix.conf"));
    store.save("Comms", "ComPort", QString::fromStdString(sim.devicePath()));
    store.save("DataLog", "Path", dir + u'/');
    kx::Form2 form(store, dialogs, new kx::QtSerialPort, new kx::QtSerialPort);
    form.load();
    form.btnConnect_Click();
    QElapsedTimer t;
    t.start();
    while (!form.link().connected() && t.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!form.link().connected()) return 4;

    QPointer<kx::frmDataLog> log = form.open<kx::frmDataLog>();
    // Logging starts once the live-data stream is armed.
    while (form.link().busy())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    log->findChild<QLineEdit*>(QStringLiteral("txtPath"))->setText(QStringLiteral("crash.log"));
    long records = 0;
    // Connected after the main window's dispatcher, so this runs once saveLogData has returned.
    QObject::connect(&form.MSComm1(), &kx::SerialPort::received, &form, [&] {
        if (!log || !log->isLogging()) return;
        const QByteArray line = "R " + QByteArray::number(++records) + '\n';
        [[maybe_unused]] const auto n = ::write(STDOUT_FILENO, line.constData(), line.size());
    });
    log->btnStart_Click();
    if (!log->isLogging()) return 5;
    return app.exec();
}
