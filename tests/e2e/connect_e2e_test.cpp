// Connect and identification against the simulated ECU, through QSerialPort on a pty.
#include "link/EcuLink.h"
#include "live/Form1.h"
#include "live/GaugeGrid.h"
#include "support/sim_window.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

TEST(ConnectE2E, PartNumberShowsAndToolsComeAlive) {
    SimMainWindow k;
    QElapsedTimer t;
    t.start();
    k.form().btnConnect_Click();
    k.settle();
    // Four bytes 100 ms apart and 20 ms more before the stream start goes out.
    EXPECT_GE(t.elapsed(), 420);
    ASSERT_TRUE(waitUntil([&] { return k.form().link().connected(); }, 5000));
    EXPECT_EQ(k.partNumber(), "1U800");
    EXPECT_EQ(k.form().link().readMode(), ReceiveMode::Identify);
    for (QPushButton* b : k.form().ecuToolButtons())
        EXPECT_TRUE(b->isEnabled());

    // The ECU saw the exchange in order, ending with the stream start.
    const auto rx = k.sim.receivedBytes();
    const std::vector<uint8_t> expected{0xFF, 0xFF, 0xEF, 0xD0, 0xF0};
    ASSERT_GE(rx.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), rx.end() - 5));

    // Frames keep coming; the label stays as it is.
    const auto frames = k.sim.framesSent();
    waitUntil([&] { return k.sim.framesSent() > frames + 3; }, 3000);
    EXPECT_EQ(k.partNumber(), "1U800");

    // A reconnect stops the stream and identifies again.
    EXPECT_TRUE(k.connectEcu());
    EXPECT_EQ(k.partNumber(), "1U800");
}

TEST(ConnectE2E, ObdTwoGenerationLeavesMapTraceOff) {
    auto o = quietSim();
    o.obd2 = true;
    o.partNumber = "2Z100";
    SimMainWindow k(o, [](SettingsStore& s) { s.save("Comms", "OBDIImodel", "1"); });
    ASSERT_TRUE(k.connectEcu());
    EXPECT_EQ(k.partNumber(), "2Z100");
    EXPECT_FALSE(k.w->find<QPushButton>("btnMapTrace")->isEnabled());
    EXPECT_TRUE(k.w->find<QPushButton>("btnDataDisplay")->isEnabled());
}

TEST(ConnectE2E, SilentEcuLeavesTheWindowResponsive) {
    auto o = quietSim();
    o.silenceAfter = 0; // an ECU that never answers
    SimMainWindow k(o);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    k.form().btnConnect_Click();
    k.settle();
    EXPECT_FALSE(waitUntil([&] { return k.form().link().connected(); }, 1000));
    EXPECT_EQ(k.partNumber(), "#####");
    EXPECT_FALSE(k.w->find<QPushButton>("btnDataDisplay")->isEnabled());
    // Said in the status bar, without a box.
    EXPECT_TRUE(waitUntil(
        [&] { return k.w->find<QLabel>("lblLinkStatus")->text().startsWith("No answer"); }, 3000));
    EXPECT_TRUE(k.w->dialogs.messages.isEmpty());
    // Timers kept firing all along, the connect waits included.
    EXPECT_GE(ticks, 40);
}

TEST(ConnectE2E, AnotherIdGetsTheHintAndTheRetryConnectsOnceTheIdIsRight) {
    auto o = quietSim();
    o.id = 0xFD;
    SimMainWindow k(o);
    k.form().btnConnect_Click();
    auto status = [&] { return k.w->find<QLabel>("lblLinkStatus")->text(); };
    ASSERT_TRUE(waitUntil(
        [&] { return status() == "An ECU answered, but not with id EF: try Find ECU"; }, 3000));
    EXPECT_EQ(k.partNumber(), "#####");
    EXPECT_TRUE(k.w->dialogs.messages.isEmpty());
    // The user sets the id the finder reports: the next retry connects, and the note goes.
    k.w->store->save("Comms", "ECUid", "FD");
    ASSERT_TRUE(waitUntil([&] { return k.partNumber() == "1U800"; }, 5000));
    EXPECT_TRUE(status().isEmpty());
    EXPECT_TRUE(k.w->dialogs.messages.isEmpty());
}

TEST(ConnectE2E, HangUpMidStreamClosesThePortAndAReconnectWorks) {
    auto o = quietSim();
    o.hangupAfter = 5;
    o.reopenAfterMs = 300;
    SimMainWindow k(o);
    k.form().btnConnect_Click();
    k.settle();
    ASSERT_TRUE(waitUntil([&] { return k.sim.counters().hangups == 1; }, 5000));
    ASSERT_TRUE(waitUntil([&] { return !k.w->ecuPort->isOpen(); }, 3000));
    EXPECT_TRUE(k.w->dialogs.messages.isEmpty()); // the receive path never shows anything

    // The simulator comes back on a new pseudo-terminal; point the settings at it.
    ASSERT_TRUE(waitUntil([&] { return !k.sim.devicePath().empty(); }, 3000));
    k.w->store->save("Comms", "ComPort", QString::fromStdString(k.sim.devicePath()));
    EXPECT_TRUE(k.connectEcu());
    EXPECT_EQ(k.partNumber(), "1U800");
}

TEST(ConnectE2E, APulledCableGreysTheDisplayAndTheLinkComesBackOnItsOwn) {
    // The simulator's stable link stands for /dev/serial/by-id/...: same path after a re-plug.
    QTemporaryDir dir;
    auto o = quietSim();
    o.linkPath = dir.filePath("ecu").toStdString();
    o.hangupAfter = 60;
    o.reopenAfterMs = 2500;
    SimMainWindow k(o, [&](SettingsStore& s) { s.save("Comms", "ComPort", dir.filePath("ecu")); });
    ASSERT_TRUE(k.connectEcu());
    Form1* display = k.form().open<Form1>();
    ASSERT_TRUE(waitUntil([&] { return k.form().link().state() == EcuLink::State::Lost; }, 10000));
    EXPECT_TRUE(display->grid().isStale());
    EXPECT_EQ(k.partNumber(), "#####");
    EXPECT_FALSE(k.w->find<QPushButton>("btnDataDisplay")->isEnabled());
    EXPECT_TRUE(k.w->dialogs.messages.isEmpty());
    // Back on the same path: the retries reconnect, and the display's stream resumes.
    ASSERT_TRUE(waitUntil([&] { return k.partNumber() == "1U800"; }, 10000));
    EXPECT_TRUE(waitUntil([&] { return !display->grid().isStale(); }, 5000));
    EXPECT_EQ(k.form().link().readMode(), ReceiveMode::LiveData);
}
