// Renders the windows, filled from a fresh settings profile, into PNG files:
//   kestrix-shots OUTDIR   (QT_SCALE_FACTOR=2 for the doubled scale)
#include "settings/Form3.h"
#include "settings/frmPreferences.h"
#include "support/main_window.h"
#include "tools/frmActiveTest.h"
#include "tools/frmSelfDiag.h"

#include <QApplication>
#include <QComboBox>
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
    frmSelfDiag* diag = w.form->btnSelfDiag_Click();
    w.ecu->feed(QByteArray::fromHex("ff0813021105430522010000").repeated(9));
    shoot(diag, out, QStringLiteral("frmSelfDiag"));
    frmActiveTest* tests = w.form->btnActiveTest_Click();
    shoot(tests, out, QStringLiteral("frmActiveTest"));
    auto* timing = tests->findChild<QComboBox*>(QStringLiteral("cmbTiming"));
    timing->setCurrentIndex(timing->findText(QStringLiteral("+5")));
    tests->btnStart_Click(frmActiveTest::Timing);
    shoot(tests, out, QStringLiteral("frmActiveTest-running"));
    return 0;
}
