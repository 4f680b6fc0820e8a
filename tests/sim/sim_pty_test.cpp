// The simulator through a real pseudo-terminal, opened the way a client opens a serial port.
#include "ecu_sim.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <QSerialPort>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace kxsim;
using Clock = std::chrono::steady_clock;

namespace {

// Guards against a hung test only; no assertion depends on it.
constexpr int kGiveUpMs = 10000;

int openPort(const std::string& path) {
    return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

void send(int fd, Bytes bytes) {
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
}

struct ReadResult {
    Bytes bytes;
    bool hungUp = false;
};

// Reads until `count` bytes arrived, the line hung up, or `ms` passed.
ReadResult readSome(int fd, size_t count, int ms) {
    ReadResult r;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (r.bytes.size() < count && Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 5);
        uint8_t buf[256];
        // No more than wanted: a reader slower than the line (an emulated or small board)
        // finds more bytes waiting than it asked for.
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, count - r.bytes.size()));
        if (n > 0) {
            r.bytes.insert(r.bytes.end(), buf, buf + n);
        } else if (n == 0 || (n < 0 && errno == EIO) || (p.revents & POLLHUP)) {
            r.hungUp = true;
            break;
        }
    }
    return r;
}

long findBytes(const Bytes& hay, const Bytes& needle, size_t from = 0) {
    for (size_t i = from; i + needle.size() <= hay.size(); ++i) {
        if (std::equal(needle.begin(), needle.end(), hay.begin() + long(i))) return long(i);
    }
    return -1;
}

} // namespace

TEST(SimPty, ConnectsIdentifiesAndPacesAtTheBaudRate) {
    QTemporaryDir dir;
    SimOptions o;
    o.linkPath = dir.filePath("ecu").toStdString();
    o.recordPath = dir.filePath("record.txt").toStdString();
    o.partNumber = "4B731";
    EcuSimulator sim(o);
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    const int fd = openPort(o.linkPath); // through the link, as a user would
    ASSERT_GE(fd, 0);

    for (uint8_t b : {0xFF, 0xFF, 0xEF, 0xD0})
        send(fd, {b});
    EXPECT_EQ(readSome(fd, 2, kGiveUpMs).bytes, (Bytes{0x10, 0x2F}));

    const auto started = Clock::now();
    send(fd, {0xF0});
    const Bytes stream = readSome(fd, 101, kGiveUpMs).bytes;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    ASSERT_EQ(stream.size(), 101u);
    EXPECT_GE(ms, 95.0); // 101 bytes of 10 bits at 9600 baud take 105 ms
    EXPECT_EQ(stream[0], 0x0F);
    const long header = findBytes(stream, {0xFF, 0x16});
    ASSERT_EQ(header, 1);
    EXPECT_EQ(std::string(stream.begin() + 20, stream.begin() + 25), "4B731");
    EXPECT_EQ(findBytes(stream, {0xFF, 0x16}, 2), 25); // repeated back to back

    send(fd, {0x30});
    // On a busy machine the simulator's thread may take its time to read the stop.
    const auto end = Clock::now() + std::chrono::milliseconds(kGiveUpMs);
    while (sim.streaming() && Clock::now() < end)
        readSome(fd, 1000, 20);
    EXPECT_FALSE(sim.streaming());
    EXPECT_GE(sim.framesSent(), 4u);
    EXPECT_EQ(sim.receivedBytes(), (Bytes{0xFF, 0xFF, 0xEF, 0xD0, 0xF0, 0x30}));
    EXPECT_EQ(sim.bytesReceived(), 6u);
    ::close(fd);
    sim.stop();

    // The record: time stamp, who sent, the bytes in hexadecimal; each side's lines together
    // give back exactly what that side sent.
    std::ifstream in(o.recordPath);
    std::string line;
    std::string pc;
    std::string ecu;
    double lastMs = -1;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        double ms = 0;
        std::string who;
        std::string byte;
        words >> ms >> who;
        EXPECT_GE(ms, lastMs) << line;
        lastMs = ms;
        while (words >> byte)
            (who == "pc" ? pc : ecu) += " " + byte;
    }
    EXPECT_EQ(pc, " FF FF EF D0 F0 30");
    EXPECT_EQ(ecu.substr(0, 18), " 10 2F 0F FF 16 30");
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(o.linkPath))); // link removed
}

TEST(SimPty, SurvivesTheClientClosingAndReopening) {
    SimOptions o;
    o.faults = {{0x21, 4}};
    EcuSimulator sim(o);
    ASSERT_TRUE(sim.start());
    for (int round = 0; round < 3; ++round) {
        const int fd = openPort(sim.devicePath());
        ASSERT_GE(fd, 0) << round;
        ::tcflush(fd, TCIFLUSH);
        send(fd, {0x30, 0xD1, 0xF0});
        const Bytes rx = readSome(fd, 40, kGiveUpMs).bytes;
        EXPECT_GE(findBytes(rx, {0xFF, 0x02, 0x21, 0x04}), 0) << round;
        // Closed in the middle of the stream, as a crashed client would leave it.
        ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(sim.running());
    sim.setFaultCodes({});
    const int fd = openPort(sim.devicePath());
    ::tcflush(fd, TCIFLUSH);
    send(fd, {0x30, 0xD1, 0xF0});
    EXPECT_GE(findBytes(readSome(fd, 40, kGiveUpMs).bytes, {0xFF, 0x02, 0x55, 0x00}), 0);
    ::close(fd);
}

TEST(SimPty, HangsUpAfterTheSetNumberOfFramesThenComesBack) {
    QTemporaryDir dir;
    SimOptions o;
    o.hangupAfter = 3;
    o.reopenAfterMs = 100;
    o.linkPath = dir.filePath("ecu").toStdString();
    EcuSimulator sim(o);
    ASSERT_TRUE(sim.start());
    const int fd = openPort(sim.devicePath());
    ASSERT_GE(fd, 0);
    send(fd, {0xFF, 0xFF, 0xEF, 0xD0, 0xF0});
    const ReadResult r = readSome(fd, 100000, kGiveUpMs);
    EXPECT_TRUE(r.hungUp);
    // Acknowledgements, then exactly three frames of 24 bytes.
    EXPECT_EQ(r.bytes.size(), 3u + 3 * 24);
    ::close(fd);

    // The line is down (no device) until it comes back, perhaps under the same name. The link
    // goes with it: the number it named is the system's to give to the next terminal opened,
    // another program's line, which a client retrying the link must never reach.
    const auto end = Clock::now() + std::chrono::milliseconds(kGiveUpMs);
    const QString link = QString::fromStdString(o.linkPath);
    while ((sim.counters().hangups == 0 || sim.devicePath().empty()) && Clock::now() < end) {
        const std::string before = sim.devicePath();
        const std::string target = QFileInfo(link).symLinkTarget().toStdString();
        const std::string after = sim.devicePath();
        if (!target.empty()) EXPECT_TRUE(target == before || target == after) << target;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const std::string second = sim.devicePath();
    ASSERT_FALSE(second.empty());
    // The link is made just after the new terminal: give it a moment on a busy machine.
    const auto linked = Clock::now() + std::chrono::seconds(2);
    while (QFileInfo(link).symLinkTarget().toStdString() != second && Clock::now() < linked)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(QFileInfo(link).symLinkTarget().toStdString(), second);
    EXPECT_EQ(sim.counters().hangups, 1u);
    const int again = openPort(o.linkPath);
    ASSERT_GE(again, 0);
    send(again, {0xD0, 0xF0});
    const ReadResult more = readSome(again, 200, kGiveUpMs);
    EXPECT_FALSE(more.hungUp); // hangs up once only
    EXPECT_GE(findBytes(more.bytes, {0xFF, 0x16}), 0);
    ::close(again);
}

TEST(SimPty, LineFaultsSilenceDropAndGarbage) {
    auto streamWith = [](SimOptions o) {
        EcuSimulator sim(o);
        EXPECT_TRUE(sim.start());
        const int fd = openPort(sim.devicePath());
        send(fd, {0xD0, 0xF0});
        // Long enough for several frames even while the machine is busy.
        const Bytes rx = readSome(fd, 100000, 1000).bytes;
        ::close(fd);
        return std::make_pair(rx, sim.framesSent());
    };
    SimOptions silent;
    silent.silenceAfter = 2;
    const auto [quiet, quietFrames] = streamWith(silent);
    EXPECT_EQ(quiet.size(), 2u + 2 * 24); // two acknowledgements, two frames, then nothing
    EXPECT_EQ(quietFrames, 2u);

    SimOptions lossy;
    lossy.dropRate = 1;
    const auto [lost, lostFrames] = streamWith(lossy);
    EXPECT_TRUE(lost.empty());
    EXPECT_GE(lostFrames, 5u); // the frames still go out, and nothing of them arrives

    SimOptions deaf;
    deaf.cmdDropRate = 1; // the ECU hears none of the PC's bytes: no acknowledgement, no stream
    EXPECT_TRUE(streamWith(deaf).first.empty());

    SimOptions noisy;
    noisy.garbageRate = 0.02;
    const Bytes dirty = streamWith(noisy).first;
    // Whole frames still arrive, but garbage bytes push some headers apart.
    const Bytes frame = streamWith(SimOptions{}).first;
    ASSERT_GE(frame.size(), 26u);
    const Bytes clean(frame.begin() + 2, frame.begin() + 26);
    EXPECT_GE(findBytes(dirty, clean), 0);
    bool spread = false;
    for (long h = findBytes(dirty, {0xFF, 0x16}); h >= 0;) {
        const long next = findBytes(dirty, {0xFF, 0x16}, size_t(h) + 1);
        spread = spread || (next >= 0 && next - h != 24);
        h = next;
    }
    EXPECT_TRUE(spread);
}

TEST(SimPty, QSerialPortClientConnectsAgainAndAgain) {
    EcuSimulator sim;
    ASSERT_TRUE(sim.start());
    for (int round = 0; round < 3; ++round) {
        QSerialPort port(QString::fromStdString(sim.devicePath()));
        port.setBaudRate(9600);
        port.setFlowControl(QSerialPort::NoFlowControl);
        ASSERT_TRUE(port.open(QIODevice::ReadWrite)) << port.errorString().toStdString();
        port.clear();
        port.write(QByteArray("\x30\xFF\xFF\xEF\xD0\xF0", 6));
        QByteArray rx;
        const auto end = Clock::now() + std::chrono::milliseconds(kGiveUpMs);
        while (rx.size() < 60 && Clock::now() < end) {
            if (port.waitForReadyRead(50)) rx += port.readAll();
        }
        EXPECT_TRUE(rx.contains(QByteArray("\xFF\x16", 2))) << round;
        EXPECT_TRUE(rx.contains("1U800")) << round;
        port.write(QByteArray(1, '\x30'));
        port.waitForBytesWritten(100);
        port.close();
    }
}
