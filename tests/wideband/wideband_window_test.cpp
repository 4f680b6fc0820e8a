// The wideband link through the main window and the AFR window, on an in-memory port.
#include "dash/frmDashboard.h"
#include "gauges/Graph.h"
#include "gauges/SpeedometerGauge.h"
#include "support/main_window.h"
#include "util/ticks.h"
#include "wideband/WbLink.h"
#include "wideband/frmWBO2.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace kx::test {
namespace {

QByteArray frame(int raw, uint8_t sensor, uint8_t heater) {
    QByteArray f(28, '\0');
    f[0] = char(0x5A);
    f[1] = char(0xA5);
    f[5] = char(raw >> 8);
    f[6] = char(raw & 0xFF);
    f[25] = char(sensor);
    f[26] = char(heater);
    return f.repeated(2);
}

struct WbWindow : MainWindow {
    WbWindow() : MainWindow([](SettingsStore& s) { s.save("WBO2", "ComPort", "2"); }) {}
    QLabel* label(const char* name) { return find<QLabel>(name); }
    // Each reply answers the last command; returns the commands written.
    QList<QByteArray> handshake(const QList<QByteArray>& replies) {
        find<QPushButton>("btnConnect2")->click();
        for (const QByteArray& r : replies) {
            const qsizetype sent = wb->writes.size();
            wb->feed(r);
            // The version reply is answered after a pause.
            waitUntil([&] { return wb->writes.size() > sent || form->wbLink().readMode() == 3; },
                      1000);
        }
        return wb->writes;
    }
    static QList<QByteArray> goodReplies() {
        return {"> tf OK   \r\n", "> 0120 WB\r\n",  "> 03E1 OK \r\n",
                "> s0406 OK\r\n", "> w OK    \r\n", "> t1 OK   \r\n"};
    }
};

TEST(WidebandWindow, HandshakeThenMeasurements) {
    WbWindow w;
    QElapsedTimer clock;
    clock.start();
    const auto sent = w.handshake(WbWindow::goodReplies());
    EXPECT_EQ(sent, (QList<QByteArray>{"tf\r", "v\r", "s03e1\r", "s0406\r", "w\r", "t1\r"}));
    EXPECT_GE(clock.elapsed(), 100); // the pause after the version
    EXPECT_EQ(w.form->wbLink().readMode(), 3);
    EXPECT_EQ(w.wb->threshold(), 28);
    EXPECT_EQ(w.label("lblROMver")->text(), "0120");
    EXPECT_FALSE(w.form->afrDisplayEnabled());

    struct Case {
        int raw;
        const char* text;
        QColor colour;
    };
    for (const Case& c : {Case{2408, "14.88", Qt::red}, Case{2300, "14.61", Qt::green}}) {
        w.wb->feed(frame(c.raw, 35, 37));
        EXPECT_EQ(w.label("lblAFR")->text(), c.text);
        EXPECT_EQ(w.label("lblAFR")->palette().color(QPalette::WindowText), c.colour);
    }
    EXPECT_FLOAT_EQ(w.form->state().live.wbValues[0], 14.61f);
    EXPECT_EQ(w.form->state().live.wbValues[9], 35);
    EXPECT_EQ(w.form->state().live.wbValues[10], 37);
    EXPECT_TRUE(w.form->afrDisplayEnabled());
    // Handled deliveries: five handshake replies (t1's excepted) and two measurements; the bar
    // shows the count within its paint interval.
    EXPECT_TRUE(
        waitUntil([&] { return w.find<QProgressBar>("ProgressBar2")->value() == 35; }, 1000));

    // A pulled cable: the figure and the AFR users stop looking live; the port is tried again.
    w.wb->disconnectNow();
    EXPECT_EQ(w.label("lblAFR")->text(), "--.--");
    EXPECT_FALSE(w.form->afrDisplayEnabled());
    EXPECT_TRUE(w.label("lblWbStatus")->text().contains("lost"));
    EXPECT_TRUE(waitUntil([&] { return w.wb->isOpen(); }, 5000));
    EXPECT_EQ(w.wb->writes.last(), "tf\r");
    EXPECT_TRUE(w.dialogs.messages.isEmpty());
}

// The ratio counts (map coverage, dashboards) only while the controller streams: after a new
// Connect, no reply or an incompatible controller, the last figure is an old one.
TEST(WidebandWindow, TheRatioIsLiveOnlyWhileTheControllerStreams) {
    const struct {
        const char* what;
        std::function<void(WbWindow&)> then;
    } cases[] = {
        {"connect again", [](WbWindow& w) { w.find<QPushButton>("btnConnect2")->click(); }},
        {"no reply",
         [](WbWindow& w) {
             w.find<QPushButton>("btnConnect2")->click();
             EXPECT_TRUE(waitUntil(
                 [&] { return w.form->wbLink().state() == WbLink::State::NoReply; }, 5000));
         }},
        {"incompatible",
         [](WbWindow& w) {
             w.handshake({"> tf OK   \r\n", "> 0120 WB\r\n", "> 03E0 ERR\r\n"});
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WbWindow w;
        w.handshake(WbWindow::goodReplies());
        w.wb->feed(frame(2408, 35, 37));
        ASSERT_TRUE(w.form->afrDisplayEnabled());
        c.then(w);
        EXPECT_FALSE(w.form->afrDisplayEnabled());
        EXPECT_EQ(w.label("lblAFR")->text(), "--.--");
        // Streaming again, the stream's first frame is the first live ratio.
        w.handshake(WbWindow::goodReplies());
        EXPECT_FALSE(w.form->afrDisplayEnabled());
        w.wb->feed(frame(2300, 35, 37));
        EXPECT_TRUE(w.form->afrDisplayEnabled());
    }
}

// What a log's record gets: a ratio only from a ready sensor's recent frame, never the last
// ratio carried on after the controller went cold, silent or away.
TEST(WidebandWindow, ARecordGetsARatioOnlyFromAReadySensorsRecentFrame) {
    WbWindow w;
    const WbLink& link = w.form->wbLink();
    EXPECT_EQ(link.sampleAt(ticks()).state, "Closed");
    w.handshake(WbWindow::goodReplies());
    w.wb->feed(frame(2408, 2, 0)); // cold
    WbSample s = link.sampleAt(ticks());
    EXPECT_TRUE(std::isnan(s.afr));
    EXPECT_EQ(s.state, "Cold");
    EXPECT_TRUE(std::isnan(w.form->state().live.wbValues[0]));
    w.wb->feed(frame(2408, 35, 0));
    const uint32_t now = ticks();
    s = link.sampleAt(now);
    EXPECT_FLOAT_EQ(s.afr, 14.88f);
    EXPECT_EQ(s.state, "Ready");
    ASSERT_TRUE(s.at);
    EXPECT_LE(elapsedTicks(*s.at, now), uint64_t(WbLink::kFreshMs));
    // Nothing since: a record up to kFreshMs after the frame has its ratio, one later none,
    // however the link's state reads; nor does a record from before the frame take it.
    const uint32_t at = *s.at;
    EXPECT_FLOAT_EQ(link.sampleAt(at + WbLink::kFreshMs).afr, 14.88f);
    s = link.sampleAt(at + WbLink::kFreshMs + 1);
    EXPECT_TRUE(std::isnan(s.afr));
    EXPECT_FALSE(s.at);
    const auto before = link.sampleAt(at - 1).at; // the delivery's other, earlier frame
    EXPECT_TRUE(before && tickBefore(*before, at));
    w.wb->disconnectNow();
    s = link.sampleAt(ticks());
    EXPECT_TRUE(std::isnan(s.afr));
    EXPECT_EQ(s.state, "Lost");
    EXPECT_TRUE(std::isnan(w.form->state().live.wbValues[0]));
}

TEST(WidebandWindow, IncompatibleSilentAndLateReplies) {
    WbWindow w;
    auto replies = WbWindow::goodReplies().mid(0, 2);
    replies << "> 03E0 ERR\r\n";
    w.handshake(replies);
    // The controller says it again: still one warning for this connect, and no more replies
    // are taken.
    w.wb->feed("> 03E0 ERR\r\n");
    w.wb->feed("> 03E0 ERR\r\n");
    QCoreApplication::processEvents();
    EXPECT_EQ(w.dialogs.messages, QStringList{"WBO2 version not compatible03E0"});
    EXPECT_EQ(w.dialogs.messageKinds, std::vector<MessageKind>{MessageKind::Warning});
    EXPECT_EQ(w.form->wbLink().readMode(), 0);

    // Connect again to a silent controller: after three seconds the frame says so, and a late
    // reply still goes on with the handshake.
    w.find<QPushButton>("btnConnect2")->click();
    EXPECT_EQ(w.label("lblROMver")->text(), "#####");
    EXPECT_TRUE(waitUntil([&] { return !w.label("lblWbStatus")->isHidden(); }, 5000));
    EXPECT_TRUE(w.label("lblWbStatus")->text().startsWith("No reply"));
    // A stale frame that holds "> " is not the reply; the reply after a frame split between
    // two deliveries, its own marker split too, is.
    QByteArray stale = frame(0x3E20, 0x3E, 0x20).left(28);
    stale.replace(10, 2, "> ");
    w.wb->feed(stale.left(19));
    w.wb->feed(stale.mid(19) + ">");
    EXPECT_EQ(w.wb->writes.last(), "tf\r");
    w.wb->feed(" tf OK    \r\n");
    EXPECT_EQ(w.wb->writes.last(), "v\r");
    EXPECT_TRUE(w.label("lblWbStatus")->isHidden());
    // The next replies are taken in step.
    w.wb->feed("> 0120 WB\r\n");
    EXPECT_TRUE(waitUntil([&] { return w.wb->writes.last() == "s03e1\r"; }, 1000));
    EXPECT_EQ(w.label("lblROMver")->text(), "0120");

    // Connect while the controller streams: the port opens in a frame whose tail comes before
    // the reply, out of the search's reach. The start command goes again once the line is
    // quiet, and its reply is taken.
    w.find<QPushButton>("btnConnect2")->click();
    w.wb->feed(frame(2300, 35, 37).mid(9, 19) + "> tf OK   \r\n");
    EXPECT_EQ(w.wb->writes.last(), "tf\r");
    const qsizetype sent = w.wb->writes.size();
    EXPECT_TRUE(waitUntil([&] { return w.wb->writes.size() > sent; }, 1000));
    EXPECT_EQ(w.wb->writes.last(), "tf\r");
    w.wb->feed("> tf OK   \r\n");
    EXPECT_EQ(w.wb->writes.last(), "v\r");
}

TEST(WidebandWindow, AfrWindowShowsDialGraphAndStatus) {
    WbWindow w;
    w.handshake(WbWindow::goodReplies());
    w.wb->feed(frame(2408, 2, 37));
    w.find<QPushButton>("btnAFR")->click();
    auto* afr = w.form->findChild<frmWBO2*>("frmWBO2");
    ASSERT_NE(afr, nullptr);
    ASSERT_TRUE(afr->isVisible());
    for (int i = 0; i < 85; ++i)
        w.wb->feed(frame(2000 + i, 2, 37));
    const Points& pts = afr->graph()->datasets().Item(1).points();
    ASSERT_EQ(pts.Count(), 80);
    // The AFR window shows what the sensor says, cold or not; a log takes none of it (below).
    EXPECT_FLOAT_EQ(float(pts.Item(80).Value()), w.form->state().live.wbValues[1]);
    EXPECT_FLOAT_EQ(afr->gauge()->value(), w.form->state().live.wbValues[1]);
    EXPECT_TRUE(std::isnan(w.form->state().live.wbValues[0]));
    auto lbl = [&](const char* n) { return afr->findChild<QLabel*>(n); };
    EXPECT_FALSE(lbl("lblWlable")->isVisible());
    EXPECT_EQ(lbl("lblwPID")->text(), "Wideband Cold");
    EXPECT_TRUE(lbl("lblHlable")->isVisible());
    EXPECT_EQ(lbl("lblhPID")->text(), "FET failure");
    w.wb->feed(frame(2000, 35, 0));
    EXPECT_TRUE(lbl("lblWlable")->isVisible());
    EXPECT_FALSE(lbl("lblwPID")->isVisible());
    EXPECT_FALSE(lbl("lblhPID")->isVisible());

    // The graph's image holds the green trace on black.
    const QImage& img = afr->graph()->picDraw();
    bool green = false;
    for (int x = 0; x < img.width() && !green; ++x)
        for (int y = 0; y < img.height() && !green; ++y)
            green = img.pixelColor(x, y) == QColor(Qt::green);
    EXPECT_TRUE(green);

    QLabel* peak = lbl("lblMax0");
    EXPECT_NE(peak->text(), "0");
    QTest::mouseClick(peak, Qt::LeftButton);
    EXPECT_EQ(peak->text(), "0");
    afr->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(afr));
    QTest::keyClick(afr, Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return !w.form->findChild<frmWBO2*>("frmWBO2"); }, 2000));
    EXPECT_EQ(w.form->wbLink().readMode(), 3); // closing the window leaves the link streaming
}

TEST(WidebandWindow, DashboardWbo2IsLiveOnlyWhileTheControllerStreams) {
    WbWindow w;
    w.store->save("Dashboard", "Gauge0", "24");
    w.store->save("Dashboard", "Gauge1", "24");
    w.form->getSetup();
    w.connectEcu();
    w.find<QPushButton>("btnDashboard")->click();
    w.settle();
    auto* dash = w.form->findChild<frmDashboard*>();
    ASSERT_NE(dash, nullptr);
    // The stream's first frame is let through once the next agrees with it.
    const QByteArray ecuFrame = bytes({0xFF, 3, 0, 40, 0}).repeated(3);
    w.ecu->feed(ecuFrame);
    EXPECT_EQ(dash->lblValue(0)->text(), "--.--");
    w.handshake(WbWindow::goodReplies());
    w.wb->feed(frame(2408, 35, 0));
    // The dials are redrawn within their paint interval.
    const auto shows = [&](const char* text) {
        return waitUntil([&] { return dash->lblValue(0)->text() == text; }, 1000);
    };
    w.ecu->feed(ecuFrame);
    EXPECT_TRUE(shows("14.88"));
    w.wb->disconnectNow();
    w.ecu->feed(ecuFrame);
    EXPECT_TRUE(shows("--.--"));
}

} // namespace
} // namespace kx::test
