// Kestrix on a real line: an adapter that holds bytes back, stray and lost bytes, an ECU whose
// ignition goes off and a wideband controller that loses its power. Every number shown, logged
// or saved is one the ECU sent, or the windows say there is none.
#include "live/Form1.h"
#include "live/GaugeGrid.h"
#include "logs/frmDataLog.h"
#include "memory_image.h"
#include "support/sim_window.h"
#include "tools/frmRomData.h"
#include "wideband.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
QByteArray memory(kxsim::EcuSimulator& sim, uint16_t from, size_t count) {
    const kxsim::Bytes b = sim.memory(from, count);
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

void pause(int ms) {
    waitUntil([] { return false; }, ms);
}
} // namespace

TEST(RealLineE2E, DumpsOnHeldBackNoisyAndLossyLinesAreExact) {
    struct Line {
        int latencyMs;
        double noise;   // stray and lost bytes from the ECU, each
        double cmdDrop; // bytes from the PC lost
    };
    // Code-like bytes: runs of 0xFF and 0xFF before small numbers, shaped like frame headers.
    const uint16_t code = kxsim::MemoryImage::kCodeLike;
    for (const Line line : {Line{0, 0, 0}, Line{0, 0.005, 0}, Line{16, 0, 0.01}, Line{16, 0.005, 0},
                            Line{40, 0, 0}, Line{40, 0.003, 0.01}}) {
        SCOPED_TRACE(testing::Message() << line.latencyMs << " ms, noise " << line.noise
                                        << ", PC bytes lost " << line.cmdDrop);
        kxsim::SimOptions o = quietSim();
        o.latencyMs = line.latencyMs;
        o.garbageRate = o.dropRate = line.noise;
        o.cmdDropRate = line.cmdDrop;
        SimMainWindow k(o);
        ASSERT_TRUE(k.connectEcu(10000));
        frmRomData* win = k.form().open<frmRomData>();
        auto* read = win->findChild<QPushButton*>("btnRead");
        ASSERT_TRUE(waitUntil([&] { return read->isEnabled(); }, 5000));
        const QString path = k.w->dir.filePath("rom.bin");
        struct Dump {
            bool slow;
            uint16_t start;
            int size;
        };
        for (const Dump d : {Dump{false, uint16_t(code), 128},
                             Dump{true, uint16_t(code + 0x80), 32}, Dump{false, 0x7400, 32}}) {
            win->findChild<QLineEdit*>("txtPath")->setText(path);
            win->findChild<QLineEdit*>("txtStart")->setText(QString::number(d.start, 16).toUpper());
            win->findChild<QLineEdit*>("txtEnd")->setText(
                QString::number(d.start + d.size - 1, 16).toUpper());
            win->findChild<QRadioButton*>(d.slow ? "optSlow" : "optFast")->setChecked(true);
            k.w->dialogs.questionAnswers.push_back(true); // replace the first dump's file
            read->click();
            ASSERT_TRUE(win->downloading());
            ASSERT_TRUE(waitUntil([&] { return !win->downloading(); }, 90000));
            const QString status = win->findChild<QLabel*>("lblStatus")->text();
            EXPECT_EQ(fileBytes(path), memory(k.sim, d.start, size_t(d.size)))
                << (d.slow ? "slow " : "fast ") << std::hex << d.start << " "
                << status.toStdString();
            EXPECT_TRUE(status.startsWith("Finished")) << status.toStdString();
        }
        win->close();
    }
}

TEST(RealLineE2E, IgnitionOffGreysTheDisplayStopsTheRecordsAndBothComeBack) {
    SimMainWindow k;
    ASSERT_TRUE(k.connectEcu());
    QPointer<Form1> display = k.form().open<Form1>();
    k.settle();
    display->btnDataLog()->click();
    auto* log = k.form().findChild<frmDataLog*>();
    ASSERT_NE(log, nullptr);
    log->findChild<QLineEdit*>("txtPath")->setText("drive.log");
    log->findChild<QPushButton*>("btnStart")->click();
    ASSERT_TRUE(log->isLogging());
    const QString path = k.w->dir.filePath("drive.log");
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(path).size() > 2000; }, 5000));
    auto* grid = display->findChild<GaugeGrid*>();
    ASSERT_NE(grid, nullptr);
    EXPECT_FALSE(grid->isStale());

    k.sim.setIgnition(false);
    auto* note = k.w->find<QLabel>("lblLinkStatus");
    ASSERT_TRUE(
        waitUntil([&] { return note->text().startsWith("No data from the ECU since"); }, 3000));
    EXPECT_TRUE(grid->isStale());
    EXPECT_EQ(grid->lblValue(0)->text(), "--"); // what a screen reader reads too
    EXPECT_TRUE(log->findChild<QLabel*>("lblStatus")->text().contains("no record is written"));
    const qint64 size = QFileInfo(path).size();
    pause(2500); // through a re-arm that gets no answer
    EXPECT_EQ(QFileInfo(path).size(), size);
    EXPECT_TRUE(log->isLogging());

    k.sim.setIgnition(true);
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(path).size() > size + 1000; }, 6000));
    EXPECT_FALSE(grid->isStale());
    EXPECT_NE(grid->lblValue(0)->text(), "--");
    EXPECT_FALSE(note->text().startsWith("No data"));
    // Back to what the recording has done.
    EXPECT_TRUE(log->findChild<QLabel*>("lblStatus")->text().startsWith("Logging: "));
    EXPECT_TRUE(k.w->dialogs.messages.isEmpty());
}

TEST(RealLineE2E, ASilentWidebandControllerShowsNoRatioUntilItStreamsAgain) {
    SimWidebandWindow k;
    auto& [ecu, controller, window] = k;
    MainWindow& w = *window;
    w.find<QPushButton>("btnConnect2")->click();
    ASSERT_TRUE(waitUntil([&] { return w.form->afrDisplayEnabled(); }, 5000));
    auto* afr = w.find<QLabel>("lblAFR");
    EXPECT_NE(afr->text(), "--.--");

    controller.setSilent(true);
    ASSERT_TRUE(waitUntil([&] { return !w.form->afrDisplayEnabled(); }, 3000));
    EXPECT_EQ(afr->text(), "--.--");
    EXPECT_TRUE(
        w.find<QLabel>("lblWbStatus")->text().startsWith("No data from the wideband controller"));

    controller.setSilent(false);
    ASSERT_TRUE(waitUntil([&] { return w.form->afrDisplayEnabled(); }, 8000));
    EXPECT_NE(afr->text(), "--.--");
    EXPECT_TRUE(w.dialogs.messages.isEmpty());
}
