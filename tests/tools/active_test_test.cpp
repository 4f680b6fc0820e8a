// The active test table and the byte sequences that start and end a test.
#include "link/SerialPort.h"
#include "support/test_support.h"
#include "tools/active_test.h"

#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
const TestValue& entry(const std::vector<TestValue>& list, const QString& text) {
    for (const TestValue& v : list)
        if (v.text == text) return v;
    static const TestValue none{QStringLiteral("<missing>"), 0};
    ADD_FAILURE() << "no entry " << text.toStdString();
    return none;
}
} // namespace

// The ends of each list and the bytes sent for them are checked through the window's START.
TEST(ActiveTest, ValueListsCarryTheirParameterBytes) {
    EXPECT_EQ(engineTempValues(false).size(), 161u);
    const auto fahrenheit = engineTempValues(true);
    ASSERT_EQ(fahrenheit.size(), 161u);
    EXPECT_EQ(fahrenheit[1].text, "15.8");
    EXPECT_EQ(entry(fahrenheit, "98.6").param, 87);
    EXPECT_EQ(fahrenheit.back().text, "302");

    const auto timing = timingValues();
    ASSERT_EQ(timing.size(), 30u);
    EXPECT_EQ(timing.front().param, 241);
    for (const TestValue& v : timing)
        EXPECT_NE(v.text, "0");

    // Per cent scaled by 2.55 in double precision, halves to even.
    const auto valve = valveValues();
    ASSERT_EQ(valve.size(), 101u);
    const std::pair<int, int> scaled[] = {{0, 0},    {1, 3},    {10, 26},  {30, 76},
                                          {50, 127}, {70, 178}, {100, 255}};
    for (auto [percent, param] : scaled) {
        EXPECT_EQ(valve[size_t(percent)].text, QString::number(percent));
        EXPECT_EQ(valve[size_t(percent)].param, param) << percent;
    }
    EXPECT_EQ(afBaseValues().size(), 51u);
}

TEST(ActiveTest, SequencesStopSendArmAndStart) {
    const LinkSequence live = LinkSequence().arm(hex("5a08"), 50, 6);
    const LinkSequence test = sendActiveTest(0x89, 1, live);
    QList<QByteArray> writes;
    for (const LinkStep& s : test.steps)
        if (s.kind == LinkStep::Write) writes << s.bytes;
    EXPECT_EQ(writes, (QList<QByteArray>{hex("30"), hex("0a8901"), hex("5a08"), hex("f0")}));
    writes.clear();
    for (const LinkStep& s : restoreLiveData(live).steps)
        if (s.kind == LinkStep::Write) writes << s.bytes;
    EXPECT_EQ(writes, (QList<QByteArray>{hex("30"), hex("5a08"), hex("f0")}));
}
