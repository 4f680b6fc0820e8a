// The ROM data reader and the address watch against the simulated ECU over a pty.
#include "support/sim_window.h"
#include "tools/frmAdrWatch.h"
#include "tools/frmRomData.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {

QByteArray memory(SimMainWindow& k, uint16_t from, size_t count) {
    const kxsim::Bytes b = k.sim.memory(from, count);
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

frmRomData* startDump(SimMainWindow& k, const QString& path, const char* start, const char* stop,
                      bool slow) {
    frmRomData* win = k.form().open<frmRomData>();
    k.settle();
    child<QLineEdit>(win, "txtPath")->setText(path);
    child<QLineEdit>(win, "txtStart")->setText(QString::fromLatin1(start));
    child<QLineEdit>(win, "txtEnd")->setText(QString::fromLatin1(stop));
    child<QRadioButton>(win, slow ? "optSlow" : "optFast")->setChecked(true);
    child<QPushButton>(win, "btnRead")->click();
    return win;
}
} // namespace

TEST(MemoryToolsE2E, FastAndSlowDumpsMatchTheMemoryAndStopKeepsWhatWasRead) {
    SimMainWindow k;
    ASSERT_TRUE(k.connectEcu());
    const QString path = k.w->dir.filePath("rom.bin");

    // A fuel map with its scales: bytes of every kind, 0xFF-free or not.
    frmRomData* win = startDump(k, path, "7400", "74FF", false);
    ASSERT_TRUE(waitUntil([&] { return !win->downloading(); }, 30000));
    EXPECT_EQ(fileBytes(path), memory(k, 0x7400, 256));

    k.w->dialogs.questionAnswers = {true, true}; // each later dump replaces the file
    win->findChild<QRadioButton*>("optSlow")->setChecked(true);
    child<QLineEdit>(win, "txtStart")->setText("7B00");
    child<QLineEdit>(win, "txtEnd")->setText("7B2F");
    child<QPushButton>(win, "btnRead")->click();
    ASSERT_TRUE(waitUntil([&] { return !win->downloading(); }, 30000));
    EXPECT_EQ(fileBytes(path), memory(k, 0x7B00, 48));

    // Stopped partway through 2 KB: whole replies only, each at its place.
    child<QRadioButton>(win, "optFast")->setChecked(true);
    child<QLineEdit>(win, "txtStart")->setText("8000");
    child<QLineEdit>(win, "txtEnd")->setText("87FF");
    child<QPushButton>(win, "btnRead")->click();
    ASSERT_TRUE(
        waitUntil([&] { return child<QProgressBar>(win, "prgBar")->value() >= 64; }, 30000));
    child<QPushButton>(win, "btnStop")->click();
    ASSERT_TRUE(waitUntil([&] { return !win->downloading(); }, 10000));
    const QByteArray part = fileBytes(path);
    EXPECT_GE(part.size(), 64);
    EXPECT_LT(part.size(), 2048);
    EXPECT_EQ(part.size() % 8, 0);
    EXPECT_EQ(part, memory(k, 0x8000, size_t(part.size())));
    EXPECT_FALSE(child<QLabel>(win, "lblRate")->text().isEmpty());
    EXPECT_TRUE(k.w->dialogs.messages.isEmpty());

    win->close();
    k.settle();
    ASSERT_TRUE(waitUntil([&] { return k.partNumber() == "1U800"; }, 5000));
}

TEST(MemoryToolsE2E, AddressWatchFollowsTheEngineSpeed) {
    auto o = quietSim();
    o.timeScale = 8; // the engine revs within a few seconds
    SimMainWindow k(o);
    ASSERT_TRUE(k.connectEcu());
    frmAdrWatch* win = k.form().open<frmAdrWatch>();
    k.settle();
    // Engine speed high and low byte, throttle.
    for (auto [box, adr] : {std::pair{"txtAddress1", "F70C"}, std::pair{"txtAddress2", "F70D"},
                            std::pair{"txtAddress3", "F777"}})
        child<QLineEdit>(win, box)->setText(QString::fromLatin1(adr));
    child<QPushButton>(win, "btnStart")->click();
    QSet<QString> seen;
    ASSERT_TRUE(waitUntil(
        [&] {
            seen.insert(child<QLabel>(win, "lblCur2")->text());
            return seen.size() >= 5;
        },
        30000));
    const auto value = [&](const char* name) {
        return child<QLabel>(win, name)->text().toInt(nullptr, 16);
    };
    EXPECT_LT(value("lblMin2"), value("lblMax2"));
    EXPECT_LE(value("lblMin2"), value("lblCur2"));
    EXPECT_LE(value("lblCur2"), value("lblMax2"));
    child<QPushButton>(win, "btnStop")->click();
    k.settle();
    EXPECT_FALSE(k.sim.streaming());
}
