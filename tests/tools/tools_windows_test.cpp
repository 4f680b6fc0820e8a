// The self-diagnostics and active test windows on the main window's in-memory ECU port.
#include "live/live_data.h"
#include "support/accessible_tree.h"
#include "support/main_window.h"
#include "tools/frmActiveTest.h"
#include "tools/frmSelfDiag.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
using Writes = QList<QByteArray>;


// The text box shows "\n" where the fault text has "\r\n".
QString shown(frmSelfDiag* win) {
    return child<QPlainTextEdit>(win, "txtFaults")->toPlainText();
}

const QString Started = QStringLiteral(" >Car started %1 times with this fault\n");
} // namespace

TEST(SelfDiagWindow, OpensArmedAndShowsEachDelivery) {
    MainWindow w;
    w.connectEcu();
    w.ecu->writes.clear();
    w.find<QPushButton>("btnSelfDiag")->click();
    w.settle();
    auto* win = w.form->findChild<frmSelfDiag*>();
    ASSERT_NE(win, nullptr);
    EXPECT_EQ(win->windowTitle(), "Self Diagnostics");
    EXPECT_EQ(child<QPushButton>(win, "btnReset")->text(), "Reset  ECU");
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::SelfDiag);
    EXPECT_EQ(w.ecu->writes, (Writes{hex("30"), hex("d1"), hex("f0")}));
    EXPECT_EQ(w.ecu->threshold(), 100);

    // The ECU repeats its frame; 100 bytes make one delivery.
    w.ecu->feed(hex("0f") + hex("ff0413024305").repeated(17));
    EXPECT_EQ(shown(win), "Code 13: Engine Coolant Temperature Sensor Circuit\n" + Started.arg(2) +
                              "Code 43: Throttle Position Sensor Circuit\n" + Started.arg(5));
    w.ecu->feed(hex("ff025500").repeated(25));
    EXPECT_EQ(shown(win), "Code 55: No Faults");

    // The function key opens the same single window again.
    QTest::keyClick(w.form.get(), Qt::Key_F3);
    EXPECT_EQ(w.form->findChildren<frmSelfDiag*>().size(), 1);
}

TEST(SelfDiagWindow, ResetErasesInModeZeroAndReadsAgain) {
    MainWindow w;
    w.connectEcu();
    frmSelfDiag* win = w.form->open<frmSelfDiag>();
    w.settle();
    w.ecu->feed(hex("ff021303").repeated(25));
    w.ecu->writes.clear();
    auto* reset = child<QPushButton>(win, "btnReset");

    bool checkedDuringWait = false;
    QTimer::singleShot(400, [&] {
        EXPECT_EQ(w.form->link().readMode(), ReceiveMode::None);
        EXPECT_FALSE(reset->isEnabled());
        EXPECT_EQ(shown(win), "****  RESETTING ECU  ****");
        // What arrives meanwhile goes nowhere.
        w.ecu->feed(hex("ff025500").repeated(25));
        EXPECT_EQ(shown(win), "****  RESETTING ECU  ****");
        checkedDuringWait = true;
    });
    QElapsedTimer t;
    t.start();
    reset->click();
    w.settle();
    EXPECT_GE(t.elapsed(), 1000);
    EXPECT_TRUE(checkedDuringWait);
    EXPECT_EQ(w.ecu->writes,
              (Writes{hex("30"), hex("c1"), hex("f0"), hex("30"), hex("d1"), hex("f0")}));
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::SelfDiag);
    EXPECT_TRUE(reset->isEnabled());
    w.ecu->feed(hex("ff025500").repeated(25));
    EXPECT_EQ(shown(win), "Code 55: No Faults");
}

TEST(SelfDiagWindow, ResetOnAClosedPortKeepsTheCodesAndTheButton) {
    MainWindow w;
    w.connectEcu();
    frmSelfDiag* win = w.form->open<frmSelfDiag>();
    w.settle();
    w.ecu->feed(hex("ff021303").repeated(25));
    const QString before = shown(win);
    w.ecu->close();
    w.ecu->writes.clear();
    child<QPushButton>(win, "btnReset")->click();
    EXPECT_TRUE(w.ecu->writes.isEmpty());
    EXPECT_EQ(shown(win), before);
    EXPECT_TRUE(child<QPushButton>(win, "btnReset")->isEnabled());
    EXPECT_TRUE(w.dialogs.messages.isEmpty());
}

TEST(SelfDiagWindow, ClosingDuringTheEraseReconnectsAndStopsTheErase) {
    MainWindow w;
    w.connectEcu();
    QPointer<frmSelfDiag> win = w.form->open<frmSelfDiag>();
    w.settle();
    w.ecu->writes.clear();
    QTimer::singleShot(300, [&] { win->close(); });
    child<QPushButton>(win, "btnReset")->click();
    w.settle();
    QApplication::processEvents();
    EXPECT_TRUE(win.isNull());
    // Stop, erase, start; then the close's reconnect, and nothing of the erase after it.
    const Writes expected{hex("30"), hex("c1"), hex("f0"), hex("30"), hex("ff"),
                          hex("ff"), hex("ef"), hex("d0"), hex("f0")};
    EXPECT_EQ(w.ecu->writes, expected);
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::Identify);
}

namespace {
struct ActiveTestWindow {
    MainWindow w;
    frmActiveTest* win = nullptr;
    QByteArray live;

    explicit ActiveTestWindow(bool fahr = false)
        : w([fahr](SettingsStore& s) { s.save("Preferences", "Temperature", fahr ? "1" : "0"); }) {
        w.connectEcu();
        win = w.form->open<frmActiveTest>();
        w.settle();
        live = fullDataRequest(w.form->state().setup);
        w.ecu->writes.clear();
    }
    // Picks `text` in the list and presses the group's START; returns what was written.
    Writes start(const char* list, const QString& text, const char* startButton) {
        if (list) {
            auto* c = child<QComboBox>(win, list);
            const int i = c->findText(text);
            EXPECT_GE(i, 0) << text.toStdString();
            c->setCurrentIndex(i);
        }
        return click(startButton);
    }
    Writes click(const char* name) {
        w.ecu->writes.clear();
        child<QPushButton>(win, name)->click();
        w.settle();
        return w.ecu->writes;
    }
    Writes sent(const char* request) { return {hex("30"), hex(request), live, hex("f0")}; }
    QList<QPushButton*> buttons(const char* prefix) {
        QList<QPushButton*> out;
        for (auto* b : win->findChildren<QPushButton*>())
            if (b->objectName().startsWith(QString::fromLatin1(prefix))) out << b;
        return out;
    }
    bool idle() {
        for (auto* b : buttons("btnStart"))
            if (!b->isEnabled()) return false;
        for (auto* b : buttons("btnStop"))
            if (b->isEnabled()) return false;
        return child<QPushButton>(win, "btnClearSL")->isEnabled();
    }
    bool running(const char* stopName) {
        for (auto* b : buttons("btn"))
            if (b->isEnabled() != (b->objectName() == QString::fromLatin1(stopName))) return false;
        return true;
    }
};
} // namespace

TEST(ActiveTestWindow, StartSendsTheTestAndLiveDataAgainStopRestores) {
    ActiveTestWindow a;
    EXPECT_EQ(a.win->windowTitle(), "Active Test");
    EXPECT_EQ(a.w.form->link().readMode(), ReceiveMode::Identify); // opening leaves the link alone
    EXPECT_TRUE(a.idle());
    ASSERT_FALSE(a.live.isEmpty());
    EXPECT_EQ(child<QLabel>(a.win, "lblWarning")->text(),
              "* Warning - inappropriate use may damage the engine");

    struct Case {
        const char* list;
        const char* text;
        const char* start;
        const char* stop;
        const char* request;
    } cases[] = {
        {"cmbTiming", "-1", "btnStartTiming", "btnStopTiming", "0a82ff"},
        {"cmbTiming", "+15", "btnStartTiming", "btnStopTiming", "0a820f"},
        {"cmbEngineTemp", "-10", "btnStartTemp", "btnStopTemp", "0a8028"},
        {"cmbEngineTemp", "150", "btnStartTemp", "btnStopTemp", "0a80c8"},
        {"cmbAAC", "100", "btnStartAAC", "btnStopAAC", "0a84ff"},
        {"cmbIACV", "30", "btnStartIACV", "btnStopIACV", "0a854c"},
        {"cmbAFBase", "75", "btnStartAFBase", "btnStopAFBase", "0a814b"},
        {nullptr, "", "btnStartFpump", "btnStopFpump", "0a8901"},
        {nullptr, "", "btnStartVCT", "btnStopVCT", "0a8f01"},
        {nullptr, "", "btnStart8C", "btnStop8C", "0a8c00"},
        {nullptr, "", "btnStartCylinder", "btnStopCylinder", "0a8800"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start + std::string(" ") + c.text);
        EXPECT_EQ(a.start(c.list, QString::fromLatin1(c.text), c.start), a.sent(c.request));
        EXPECT_TRUE(a.running(c.stop));
        EXPECT_EQ(a.click(c.stop), (Writes{hex("30"), a.live, hex("f0")}));
        EXPECT_TRUE(a.idle());
    }

    child<QCheckBox>(a.win, "chcCylinder0")->setChecked(true);
    child<QCheckBox>(a.win, "chcCylinder7")->setChecked(true);
    EXPECT_EQ(a.click("btnStartCylinder"), a.sent("0a8881"));
    a.click("btnStopCylinder");
    child<QRadioButton>(a.win, "optFpumpOff")->setChecked(true);
    EXPECT_EQ(a.click("btnStartFpump"), a.sent("0a8900"));
    a.click("btnStopFpump");
    child<QRadioButton>(a.win, "optVctOff")->setChecked(true);
    EXPECT_EQ(a.click("btnStartVCT"), a.sent("0a8f00"));
    EXPECT_TRUE(a.w.dialogs.messages.isEmpty());
}

TEST(ActiveTestWindow, FahrenheitListSendsTheCelsiusByte) {
    ActiveTestWindow a(true);
    EXPECT_EQ(child<QComboBox>(a.win, "cmbEngineTemp")->itemText(0), "14");
    EXPECT_EQ(a.start("cmbEngineTemp", "14", "btnStartTemp"), a.sent("0a8028"));
}

TEST(ActiveTestWindow, StartWithoutAChoiceDoesNothing) {
    ActiveTestWindow a;
    for (const char* name : {"cmbEngineTemp", "cmbAFBase", "cmbTiming", "cmbAAC", "cmbIACV"})
        EXPECT_EQ(child<QComboBox>(a.win, name)->currentIndex(), -1) << name;
    for (const char* start :
         {"btnStartTemp", "btnStartAFBase", "btnStartTiming", "btnStartAAC", "btnStartIACV"}) {
        EXPECT_TRUE(a.click(start).isEmpty()) << start;
        EXPECT_TRUE(a.idle());
    }
}

TEST(ActiveTestWindow, ClearSelfLearnHoldsEverythingForASecond) {
    ActiveTestWindow a;
    bool allDisabled = false;
    QTimer::singleShot(500, [&] {
        allDisabled = true;
        for (auto* b : a.buttons("btn"))
            allDisabled = allDisabled && !b->isEnabled();
    });
    QElapsedTimer t;
    t.start();
    const Writes writes = a.click("btnClearSL");
    EXPECT_GE(t.elapsed(), 1000);
    EXPECT_TRUE(allDisabled);
    EXPECT_EQ(writes, a.sent("0a8b00") + (Writes{hex("30"), a.live, hex("f0")}));
    EXPECT_TRUE(a.idle());
}

TEST(ActiveTestWindow, ClosedPortSaysSoOnceInTheStatusLine) {
    ActiveTestWindow a;
    a.w.ecu->close();
    auto* status = child<QLabel>(a.win, "lblStatus");
    EXPECT_TRUE(status->text().isEmpty());
    EXPECT_TRUE(a.start("cmbAAC", "50", "btnStartAAC").isEmpty());
    EXPECT_EQ(status->text(), "The ECU port is closed: the test was not sent.");
    EXPECT_TRUE(a.idle());
    EXPECT_TRUE(a.click("btnClearSL").isEmpty());
    EXPECT_EQ(status->text(), "The ECU port is closed: the self-learned values were not cleared.");
    EXPECT_TRUE(a.idle());
    EXPECT_TRUE(a.w.dialogs.messages.isEmpty());

    // A test runs, the port goes, STOP cannot end it: it stays available for later.
    ASSERT_EQ(a.w.ecu->open("1", "9600,N,8,1"), PortOk);
    a.start("cmbAAC", "50", "btnStartAAC");
    EXPECT_TRUE(status->text().isEmpty());
    a.w.ecu->close();
    EXPECT_TRUE(a.click("btnStopAAC").isEmpty());
    EXPECT_TRUE(a.running("btnStopAAC"));
    EXPECT_FALSE(status->text().isEmpty());
    ASSERT_EQ(a.w.ecu->open("1", "9600,N,8,1"), PortOk);
    EXPECT_EQ(a.click("btnStopAAC"), (Writes{hex("30"), a.live, hex("f0")}));
    EXPECT_TRUE(a.idle());
    EXPECT_TRUE(status->text().isEmpty());
}

TEST(ToolWindows, NamedForAccessibilityAndTabbedInLayoutOrder) {
    ActiveTestWindow a;
    frmSelfDiag* diag = a.w.form->open<frmSelfDiag>();
    a.w.settle();
    for (QWidget* win : {static_cast<QWidget*>(a.win), static_cast<QWidget*>(diag)}) {
        QStringList names;
        for (QWidget* c : win->findChildren<QWidget*>()) {
            if (!(c->focusPolicy() & Qt::TabFocus)) continue;
            EXPECT_FALSE(spokenName(c).isEmpty()) << c->objectName().toStdString();
            names << spokenName(c);
        }
        EXPECT_EQ(names.removeDuplicates(), 0) << win->objectName().toStdString();
    }
    // Tab runs group by group, row by row.
    QStringList order;
    QWidget* c = a.win;
    do {
        c = c->nextInFocusChain();
        if (c->focusPolicy() & Qt::TabFocus) order << c->objectName();
    } while (c != a.win);
    const QStringList expected{"cmbEngineTemp",  "btnStartTemp",  "btnStopTemp", "cmbAFBase",
                               "btnStartAFBase", "btnStopAFBase", "cmbTiming",   "btnStartTiming",
                               "btnStopTiming",  "cmbAAC",        "btnStartAAC", "btnStopAAC",
                               "cmbIACV",        "btnStartIACV",  "btnStopIACV", "chcCylinder0"};
    EXPECT_EQ(order.mid(0, expected.size()), expected);
    EXPECT_EQ(order.last(), "btnClearSL");
}
