// The data display fed by the simulated ECU through QSerialPort.
#include "live/Form1.h"
#include "live/GaugeGrid.h"
#include "support/sim_window.h"

#include <QLabel>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

TEST(DisplayE2E, LiveValuesChangeAndClosingReconnects) {
    SimMainWindow k;
    ASSERT_TRUE(k.connectEcu());
    QPointer<Form1> f = k.form().open<Form1>();
    k.settle();
    ASSERT_TRUE(f);
    f->show();
    // Engine speed moves (idle noise, rev cycles) and the battery reads about 14 V.
    QLabel* rpm = f->grid().lblValue(0);
    ASSERT_TRUE(waitUntil([&] { return rpm->text() != "0"; }, 5000));
    const QString first = rpm->text();
    EXPECT_TRUE(waitUntil([&] { return rpm->text() != first; }, 5000));
    // After cranking the engine idles and the alternator charges.
    ASSERT_TRUE(waitUntil([&] { return k.form().state().live.gaugeValue[0] > 500.0f; }, 8000));
    waitUntil([&] { return false; }, 300);
    EXPECT_NEAR(k.form().state().live.gaugeValue[7], 14.0f, 1.5f);
    EXPECT_FALSE(k.form().state().live.switchState[7].isEmpty());

    f->close();
    ASSERT_TRUE(
        waitUntil([&] { return k.form().link().readMode() == ReceiveMode::Identify; }, 3000));
    EXPECT_TRUE(waitUntil([&] { return k.partNumber() == "1U800"; }, 5000));
}
