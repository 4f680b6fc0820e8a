// The port layer through QSerialPort on a real pseudo-terminal pair.
#include "link/SerialPort.h"
#include "support/test_support.h"

#include <QSignalSpy>
#include <QThread>
#include <gtest/gtest.h>
#include <termios.h>

using namespace kx;
using namespace kx::test;

TEST(SerialPortNames, NumbersAndPaths) {
    EXPECT_EQ(portDevice("1"), "/dev/ttyS0");
    EXPECT_EQ(portDevice("4"), "/dev/ttyS3");
    EXPECT_EQ(portDevice("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(portDevice("0"), "");
    EXPECT_EQ(portDevice("COM1"), "");
    EXPECT_EQ(portDevice(""), "");
    LineSettings l;
    EXPECT_TRUE(parseLineSettings("9600,N,8,1", l));
    EXPECT_EQ(l.baud, 9600);
    EXPECT_FALSE(parseLineSettings(",N,8,1", l));
    EXPECT_FALSE(parseLineSettings("fast,N,8,1", l));
    EXPECT_FALSE(parseLineSettings("9600,E,8,1", l));
}

TEST(QtSerialPortOnPty, OpensWithLineSettingsWritesAndReads) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    QtSerialPort port;
    ASSERT_EQ(port.open(pty.path(), "9600,N,8,1"), PortOk) << port.lastError().toStdString();
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.open(pty.path(), "9600,N,8,1"), PortAlreadyOpen);

    termios t{};
    ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), speed_t(B9600));

    EXPECT_TRUE(port.write(QByteArray("\xFF\xFF\xEF", 3)));
    EXPECT_EQ(pty.readFor(100), QByteArray("\xFF\xFF\xEF", 3));
    port.close();
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.write("x"));
}

TEST(QtSerialPortOnPty, ThresholdRaisesTheEventAndDiscardDrops) {
    Pty pty;
    QtSerialPort port;
    ASSERT_EQ(port.open(pty.path(), "9600,N,8,1"), PortOk);
    QSignalSpy spy(&port, &SerialPort::received);
    port.setThreshold(6);
    // The line discipline wakes the program only when the event can fire (VMIN), and a read
    // without an event still gets the bytes it holds back.
    const auto vmin = [&] {
        termios t{};
        ::tcgetattr(pty.master(), &t);
        return int(t.c_cc[VMIN]);
    };
    EXPECT_EQ(vmin(), 6);
    pty.write("abc");
    waitUntil([&] { return port.bufferedCount() == 3; }, 1000);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(vmin(), 3);
    pty.write("def");
    ASSERT_TRUE(waitUntil([&] { return spy.count() > 0; }, 2000));
    EXPECT_EQ(port.readAll(), "abcdef");
    EXPECT_EQ(port.bufferedCount(), 0);

    pty.write("stale bytes");
    waitUntil([&] { return port.bufferedCount() > 0; }, 1000);
    port.discard();
    EXPECT_EQ(port.bufferedCount(), 0);
    EXPECT_EQ(port.readAll(), "");
}

TEST(QtSerialPortOnPty, HangUpClosesThePortWithoutSpinning) {
    auto pty = std::make_unique<Pty>();
    QtSerialPort port;
    ASSERT_EQ(port.open(pty->path(), "9600,N,8,1"), PortOk);
    const QString path = pty->path();
    QSignalSpy lost(&port, &SerialPort::lost);
    pty->hangUp();
    ASSERT_TRUE(waitUntil([&] { return !port.isOpen(); }, 3000));
    EXPECT_EQ(lost.count(), 1);
    EXPECT_FALSE(port.write("x"));
    // Events keep flowing quietly afterwards: no endless error storm.
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(lost.count(), 1);

    // A new device can be opened with the same object.
    Pty again;
    EXPECT_EQ(port.open(again.path(), "9600,N,8,1"), PortOk);
}

TEST(QtSerialPortOnPty, OpenErrorsLeaveThePortClosed) {
    QtSerialPort port;
    EXPECT_EQ(port.open("/dev/does-not-exist-kx", "9600,N,8,1"), PortInvalid);
    EXPECT_EQ(port.open("banana", "9600,N,8,1"), PortInvalid);
    EXPECT_FALSE(port.isOpen());

    Pty pty;
    QtSerialPort first;
    ASSERT_EQ(first.open(pty.path(), "9600,N,8,1"), PortOk);
    QtSerialPort second;
    EXPECT_EQ(second.open(pty.path(), "9600,N,8,1"), PortAlreadyOpen);
    EXPECT_FALSE(second.isOpen());
    EXPECT_EQ(second.open(pty.path(), "x,N,8,1"), PortSetupFailed);
}

TEST(MemoryPort, RecordsWritesAndDeliversAtThreshold) {
    MemoryPort port;
    EXPECT_FALSE(port.write("x"));
    ASSERT_EQ(port.open("3", "9600,N,8,1"), PortOk);
    EXPECT_EQ(port.openedWith, QStringList{"3|9600,N,8,1"});
    QSignalSpy spy(&port, &SerialPort::received);
    port.setThreshold(4);
    port.feed("ab");
    EXPECT_EQ(spy.count(), 0);
    port.feed("cd");
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(port.readAll(), "abcd");
    port.write("1");
    port.write("23");
    EXPECT_EQ(port.written(), "123");
}

// The line's hold is sampled from a write to the first byte back. One sample far beyond the
// others (a request the device never took, answered only after the next write) is left out;
// two in a row are a line that now holds bytes longer.
TEST(MemoryPort, ALoneLateAnswerIsNoHoldSample) {
    MemoryPort port;
    ASSERT_EQ(port.open("3", "9600,N,8,1"), PortOk);
    const auto answer = [&port](int ms) {
        port.write("\xF0");
        port.answerExpected();
        if (ms > 0) QThread::msleep(ulong(ms));
        port.feed("x");
    };
    for (int i = 0; i < 8; ++i)
        answer(0);
    const int before = port.holdSampleCount();
    answer(250);
    EXPECT_LT(port.holdMs(), 250);
    answer(250);
    EXPECT_GE(port.holdMs(), 250);
    EXPECT_EQ(port.holdSampleCount(), std::min(before + 1, 16));
}
