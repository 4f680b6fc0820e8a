// The races the link must win, and a pulled cable in every streaming mode, on the in-memory
// port: the exact bytes the ECU receives and what the windows show afterwards.
#include "dyno/frmDyno.h"
#include "link/EcuLink.h"
#include "live/Form1.h"
#include "live/GaugeGrid.h"
#include "logs/frmDataLog.h"
#include "settings/Form3.h"
#include "settings/frmSettings.h"
#include "support/main_window.h"
#include "tools/frmActiveTest.h"
#include "tools/frmECUfind.h"
#include "tools/frmRegTest.h"
#include "tools/frmSelfDiag.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

using namespace kx;
using namespace kx::test;

namespace {
const QByteArray Reconnect = bytes({0x30, 0xFF, 0xFF, 0xEF, 0xD0, 0xF0});
QByteArray liveArming(MainWindow& w) {
    return bytes({0x30}) + fullDataRequest(w.form->state().setup) + bytes({0xF0});
}
void pause(int ms) {
    waitUntil([] { return false; }, ms);
}
} // namespace

TEST(LinkRaces, LaunchesDuringAReconnectOrArmingNeverInterleave) {
    MainWindow w;
    w.connectEcu();

    // F1 about 150 ms after closing a tool, while the reconnect runs: the display arms after it.
    w.ecu->writes.clear();
    w.form->open<frmSelfDiag>()->close();
    pause(150);
    Form1* display = w.form->open<Form1>();
    w.settle();
    EXPECT_EQ(w.ecu->written(), bytes({0x30}) + Reconnect + liveArming(w));
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::LiveData);
    w.ecu->feed(defaultFrame(64, 0x82, 0x02));
    EXPECT_EQ(display->grid().lblValue(0)->text(), "800");

    // The display closes during its own arming wait: one reconnect, one stream start, mode 1.
    display->close();
    w.settle();
    w.ecu->writes.clear();
    display = w.form->open<Form1>();
    pause(75); // inside the 50 ms pause after the request
    display->close();
    w.settle();
    EXPECT_EQ(w.ecu->written(), bytes({0x30}) + fullDataRequest(w.form->state().setup) + Reconnect);
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::Identify);
    EXPECT_EQ(w.ecu->threshold(), 48);
}

TEST(LinkRaces, OneFinderAtATimeAndNeverBesideTheRegisterTest) {
    MainWindow w;
    w.connectEcu();
    // The finder twice, through a closed and reopened communication window: one finder.
    QPointer<frmECUfind> first =
        qobject_cast<frmECUfind*>(w.form->open<Form3>()->btnECUfind_Click());
    w.form->findChild<Form3*>()->close();
    QPointer<frmECUfind> second =
        qobject_cast<frmECUfind*>(w.form->open<Form3>()->btnECUfind_Click());
    EXPECT_EQ(first, second);
    EXPECT_EQ(w.form->findChildren<frmECUfind*>().size(), 1);
    first->close();
    w.settle();

    // The register test holds the link: a finder waits for it, and starts once it closes.
    QPointer<frmRegTest> test =
        qobject_cast<frmRegTest*>(w.form->open<frmSettings>()->btnActTest_Click());
    w.settle();
    w.ecu->writes.clear();
    QPointer<frmECUfind> finder =
        qobject_cast<frmECUfind*>(w.form->open<Form3>()->btnECUfind_Click());
    pause(300);
    EXPECT_TRUE(w.ecu->writes.isEmpty()); // nothing of the finder while the test holds the link
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::RegisterTest);
    EXPECT_TRUE(w.find<QLabel>("lblLinkStatus")->text().contains("waits for"));
    test->close();
    ASSERT_TRUE(waitUntil([&] { return w.form->link().readMode() == ReceiveMode::EcuFind; }, 3000));
    // The test's reconnect came first, whole, then the finder's own opening.
    EXPECT_TRUE(w.ecu->written().startsWith(Reconnect + bytes({0x30, 0x30, 0xFF, 0xFF})));
    finder->close();
    w.settle();
}

TEST(LinkRaces, APulledCableIsShownInEveryStreamingModeAndTheLinkComesBack) {
    struct Case {
        const char* name;
        std::function<QWidget*(MainWindow&)> open;
        // The retry that re-plugs is the link's own, the same whatever tool held it: one case
        // waits its two seconds for it.
        bool replug = false;
        // The tool keeps the link busy: it is ready once in this receive mode.
        ReceiveMode busyMode = ReceiveMode::None;
    };
    const Case cases[] = {
        {"display", [](MainWindow& w) -> QWidget* { return w.form->open<Form1>(); }},
        {"logging alone", [](MainWindow& w) -> QWidget* { return w.form->open<frmDataLog>(); }},
        {"logging beside the display",
         [](MainWindow& w) -> QWidget* {
             w.form->open<Form1>();
             w.settle();
             return w.form->open<frmDataLog>();
         },
         true},
        {"self-diagnostics", [](MainWindow& w) -> QWidget* { return w.form->open<frmSelfDiag>(); }},
        {"active test",
         [](MainWindow& w) -> QWidget* {
             frmActiveTest* a = w.form->open<frmActiveTest>();
             a->findChild<QPushButton*>("btnStartFpump")->click();
             return a;
         }},
        {"register test",
         [](MainWindow& w) -> QWidget* { return w.form->open<frmSettings>()->btnActTest_Click(); }},
        {"finder",
         [](MainWindow& w) -> QWidget* { return w.form->open<Form3>()->btnECUfind_Click(); }, false,
         ReceiveMode::EcuFind},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MainWindow w;
        w.connectEcu();
        QWidget* tool = c.open(w);
        if (c.busyMode != ReceiveMode::None)
            ASSERT_TRUE(waitUntil([&] { return w.form->link().readMode() == c.busyMode; }, 5000));
        else
            w.settle();
        auto* log = qobject_cast<frmDataLog*>(tool);
        if (log) {
            log->findChild<QLineEdit*>("txtPath")->setText("pulled.log");
            log->btnStart_Click();
            // The stream's first frame is written once the next agrees with it. A stream with
            // no frame soon after its start is asked for again, and what comes meanwhile is
            // discarded: the frames come once the link is idle.
            ASSERT_TRUE(waitUntil([&] { return !w.form->link().busy(); }, 5000));
            w.ecu->feed(defaultFrame(64, 0x82, 0x02));
            w.ecu->feed(defaultFrame(64, 0x82, 0x02));
        }
        w.ecu->disconnectNow();
        QCoreApplication::processEvents();
        EXPECT_EQ(w.form->link().state(), EcuLink::State::Lost);
        EXPECT_EQ(w.find<QLabel>("lblEcuNo")->text(), "#####");
        for (QPushButton* b : w.form->ecuToolButtons())
            EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
        EXPECT_TRUE(w.find<QLabel>("lblLinkStatus")->text().contains("lost"));
        EXPECT_TRUE(w.dialogs.messages.isEmpty());
        if (Form1* d = w.form->window<Form1>()) {
            EXPECT_TRUE(d->grid().isStale());
        }
        if (log) {
            // It waits for the cable, saying so, and goes on into the same file.
            EXPECT_TRUE(log->isLogging());
            EXPECT_TRUE(log->findChild<QLabel*>("lblStatus")->text().contains("lost"));
            QFile f(w.dir.filePath("pulled.log"));
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            const QList<QByteArray> lines = f.readAll().split('\n');
            // The header, a record at least, and nothing cut short after them.
            EXPECT_GE(lines.size(), 3);
            EXPECT_TRUE(lines.last().isEmpty());
        }
        if (!c.replug) continue;
        // Re-plugged: the retry reconnects on its own and the part number comes back.
        ASSERT_TRUE(waitUntil(
            [&] {
                return w.form->link().readMode() == ReceiveMode::Identify && !w.form->link().busy();
            },
            EcuLink::kRetryMs + 3000));
        w.ecu->feed(idFrame("1U800"));
        EXPECT_EQ(w.find<QLabel>("lblEcuNo")->text(), "1U800");
        EXPECT_TRUE(w.form->link().connected());
        w.settle();
        if (!log) continue;
        for (int i = 0; i < 4; ++i)
            w.ecu->feed(defaultFrame(64, 0x82, 0x02));
        EXPECT_TRUE(log->isLogging());
        EXPECT_GT(fileBytes(w.dir.filePath("pulled.log")).count('\n'), 2);
    }
}

TEST(LinkAnswer, SilenceAndAnotherIdAreSaidInTheStatusBarAndALaterAnswerClearsIt) {
    MainWindow w;
    auto* status = w.find<QLabel>("lblLinkStatus");
    w.form->btnConnect_Click();
    ASSERT_TRUE(waitUntil([&] { return status->isVisibleTo(w.form.get()); }, 3000));
    EXPECT_EQ(status->text(), "No answer from the ECU on /dev/ttyS0 (port 1) at 9600 baud: "
                              "check the port, the cable and the ignition");
    EXPECT_EQ(w.find<QLabel>("lblEcuNo")->text(), "#####");

    // The next attempt (the retry) hears bytes, but never EF's complement.
    w.settle();
    ASSERT_TRUE(
        waitUntil([&] { return w.form->link().state() == EcuLink::State::Connecting; }, 3000));
    pause(150); // past the stream stop's discard, among the initialisation bytes
    w.ecu->feed(bytes({0x55}));
    ASSERT_TRUE(waitUntil([&] { return status->text().startsWith("An ECU"); }, 3000));
    EXPECT_EQ(status->text(), "An ECU answered, but not with id EF: try Find ECU");
    EXPECT_TRUE(w.dialogs.messages.isEmpty());

    // An ECU that answers later: the part number appears by itself and the message goes.
    w.ecu->feed(idFrame("1U800"));
    EXPECT_EQ(w.find<QLabel>("lblEcuNo")->text(), "1U800");
    EXPECT_FALSE(status->isVisibleTo(w.form.get()));
    EXPECT_TRUE(w.form->link().connected());
}

TEST(LinkTurns, AWaitingDisplayShowsNoValuesAndTheHandBackKeepsThePartNumber) {
    MainWindow w;
    w.connectEcu();
    auto* part = w.find<QLabel>("lblEcuNo");
    w.form->open<frmSelfDiag>();
    w.settle();

    // The display waits: it says for whom, and no dial shows a number or a live needle.
    Form1* display = w.form->open<Form1>();
    w.settle();
    EXPECT_EQ(display->linkNote(),
              "Self Diagnostics has the ECU link: the display waits for it to close");
    EXPECT_TRUE(display->grid().isStale());
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(display->grid().lblValue(i)->text(), "--") << i;
        EXPECT_EQ(display->grid().lblMax(i)->text(), "--") << i;
    }

    // The link comes back through a connect, and the display takes it before the ECU has
    // identified itself again: the part number and the tools stay as they were.
    w.form->window<frmSelfDiag>()->close();
    w.settle();
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::LiveData);
    EXPECT_EQ(display->linkNote(), "");
    w.ecu->feed(defaultFrame(64, 0x82, 0x02));
    EXPECT_EQ(display->grid().lblValue(0)->text(), "800");
    EXPECT_FALSE(display->grid().isStale());
    pause(EcuLink::kAnswerTimeoutMs + 300);
    EXPECT_EQ(part->text(), "1U800");
    for (QPushButton* b : w.form->ecuToolButtons())
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    display->close();
    w.settle();
}

// Each window that waits for the link says so on itself and shows no value; once the link is
// its own the note goes and its stream, if it has one, is armed.
TEST(LinkTurns, AWaitingWindowSaysSoOnItselfAndShowsNoValues) {
    const auto shown = [](QWidget* w, const char* name) {
        auto* l = w->findChild<QLabel*>(name);
        return l && !l->isHidden() ? l->text() : QString();
    };
    struct Row {
        const char* button;
        const char* note; // the label that says so
        std::vector<const char*> values;
        const char* who;
        std::optional<ReceiveMode> mode;
    };
    const Row rows[] = {
        {"btnDashboard",
         "lblLink",
         {"lblValue0", "lblValue1", "lblMax0", "lblMax1"},
         "the dashboard",
         ReceiveMode::Dashboard},
        {"btnTimeTrial", "lblLink", {"lblSpeed"}, "the speed trial", ReceiveMode::TimeTrial},
        {"btnDataLogging", "lblLinkNote", {}, "logging", ReceiveMode::LiveData},
        {"btnRomData", "lblWaitNote", {}, "the ROM dump", std::nullopt},
    };
    MainWindow w;
    w.connectEcu();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.button);
        w.form->open<frmSelfDiag>();
        w.settle();
        const QWidgetList open = QApplication::topLevelWidgets();
        const QSet<QWidget*> before(open.begin(), open.end());
        w.find<QPushButton>(r.button)->click();
        w.settle();
        QPointer<QWidget> win;
        for (QWidget* t : QApplication::topLevelWidgets())
            if (!before.contains(t) && t->isVisible()) win = t;
        ASSERT_FALSE(win.isNull());
        EXPECT_EQ(shown(win, r.note), QString("Self Diagnostics has the ECU link: ") + r.who +
                                          " waits for it to close");
        for (const char* v : r.values)
            EXPECT_EQ(shown(win, v), "--") << v;
        w.form->window<frmSelfDiag>()->close();
        w.settle();
        if (r.mode) {
            EXPECT_EQ(w.form->link().readMode(), *r.mode);
        }
        EXPECT_EQ(shown(win, r.note), "");
        win->close();
        w.settle();
    }
}

// Record a Pull asked for while another tool has the link says whose turn it waits for, and
// waits for full throttle once the link is its own.
TEST(LinkTurns, RecordAPullSaysWhoseTurnItWaitsFor) {
    MainWindow w;
    w.connectEcu();
    w.form->open<frmSelfDiag>();
    w.settle();
    frmDyno* dyno = w.form->open<frmDyno>();
    dyno->btnRecord_Click();
    w.settle();
    auto* status = dyno->findChild<QLabel*>("lblStatus");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->text(),
              "Self Diagnostics has the ECU link: Record a Pull waits for it to close");
    w.form->window<frmSelfDiag>()->close();
    w.settle();
    EXPECT_EQ(status->text(), "Waiting for full throttle...");
    dyno->close();
    w.settle();
}
