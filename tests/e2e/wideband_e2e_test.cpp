// Kestrix against the simulated ECU and wideband controller, both through QSerialPort.
#include "gauges/Graph.h"
#include "gauges/gauge_geometry.h"
#include "live/Form1.h"
#include "live/GaugeGrid.h"
#include "support/sim_window.h"
#include "util/numbers.h"
#include "wideband.h"
#include "wideband/frmWBO2.h"
#include "wideband/wideband.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

TEST(WidebandE2E, HandshakeAfrGraphAndGauge24) {
    // 60 frames a second: the graph fills in seconds. The data display's first dial is WBo2.
    SimWidebandWindow k(60, [](SettingsStore& s) { s.save("Setup", "Gauge0", "24"); });
    auto& [ecu, controller, window] = k;
    MainWindow& w = *window;

    w.find<QPushButton>("btnConnect2")->click();
    ASSERT_TRUE(waitUntil([&] { return w.form->afrDisplayEnabled(); }, 5000));
    const auto sent = controller.receivedBytes();
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(sent.data()), qsizetype(sent.size())),
              QByteArray("tf\rv\rs03e1\rs0406\rw\rt1\r"));
    EXPECT_EQ(w.find<QLabel>("lblROMver")->text(), "0120");
    // The figure is one of the raw values the controller sent, by the program's formula.
    const QString shown = w.find<QLabel>("lblAFR")->text();
    const auto raws = controller.sentRaws();
    EXPECT_TRUE(std::any_of(raws.begin(), raws.end(), [&](uint16_t r) {
        return valueText(wb::afrFromRaw(r), 2) == shown;
    })) << shown.toStdString();

    // Connect again to a controller that went on streaming while the port was closed: the
    // same handshake, no warning.
    w.form->closePort2();
    waitUntil([] { return false; }, 500);
    w.find<QPushButton>("btnConnect2")->click();
    EXPECT_EQ(w.form->wbLink().readMode(), 4);
    ASSERT_TRUE(waitUntil([&] { return w.form->wbLink().readMode() == 3; }, 5000))
        << "mode " << w.form->wbLink().readMode() << ", sent "
        << QByteArray(reinterpret_cast<const char*>(controller.receivedBytes().data()),
                      qsizetype(controller.receivedBytes().size()))
               .toStdString();
    EXPECT_EQ(w.find<QLabel>("lblROMver")->text(), "0120");
    EXPECT_TRUE(w.dialogs.messages.isEmpty());

    // The AFR window's graph fills and then scrolls. The ratio is live again with the new
    // stream's first frame.
    ASSERT_TRUE(waitUntil([&] { return w.form->afrDisplayEnabled(); }, 5000));
    w.find<QPushButton>("btnAFR")->click();
    auto* afr = w.form->findChild<frmWBO2*>("frmWBO2");
    ASSERT_NE(afr, nullptr);
    const Points& pts = afr->graph()->datasets().Item(1).points();
    ASSERT_TRUE(waitUntil([&] { return pts.Count() == 80; }, 15000));
    std::vector<double> before;
    for (int i = 1; i <= 80; ++i)
        before.push_back(pts.Item(i).Value());
    // Scrolled by k: every point sits k slots further left than before.
    const auto scrolled = [&] {
        for (int k = 1; k <= 20; ++k) {
            bool all = true;
            for (int i = 1; i + k <= 80 && all; ++i)
                all = pts.Item(i).Value() == before[size_t(i + k - 1)];
            if (all) return true;
        }
        return false;
    };
    EXPECT_TRUE(waitUntil(scrolled, 3000));

    // Gauge 24 of the data display follows the controller while the ECU streams.
    w.form->btnConnect_Click();
    ASSERT_TRUE(waitUntil([&] { return w.form->link().connected(); }, 5000));
    QPointer<Form1> display = w.form->open<Form1>();
    ASSERT_TRUE(display);
    QLabel* dial = display->grid().lblValue(0);
    ASSERT_TRUE(waitUntil([&] { return dial->text() != "0"; }, 5000));
    EXPECT_TRUE(waitUntil(
        [&] { return w.form->state().live.gaugeValue[24] == w.form->state().live.wbValues[0]; },
        2000));
    EXPECT_GE(w.form->state().live.gaugeValue[24], 10.0f);
    // The controller goes away: the dial no longer shows its last ratio as a reading.
    controller.stop();
    EXPECT_TRUE(waitUntil([&] { return dial->text() == "--.--"; }, 5000));
    display->close();
    ecu.stop();
}
