// The live register test and the ECU finder: their logic, and their windows on the in-memory
// port.
#include "settings/Form3.h"
#include "settings/frmColor.h"
#include "settings/frmSettings.h"
#include "support/accessible_tree.h"
#include "support/main_window.h"
#include "tools/ecu_find.h"
#include "tools/frmECUfind.h"
#include "tools/frmRegTest.h"
#include "tools/reg_test.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
// What the ECU streams for a one-register request: its start acknowledgement, then frames.
QByteArray probeAnswer() {
    return bytes({0x0F}) + bytes({0xFF, 0x01, 0x20}).repeated(40);
}
int countWrites(const MemoryPort& port, const QByteArray& w) {
    return int(port.writes.count(w));
}
QString label(QWidget* w, const char* name) {
    return w->findChild<QLabel*>(QString::fromLatin1(name))->text();
}
QPushButton* button(QWidget* w, const char* name) {
    return w->findChild<QPushButton*>(QString::fromLatin1(name));
}
void settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}
} // namespace

TEST(RegisterTestLogic, AnswersTextsAndGauges) {
    // The link hands over confirmed frames: a whole one-byte frame is an answer.
    EXPECT_TRUE(isProbeAnswer(probeAnswer()));
    EXPECT_TRUE(isProbeAnswer(bytes({0xFF, 0x01, 0x40})));
    EXPECT_FALSE(isProbeAnswer(bytes({0xFF, 0x01})));             // cut short
    EXPECT_FALSE(isProbeAnswer(bytes({0xFF, 0x02, 0x40, 0x41}))); // two data bytes
    EXPECT_TRUE(isProbeAnswer(QByteArray(50, '\0') + bytes({0xFF, 0x01, 0xFF})));
    EXPECT_FALSE(isProbeAnswer(QByteArray(51, '\0') + bytes({0xFF, 0x01, 0x00})));
    EXPECT_FALSE(isProbeAnswer({}));

    EXPECT_EQ(registerLine(0x01), "Register 1 active - CAS Position (RPM) LSB - supported\r\n");
    EXPECT_EQ(registerLine(0x02), "Register 2 active - not supported\r\n");
    EXPECT_EQ(registerLine(0x1D), "Register 1D active - A/F Base SL RH - supported\r\n");
    EXPECT_EQ(registerGauges(0x15), (std::vector<int>{12, 20}));
    EXPECT_EQ(registerGauges(0x23), (std::vector<int>{19, 21}));
    EXPECT_TRUE(registerGauges(0x00).empty());
    EXPECT_TRUE(registerGauges(0x13).empty());
    EXPECT_TRUE(registerGauges(0x02).empty());

    // 57 registers, 0x00 to 0x38; answers gather lines and flags.
    RegisterScan scan;
    int probes = 1;
    while (true) {
        const uint8_t r = scan.current();
        if (r == 0x01 || r == 0x02 || r == 0x35 || r == 0x36) {
            EXPECT_TRUE(scan.answer(probeAnswer()));
        }
        if (r == 0x15) {
            EXPECT_FALSE(scan.answer(bytes({0xFF, 0x02, 0x40, 0x41})));
        }
        if (!scan.next()) break;
        ++probes;
    }
    EXPECT_EQ(probes, 57);
    EXPECT_EQ(scan.current(), 0x38);
    EXPECT_TRUE(scan.completed());
    EXPECT_EQ(scan.report(),
              registerLine(0x01) + registerLine(0x02) + registerLine(0x35) + registerLine(0x36));
    EXPECT_EQ(offeredGauges(scan.supported()), (std::vector<int>{0, 22, 23, 24}));
}

TEST(EcuFindLogic, SweepComplementAndCancel) {
    EXPECT_TRUE(acknowledgesId(bytes({0x00, 0x10}), 0xEF));
    EXPECT_FALSE(acknowledgesId(bytes({0xEF}), 0xEF));
    EXPECT_FALSE(acknowledgesId({}, 0x00));
    EXPECT_EQ(ecuIdLine(0xEF), "ECU id EF - active\r\n");
    EXPECT_EQ(ecuIdLine(0x0A), "ECU id A - active\r\n");
    EXPECT_EQ(ecuIdProbe(0x3C), bytes({0xFF, 0xFF, 0x3C}));

    EcuIdSweep all;
    int ids = 1;
    while (all.next())
        ++ids;
    EXPECT_EQ(ids, 255);
    EXPECT_EQ(all.current(), 0);

    // A cancel keeps the id of the probe in progress: its answer still counts as that id's.
    EcuIdSweep s;
    s.next();
    s.cancel();
    EXPECT_EQ(s.current(), 0xFD);
    EXPECT_TRUE(s.answer(bytes({0x02})));
    EXPECT_FALSE(s.answer(bytes({0xFF})));
    EXPECT_FALSE(s.next());
    EXPECT_TRUE(s.completed());
    EXPECT_EQ(s.report(), "ECU id FD - active\r\n");
}

TEST(RegisterTestWindow, ProbesEveryRegisterAndNarrowsTheGaugeLists) {
    MainWindow w;
    w.connectEcu();
    frmSettings* settings = w.form->open<frmSettings>();
    w.ecu->writes.clear();
    QTest::mouseClick(button(settings, "btnActTest"), Qt::LeftButton);
    w.settle();
    QPointer<frmRegTest> t = w.form->window<frmRegTest>();
    ASSERT_TRUE(t);
    EXPECT_EQ(t->windowTitle(), "Live Register Test");
    EXPECT_EQ(w.ecu->writes,
              (QList<QByteArray>{bytes({0x30}), bytes({0x5A, 0x00}), bytes({0xF0})}));
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::RegisterTest);
    // The answer is read once a frame and the next header are in.
    EXPECT_EQ(w.ecu->threshold(), 6);
    // The first probe gives a slow ECU longer than the others before it counts as no answer.
    EXPECT_GT(t->Timer1()->remainingTime(), 1000);
    EXPECT_FALSE(button(t, "btnClose")->isEnabled());

    w.ecu->writes.clear();
    w.ecu->feed(probeAnswer()); // register 0
    w.settle();
    EXPECT_EQ(w.ecu->writes,
              (QList<QByteArray>{bytes({0x30}), bytes({0x5A, 0x01}), bytes({0xF0})}));
    EXPECT_TRUE(t->Timer1()->isActive());
    EXPECT_EQ(label(t, "lblInfo"), "- Register 1");
    w.ecu->feed(probeAnswer()); // register 1
    w.settle();
    w.ecu->feed(probeAnswer()); // register 2
    w.settle();

    // Register 3 stays silent: the ECU answered at once so far, so after a quarter second the
    // test moves on without a line.
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(waitUntil([&] { return countWrites(*w.ecu, bytes({0x5A, 0x04})) == 1; }, 5000));
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_EQ(t->scan().report(), registerLine(0) + registerLine(1) + registerLine(2));

    for (int reg = 4; !t->scan().completed(); ++reg) {
        w.settle();
        if (reg == 0x15 || reg == 0x35 || reg == 0x36)
            w.ecu->feed(probeAnswer());
        else
            t->Timer1_Timer();
    }
    EXPECT_EQ(label(t, "lblInfo"), "- Completed !");
    EXPECT_FALSE(t->Timer1()->isActive());
    EXPECT_TRUE(button(t, "btnUpdate")->isEnabled());
    EXPECT_TRUE(button(t, "btnClose")->isEnabled());
    int probes = 0;
    for (const QByteArray& b : w.ecu->writes)
        probes += b.size() == 2 && b[0] == '\x5A';
    EXPECT_EQ(probes, 57 - 1);
    EXPECT_TRUE(t->findChild<QPlainTextEdit*>("txtRegisters")
                    ->toPlainText()
                    .endsWith("Register 36 active - O2 Sensor B2 - supported"));
    // A late delivery after the end sends nothing.
    const auto sent = w.ecu->writes.size();
    w.ecu->feed(probeAnswer());
    EXPECT_EQ(w.ecu->writes.size(), sent);

    // Slot 1 keeps RPM, which is still offered; slot 2 had Speed, which is not.
    QTest::mouseClick(button(t, "btnUpdate"), Qt::LeftButton);
    QStringList offered;
    for (int i = 0; i < settings->cmbGauge(5)->count(); ++i)
        offered << settings->cmbGauge(5)->itemText(i);
    EXPECT_EQ(offered, (QStringList{"RPM", "Injector Time", "Duty Cycle (requires RPM & Inj)",
                                    "O2 Sensor B1", "O2 Sensor B2", "WBo2"}));
    EXPECT_EQ(settings->cmbGauge(0)->currentText(), "RPM");
    EXPECT_EQ(settings->cmbGauge(1)->currentIndex(), -1);
    EXPECT_EQ(settings->cmbGauge(6)->currentData().toInt(), 20);

    // The update closed the test, which reconnected once.
    w.settle();
    settle();
    EXPECT_FALSE(t);
    EXPECT_EQ(countWrites(*w.ecu, bytes({0xD0})), 1);
    EXPECT_TRUE(w.ecu->written().endsWith(bytes({0xFF, 0xFF, 0xEF, 0xD0, 0xF0})));
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::Identify);
}

TEST(RegisterTestWindow, ClosingDuringAWaitStopsAfterItAndReconnectsOnce) {
    MainWindow w;
    w.connectEcu();
    frmSettings* settings = w.form->open<frmSettings>();
    QPointer<frmRegTest> t = qobject_cast<frmRegTest*>(settings->btnActTest_Click());
    ASSERT_TRUE(t);
    w.settle();
    w.ecu->writes.clear();
    // The close lands inside the stream stop's 50 ms pause of the answer's handling.
    QTimer::singleShot(10, t, [&] { t->close(); });
    w.ecu->feed(probeAnswer());
    w.settle();
    settle();
    EXPECT_FALSE(t);
    EXPECT_EQ(countWrites(*w.ecu, bytes({0x5A, 0x01})), 0);
    EXPECT_EQ(countWrites(*w.ecu, bytes({0xD0})), 1);
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::Identify);
    EXPECT_TRUE(w.form->window<frmRegTest>() == nullptr);
    // A delivery in mode 8 with the test gone goes nowhere.
    w.form->link().run(nullptr, LinkSequence().mode(ReceiveMode::RegisterTest));
    w.settle();
    w.ecu->feed(probeAnswer());
    EXPECT_TRUE(w.dialogs.messages.isEmpty());
}

TEST(RegisterTestWindow, ATestEndedEarlyNeverNarrowsTheGaugeLists) {
    const struct {
        const char* name;
        std::function<void(MainWindow&, frmRegTest&)> end;
        const char* said;
        int probed;
    } cases[] = {
        {"cancelled", [](MainWindow&, frmRegTest& t) { button(&t, "btnCancel")->click(); },
         " Cancelled: the gauge lists are left as they were.", 2},
        {"cable pulled", [](MainWindow& w, frmRegTest&) { w.ecu->disconnectNow(); },
         " The ECU port was lost.", 2},
        {"no answer to register 0",
         [](MainWindow& w, frmRegTest& t) {
             for (int i = 0; i < 3; ++i) {
                 t.Timer1_Timer();
                 w.settle();
             }
         },
         " No answer from the ECU to register 0.", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MainWindow w;
        w.connectEcu();
        frmSettings* settings = w.form->open<frmSettings>();
        const int offered = settings->cmbGauge(0)->count();
        QPointer<frmRegTest> t = qobject_cast<frmRegTest*>(settings->btnActTest_Click());
        ASSERT_TRUE(t);
        w.settle();
        for (int reg = 0; reg < c.probed; ++reg) {
            w.ecu->feed(probeAnswer());
            w.settle();
        }
        EXPECT_EQ(t->findChild<QProgressBar*>("prgProbe")->value(), c.probed);
        w.ecu->writes.clear();
        c.end(w, *t);
        w.settle();
        EXPECT_EQ(label(t, "lblInfo"), QString("- Completed !") + c.said);
        EXPECT_FALSE(button(t, "btnUpdate")->isEnabled());
        EXPECT_FALSE(button(t, "btnCancel")->isEnabled());
        EXPECT_TRUE(button(t, "btnClose")->isEnabled());
        EXPECT_EQ(countWrites(*w.ecu, bytes({0x5A, uint8_t(c.probed + 1)})), 0);
        EXPECT_EQ(settings->cmbGauge(0)->count(), offered);
        t->close();
        w.settle();
    }
}

TEST(EcuFinderWindow, ProbesFromFeDownAndCancelFinishesTheProbeInProgress) {
    MainWindow w;
    w.connectEcu();
    Form3* comms = w.form->open<Form3>();
    w.ecu->writes.clear();
    QTest::mouseClick(button(comms, "btnECUfind"), Qt::LeftButton);
    QPointer<frmECUfind> f = w.form->findChild<frmECUfind*>();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->windowTitle(), "Active ECU test");
    EXPECT_EQ(w.ecu->writes, QList<QByteArray>{bytes({0x30})}); // the stream stopped first

    // The ECU answers id FE with its complement while the probe runs.
    QTimer::singleShot(200, [&] { w.ecu->feed(bytes({0x01})); });
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(waitUntil([&] { return f->sweep().current() == 0xFD; }, 5000));
    EXPECT_GE(clock.elapsed(), 300);
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::EcuFind);
    EXPECT_EQ(w.ecu->threshold(), 20);
    EXPECT_EQ(f->sweep().report(), "ECU id FE - active\r\n");
    EXPECT_EQ(f->findChild<QPlainTextEdit*>("txtRegisters")->toPlainText(), "ECU id FE - active");

    // Cancel while FD is probed (its probe starts at the next turn of the event loop): FD
    // still finishes, and its answer is FD's.
    bool cancelOffDuringProbe = false;
    QTimer::singleShot(150, [&] {
        QTest::mouseClick(button(f, "btnCancel"), Qt::LeftButton);
        cancelOffDuringProbe = !button(f, "btnCancel")->isEnabled() && !f->sweep().completed();
    });
    QTimer::singleShot(250, [&] { w.ecu->feed(bytes({0x02})); });
    ASSERT_TRUE(waitUntil([&] { return f->sweep().completed(); }, 5000));
    EXPECT_TRUE(cancelOffDuringProbe);
    EXPECT_EQ(label(f, "lblInfo"), "- Completed !");
    EXPECT_TRUE(button(f, "btnClose")->isEnabled());
    EXPECT_EQ(f->sweep().report(), "ECU id FE - active\r\nECU id FD - active\r\n");
    // The port was reopened, woken with two 0xFF, then FE and FD probed a byte per write.
    const QList<QByteArray> expected{bytes({0x30}), bytes({0x30}), bytes({0xFF}), bytes({0xFF}),
                                     bytes({0xFF}), bytes({0xFF}), bytes({0xFE}), bytes({0xFF}),
                                     bytes({0xFF}), bytes({0xFD})};
    EXPECT_EQ(w.ecu->writes, expected);
    EXPECT_EQ(w.ecu->openedWith.size(), 2);

    w.ecu->writes.clear();
    QTest::mouseClick(button(f, "btnClose"), Qt::LeftButton);
    w.settle();
    settle();
    EXPECT_FALSE(f);
    EXPECT_EQ(countWrites(*w.ecu, bytes({0xD0})), 1);
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::Identify);
}

TEST(EcuFinderWindow, ClosingMidProbeEndsItAndReconnectsOnce) {
    MainWindow w;
    w.connectEcu();
    Form3* comms = w.form->open<Form3>();
    w.ecu->writes.clear();
    QPointer<frmECUfind> f = qobject_cast<frmECUfind*>(comms->btnECUfind_Click());
    // 200 ms in, FE is being probed: the close ends the probe there and reconnects.
    QTimer::singleShot(200, [&] { f->close(); });
    ASSERT_TRUE(waitUntil([&] { return f.isNull(); }, 5000));
    w.settle();
    EXPECT_EQ(countWrites(*w.ecu, bytes({0xFD})), 0);
    EXPECT_EQ(countWrites(*w.ecu, bytes({0xD0})), 1);
    EXPECT_TRUE(w.ecu->written().endsWith(bytes({0xFF, 0xFF, 0xEF, 0xD0, 0xF0})));

    // The set-up window offers a new search afterwards; a port that fails ends it quietly.
    w.settle();
    w.ecu->failNextOpen(PortInvalid);
    w.ecu->close();
    QPointer<frmECUfind> again = qobject_cast<frmECUfind*>(comms->btnECUfind_Click());
    ASSERT_TRUE(waitUntil([&] { return again->sweep().completed(); }, 5000));
    w.settle();
    EXPECT_EQ(label(again, "lblInfo"), "- Completed !");
    EXPECT_EQ(w.dialogs.messages, QStringList{"Invalid Port number"});
}

TEST(ProbeToolWindows, EveryControlHasAnAccessibleNameAndEscapeCloses) {
    MainWindow w;
    w.connectEcu();
    const auto checkNames = [](QWidget* window) {
        for (QWidget* c : window->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(c) || qobject_cast<QComboBox*>(c) ||
                                 qobject_cast<QPlainTextEdit*>(c) || qobject_cast<QLabel*>(c);
            if (control) {
                EXPECT_TRUE(showsNothing(c) || !spokenName(c).isEmpty())
                    << c->objectName().toStdString();
            }
        }
    };
    // The colour window is modal: looked at and closed before the others open.
    frmColor* colours = w.form->open<frmColor>();
    checkNames(colours);
    colours->close();

    frmSettings* settings = w.form->open<frmSettings>();
    QList<QPointer<QWidget>> windows;
    windows << QPointer<QWidget>(settings->btnActTest_Click())
            << QPointer<QWidget>(w.form->open<Form3>()->btnECUfind_Click())
            << QPointer<QWidget>(settings);
    for (QWidget* window : windows) {
        ASSERT_TRUE(window);
        checkNames(window);
    }
    // Escape closes each of them (the finder after the probe in progress).
    for (QWidget* window : windows) {
        ASSERT_TRUE(waitUntil(
            [&] {
                window->activateWindow();
                return QApplication::activeWindow() == window;
            },
            5000));
        QTest::keyClick(window, Qt::Key_Escape);
    }
    EXPECT_TRUE(waitUntil(
        [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return std::all_of(windows.begin(), windows.end(), [](auto& p) { return p.isNull(); });
        },
        5000));
    for (auto& p : windows)
        EXPECT_TRUE(p.isNull()) << (p ? p->objectName().toStdString() : "");
}
