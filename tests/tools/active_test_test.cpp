// The active test table and the byte sequences that start and end a test.
#include "link/SerialPort.h"
#include "tools/active_test.h"

#include <gtest/gtest.h>

using namespace kx;

namespace {
const TestValue& entry(const std::vector<TestValue>& list, const QString& text) {
    for (const TestValue& v : list)
        if (v.text == text) return v;
    static const TestValue none{QStringLiteral("<missing>"), 0};
    ADD_FAILURE() << "no entry " << text.toStdString();
    return none;
}
QByteArray hex(const char* h) {
    return QByteArray::fromHex(h);
}
} // namespace

TEST(ActiveTest, ValueListsCarryTheirParameterBytes) {
    const auto celsius = engineTempValues(false);
    ASSERT_EQ(celsius.size(), 161u);
    EXPECT_EQ(celsius.front().text, "-10");
    EXPECT_EQ(celsius.front().param, 0x28);
    EXPECT_EQ(celsius.back().text, "150");
    EXPECT_EQ(celsius.back().param, 0xC8);

    const auto fahrenheit = engineTempValues(true);
    ASSERT_EQ(fahrenheit.size(), 161u);
    EXPECT_EQ(fahrenheit[0].text, "14");
    EXPECT_EQ(fahrenheit[0].param, 0x28);
    EXPECT_EQ(fahrenheit[1].text, "15.8");
    EXPECT_EQ(entry(fahrenheit, "32").param, 50);
    EXPECT_EQ(entry(fahrenheit, "98.6").param, 87);
    EXPECT_EQ(fahrenheit.back().text, "302");

    const auto timing = timingValues();
    ASSERT_EQ(timing.size(), 30u);
    EXPECT_EQ(timing.front().text, "-15");
    EXPECT_EQ(timing.front().param, 241);
    EXPECT_EQ(entry(timing, "-1").param, 0xFF);
    EXPECT_EQ(entry(timing, "+1").param, 1);
    EXPECT_EQ(timing.back().text, "+15");
    EXPECT_EQ(timing.back().param, 0x0F);
    for (const TestValue& v : timing)
        EXPECT_NE(v.text, "0");

    const auto valve = valveValues();
    ASSERT_EQ(valve.size(), 101u);
    const std::pair<int, int> scaled[] = {{0, 0},    {1, 3},    {10, 26},  {30, 76},
                                          {50, 127}, {70, 178}, {100, 255}};
    for (auto [percent, param] : scaled) {
        EXPECT_EQ(valve[size_t(percent)].text, QString::number(percent));
        EXPECT_EQ(valve[size_t(percent)].param, param) << percent;
    }

    const auto af = afBaseValues();
    ASSERT_EQ(af.size(), 51u);
    EXPECT_EQ(af.front().param, 75);
    EXPECT_EQ(af.back().text, "125");
    EXPECT_EQ(af.back().param, 125);
}

TEST(ActiveTest, CylinderMaskBitPerCylinder) {
    EXPECT_EQ(cylinderMask({true, false, false, false, false, false, false, true}), 0x81);
    EXPECT_EQ(cylinderMask({}), 0x00);
    EXPECT_EQ(cylinderMask({false, false, true, false, true, false, false, false}), 0x14);
}

TEST(ActiveTest, SendAndRestoreSequences) {
    MemoryPort port;
    ASSERT_EQ(port.open("1", "9600,N,8,1"), PortOk);
    int arms = 0;
    const ArmLiveData arm = [&] {
        ++arms;
        port.write(hex("5a08"));
    };
    EXPECT_TRUE(sendActiveTest(port, 0x80, 0x28, arm));
    EXPECT_EQ(port.writes, (QList<QByteArray>{hex("30"), hex("0a8028"), hex("5a08"), hex("f0")}));
    port.writes.clear();
    EXPECT_TRUE(restoreLiveData(port, arm));
    EXPECT_EQ(port.writes, (QList<QByteArray>{hex("30"), hex("5a08"), hex("f0")}));
    EXPECT_EQ(arms, 2);
}

TEST(ActiveTest, ClosedPortSendsNothingAndReportsIt) {
    MemoryPort port;
    int arms = 0;
    const ArmLiveData arm = [&] { ++arms; };
    EXPECT_FALSE(sendActiveTest(port, 0x89, 0, arm));
    EXPECT_FALSE(restoreLiveData(port, arm));
    EXPECT_TRUE(port.writes.isEmpty());
    EXPECT_EQ(arms, 0);

    // The port closes while live data is being armed: no stream start, and a failure.
    ASSERT_EQ(port.open("1", "9600,N,8,1"), PortOk);
    EXPECT_FALSE(sendActiveTest(port, 0x89, 0, [&] { port.close(); }));
    EXPECT_EQ(port.writes, (QList<QByteArray>{hex("30"), hex("0a8900")}));
}
