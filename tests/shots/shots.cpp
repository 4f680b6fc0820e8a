// Renders the windows, filled from a fresh settings profile, into PNG files:
//   kestrix-shots OUTDIR   (QT_SCALE_FACTOR=2 for the doubled scale)
#include "settings/Form3.h"
#include "settings/frmColor.h"
#include "settings/frmPreferences.h"
#include "settings/frmSettings.h"
#include "support/main_window.h"
#include "tools/frmECUfind.h"
#include "tools/frmRegTest.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>

using namespace kx;

namespace {
void shoot(QWidget* w, const QString& dir, const QString& name) {
    w->show();
    QApplication::processEvents();
    w->grab().save(dir + u'/' + name + QStringLiteral(".png"));
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);
    test::MainWindow w;
    shoot(w.form.get(), out, QStringLiteral("Form2"));
    w.connectEcu();
    shoot(w.form.get(), out, QStringLiteral("Form2-connected"));
    shoot(w.form->mnuCommunication_Click(), out, QStringLiteral("Form3"));
    shoot(w.form->mnuPreferences_Click(), out, QStringLiteral("frmPreferences"));
    frmSettings* settings = w.form->mnuDataDisplay_Click();
    shoot(settings, out, QStringLiteral("frmSettings"));
    frmColor* colours = w.form->mnuDisplay_Click();
    shoot(colours, out, QStringLiteral("frmColor"));
    colours->close();

    // A register test where the ECU answers for the catalogue's registers but the right bank.
    frmRegTest* test = settings->btnActTest_Click();
    const QByteArray answer = QByteArray("\xFF\x01\x20", 3).repeated(40);
    for (int reg = 0; reg <= 0x38 && !test->scan().completed(); ++reg) {
        const bool answers = reg <= 0x05 || (reg >= 0x08 && reg <= 0x09) ||
                             (reg >= 0x0B && reg <= 0x17) || reg == 0x1A || reg == 0x1C ||
                             reg == 0x1E || reg == 0x1F || reg == 0x21 || reg == 0x35;
        if (answers)
            w.ecu->feed(answer);
        else
            test->Timer1_Timer();
    }
    shoot(test, out, QStringLiteral("frmRegTest"));
    test->btnUpdate_Click();
    shoot(settings, out, QStringLiteral("frmSettings-updated"));

    // An ECU finder that heard from id FE and was then cancelled.
    Form3* comms = w.form->mnuCommunication_Click();
    frmECUfind* finder = comms->btnECUfind_Click();
    QTimer::singleShot(150, [&] { w.ecu->feed(QByteArray(1, char(0x01))); });
    while (finder->sweep().current() == 0xFE)
        QApplication::processEvents();
    finder->btnCancel_Click();
    while (!finder->sweep().completed())
        QApplication::processEvents();
    shoot(finder, out, QStringLiteral("frmECUfind"));
    return 0;
}
