// Renders the windows, filled from a fresh settings profile, into PNG files:
//   kestrix-shots OUTDIR   (QT_SCALE_FACTOR=2 for the doubled scale)
#include "live/Form1.h"
#include "settings/Form3.h"
#include "settings/frmPreferences.h"
#include "support/main_window.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>

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
    kx::Form1* display = w.form->btnDataDisplay_Click();
    display->resize(1000, 700);
    QByteArray frame;
    for (int v : {0xFF, 18, 0, 196, 40, 0x87, 175, 95, 0x01, 0x90, 100, 50, 0x01, 0x64, 40, 128,
                  0x01, 0x02, 0x00, 0x80})
        frame.append(char(v));
    w.ecu->feed(frame.repeated(2));
    shoot(display, out, QStringLiteral("Form1"));
    return 0;
}
