// The live register test and the ECU finder against the simulated ECU over a pty.
#include "settings/Form3.h"
#include "settings/frmSettings.h"
#include "support/sim_window.h"
#include "tools/frmECUfind.h"
#include "tools/frmRegTest.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
QString label(QWidget* w, const char* name) {
    return w->findChild<QLabel*>(QString::fromLatin1(name))->text();
}
QPushButton* button(QWidget* w, const char* name) {
    return w->findChild<QPushButton*>(QString::fromLatin1(name));
}
} // namespace

TEST(ProbeToolsE2E, RegisterTestListsTheSupportedRegistersAndNarrowsTheLists) {
    // An ECU that answers every register, 0x02 among them that the program has no meaning
    // for, but the right-hand air flow and the second O2 sensor. Each silent register costs
    // the test's time-out at line pace: a few show it, the window test the rest.
    auto o = quietSim();
    o.unsupported.reset();
    for (int r : {0x06, 0x07, 0x36})
        o.unsupported.set(size_t(r));
    o.baud = 115200;
    SimMainWindow k(o, [](SettingsStore& s) { s.save("Comms", "Speed", "115200"); });
    ASSERT_TRUE(k.connectEcu());

    frmSettings* settings = k.form().open<frmSettings>();
    ASSERT_TRUE(button(settings, "btnActTest")->isEnabled());
    QTest::mouseClick(button(settings, "btnActTest"), Qt::LeftButton);
    QPointer<frmRegTest> t = k.form().window<frmRegTest>();
    ASSERT_TRUE(t);
    ASSERT_TRUE(waitUntil([&] { return !t || t->scan().completed(); }, 90000));
    ASSERT_TRUE(t);
    EXPECT_EQ(label(t, "lblInfo"), "- Completed !");

    QString expected;
    for (int r = 0; r <= 0x38; ++r)
        if (!o.unsupported.test(size_t(r))) expected += registerLine(uint8_t(r));
    EXPECT_EQ(t->scan().report(), expected);
    EXPECT_TRUE(expected.contains("Register 2 active - not supported\r\n"));

    QTest::mouseClick(button(t, "btnUpdate"), Qt::LeftButton);
    QStringList offered;
    for (int i = 0; i < settings->cmbGauge(11)->count(); ++i)
        offered << settings->cmbGauge(11)->itemText(i);
    EXPECT_EQ(offered, (QStringList{"RPM",
                                    "Air Flow",
                                    "Water Temperature",
                                    "O2 Sensor",
                                    "O2 Sensor Right Hand",
                                    "Speed",
                                    "Battery Voltage",
                                    "Throttle Position Sensor",
                                    "Fuel Temperature",
                                    "Intake Air Temperature",
                                    "Exhaust Gas Temperature",
                                    "Injector Time",
                                    "Ignition Timing",
                                    "AAC Valve",
                                    "Air Fuel Base",
                                    "Air Fuel Base Right Hand",
                                    "Air Fuel Base Self Learn",
                                    "Air Fuel Base Self Learn Right Hand",
                                    "Injector Time Right Hand",
                                    "Duty Cycle (requires RPM & Inj)",
                                    "Duty Cycle RH (requires RPM & Inj RH)",
                                    "O2 Sensor B1",
                                    "WBo2"}));

    // Closing reconnected: the part number comes back in mode 1.
    ASSERT_TRUE(waitUntil([&] { return t.isNull(); }, 5000));
    k.settle();
    EXPECT_EQ(k.form().link().readMode(), ReceiveMode::Identify);
    ASSERT_TRUE(waitUntil([&] { return k.partNumber() == "1U800"; }, 5000));
    EXPECT_TRUE(k.w->dialogs.messages.isEmpty());
}

TEST(ProbeToolsE2E, EcuFinderFindsTheIdThenCancelCompletes) {
    auto o = quietSim();
    o.id = 0xFD;
    SimMainWindow k(o, [](SettingsStore& s) { s.save("Comms", "ECUid", "FD"); });
    ASSERT_TRUE(k.connectEcu());

    Form3* comms = k.form().open<Form3>();
    QTest::mouseClick(button(comms, "btnECUfind"), Qt::LeftButton);
    QPointer<frmECUfind> f = k.form().findChild<frmECUfind*>();
    ASSERT_TRUE(f);
    ASSERT_TRUE(waitUntil([&] { return f->sweep().current() <= 0xFC; }, 10000));
    EXPECT_EQ(f->sweep().report(), "ECU id FD - active\r\n");
    QTest::mouseClick(button(f, "btnCancel"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return f->sweep().completed(); }, 5000));
    EXPECT_EQ(label(f, "lblInfo"), "- Completed !");
    EXPECT_TRUE(button(f, "btnClose")->isEnabled());
    EXPECT_EQ(f->sweep().report(), "ECU id FD - active\r\n");

    QTest::mouseClick(button(f, "btnClose"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return f.isNull(); }, 5000));
    ASSERT_TRUE(
        waitUntil([&] { return k.form().link().connected() && k.partNumber() == "1U800"; }, 5000));
}
