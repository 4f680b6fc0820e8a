// The ECU link on the in-memory port: the connect exchange and its timing, sequences taking
// turns, a tool's sequence cancelled with it, tools waiting for the link, and a pulled cable.
#include "link/EcuLink.h"
#include "link/SerialPort.h"
#include "link/reply_watch.h"
#include "support/main_window.h"
#include "support/test_support.h"
#include "util/settings_store.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using namespace kx;
using namespace kx::test;

namespace {
struct Link {
    QTemporaryDir dir;
    SettingsStore store{dir.filePath("k.ini")};
    MemoryPort* port = new MemoryPort;
    std::unique_ptr<EcuLink> link;
    Link() {
        store.writeStartupDefaults();
        link = std::make_unique<EcuLink>(port, store);
    }
    bool settle(int ms = 3000) {
        return waitUntil([&] { return !link->busy(); }, ms);
    }
};
} // namespace

TEST(EcuLink, ConnectExchangeIsPacedAndIdentifies) {
    Link l;
    l.port->feed("junk");
    QElapsedTimer t;
    t.start();
    l.link->connectEcu();
    l.link->connectEcu(); // the same connect
    EXPECT_EQ(l.link->state(), EcuLink::State::Connecting);
    ASSERT_TRUE(l.settle());
    // Four single writes 100 ms apart, 20 ms, then the stream start.
    EXPECT_GE(t.elapsed(), 420);
    EXPECT_EQ(l.port->writes, (QList<QByteArray>{bytes({0xFF}), bytes({0xFF}), bytes({0xEF}),
                                                 bytes({0xD0}), bytes({0xF0})}));
    EXPECT_EQ(l.port->threshold(), 48);
    EXPECT_EQ(l.link->readMode(), ReceiveMode::Identify);
    EXPECT_EQ(l.link->state(), EcuLink::State::Identifying);
    l.port->feed(idFrame("1U800"));
    EXPECT_EQ(l.link->partNumber(), "1U800");
    EXPECT_TRUE(l.link->connected());
    EXPECT_EQ(l.link->state(), EcuLink::State::Connected);

    // A stored id that is not hexadecimal still arms the threshold and starts the stream.
    l.store.save("Comms", "ECUid", "ZZ");
    l.port->writes.clear();
    l.link->connectEcu();
    ASSERT_TRUE(l.settle());
    EXPECT_EQ(l.port->written(), bytes({0x30, 0xF0}));
    EXPECT_EQ(l.port->threshold(), 48);
}

TEST(EcuLink, SequencesTakeTurnsAndEndWithTheirOwner) {
    Link l;
    ASSERT_EQ(l.port->open("1", "9600,N,8,1"), PortOk);
    auto owner = std::make_unique<QObject>();
    bool ended = false;
    l.link->run(owner.get(),
                LinkSequence().write(0x01).wait(50).write(0x02).onEnd([&](bool) { ended = true; }));
    l.link->run(nullptr, LinkSequence().write(0x03));
    // The second waits for the first, whose owner goes away mid-wait: its rest is dropped.
    EXPECT_EQ(l.port->written(), bytes({0x01}));
    owner.reset();
    ASSERT_TRUE(l.settle());
    EXPECT_EQ(l.port->written(), bytes({0x01, 0x03}));
    EXPECT_FALSE(ended);

    // Arming: threshold 100 during the pause, then discard and the stream threshold.
    l.port->writes.clear();
    l.port->feed("xx");
    l.link->run(nullptr, LinkSequence().arm(bytes({0x5A, 0x08}), 50, 6).startStream());
    EXPECT_EQ(l.port->threshold(), 100);
    ASSERT_TRUE(l.settle());
    EXPECT_EQ(l.port->written(), bytes({0x5A, 0x08, 0xF0}));
    EXPECT_EQ(l.port->threshold(), 6);
    EXPECT_EQ(l.port->bufferedCount(), 0);

    // A closed port ends a sequence at its first write, and says so.
    l.port->close();
    bool ok = true;
    l.link->run(nullptr, LinkSequence().threshold(7).write(0x30).threshold(9).onEnd(
                             [&](bool r) { ok = r; }));
    EXPECT_FALSE(ok);
    EXPECT_EQ(l.port->threshold(), 7);
}

TEST(EcuLink, ToolsTakeTurnsAndAPulledCableIsAState) {
    Link l;
    l.link->setRetrying(true);
    l.link->connectEcu();
    ASSERT_TRUE(l.settle());
    l.port->feed(idFrame("1U800"));
    auto first = std::make_unique<QObject>();
    auto second = std::make_unique<QObject>();
    QStringList events;
    EcuLink::Claim a;
    a.name = "A";
    a.granted = [&] { events << "A granted"; };
    a.resumed = [&] { events << "A resumed"; };
    a.receiver = [&](const QByteArray& b) { events << "A got " + QString::fromLatin1(b); };
    EcuLink::Claim b;
    b.name = "B";
    b.granted = [&] { events << "B granted"; };
    QStringList waits;
    QObject::connect(l.link.get(), &EcuLink::waiting,
                     [&](const QString& t, const QString& h) { waits << t + ">" + h; });
    l.link->acquire(first.get(), a);
    l.link->acquire(second.get(), b);
    EXPECT_EQ(events, QStringList{"A granted"});
    EXPECT_EQ(waits, QStringList{"B>A"});
    // A mode without frames to confirm: deliveries go to the holder as they come.
    l.link->run(nullptr, LinkSequence().mode(ReceiveMode::LiveData).threshold(2));
    l.port->feed("hi");
    EXPECT_EQ(events.last(), "A got hi");

    // The cable is pulled: the state says so, and the holder keeps its claim.
    l.port->disconnectNow();
    EXPECT_EQ(l.link->state(), EcuLink::State::Lost);
    EXPECT_FALSE(l.link->connected());
    EXPECT_TRUE(l.link->partNumber().isEmpty());
    // While the device is missing the retries fail quietly; once back, the link reconnects.
    l.port->failNextOpen(PortInvalid);
    waitUntil([] { return false; }, EcuLink::kRetryMs + 300);
    EXPECT_EQ(l.link->state(), EcuLink::State::Lost);
    EXPECT_TRUE(l.port->openedWith.size() == 1); // the first retry found no device
    ASSERT_TRUE(waitUntil([&] { return l.link->state() == EcuLink::State::Identifying; }, 6000));
    l.port->feed(idFrame("1U800"));
    EXPECT_EQ(l.link->state(), EcuLink::State::Connected);
    EXPECT_EQ(events.last(), "A resumed");

    // Released: the waiting tool gets the link next.
    first.reset();
    ASSERT_TRUE(waitUntil([&] { return events.last() == "B granted"; }, 1000));
    EXPECT_EQ(l.link->holderName(), "B");
}

TEST(EcuLink, OnlyTheRunningStreamsConfirmedFramesCountAndSilenceIsAState) {
    Link l;
    l.link->connectEcu();
    ASSERT_TRUE(l.settle());
    l.port->feed(idFrame("1U800"));
    ASSERT_TRUE(l.link->connected());
    QList<bool> silence;
    QObject::connect(l.link.get(), &EcuLink::silenceChanged, [&](bool s) { silence << s; });
    QList<QByteArray> frames;
    int rearms = 0;
    auto tool = std::make_unique<QObject>();
    EcuLink::Claim c;
    c.name = "T";
    c.receiver = [&](const QByteArray& f) { frames << f; };
    const auto arm = [&] {
        LinkSequence s;
        s.stopStream().mode(ReceiveMode::LiveData).arm(bytes({0x5A, 0x0C}), 50, 6).startStream();
        l.link->run(tool.get(), std::move(s));
    };
    c.granted = arm;
    c.rearm = [&] {
        ++rearms;
        arm();
    };
    l.link->acquire(tool.get(), c);
    ASSERT_TRUE(l.settle());

    // A frame counts once the next header confirms it; a stray byte inside one drops it.
    l.port->feed(
        bytes({0x0F, 0xFF, 1, 0x11, 0xFF, 1, 0x99, 0x12, 0xFF, 1, 0x13, 0xFF, 1, 0x14, 0xFF, 1}));
    EXPECT_EQ(frames, (QList<QByteArray>{bytes({0xFF, 1, 0x11}), bytes({0xFF, 1, 0x13}),
                                         bytes({0xFF, 1, 0x14})}));
    EXPECT_EQ(l.link->framesDropped(), 1u);

    // The stopped stream's tail, held back by the line, reaches nobody.
    frames.clear();
    l.link->run(tool.get(), LinkSequence().stopStream());
    l.port->feed(bytes({0xFF, 1, 0x14, 0xFF, 1, 0x14, 0xFF, 1}));
    ASSERT_TRUE(l.settle());
    EXPECT_TRUE(frames.isEmpty());

    // A stream that brings nothing for a second is silent; it is asked for again, and its
    // frames end the silence.
    arm();
    ASSERT_TRUE(l.settle());
    ASSERT_TRUE(waitUntil([&] { return l.link->silent(); }, EcuLink::kSilenceMs + 1000));
    EXPECT_TRUE(l.link->connected());
    ASSERT_TRUE(waitUntil([&] { return rearms > 0 && !l.link->busy(); }, EcuLink::kRearmMs + 2000));
    l.port->feed(bytes({0xFF, 1, 0x15, 0xFF, 1, 0x15}));
    EXPECT_FALSE(l.link->silent());
    EXPECT_EQ(frames, QList<QByteArray>{bytes({0xFF, 1, 0x15})});
    EXPECT_EQ(silence, (QList<bool>{true, false}));
}

namespace {
// An ECU that goes on streaming until it has heard `stopsHeard` stops (never, with 0).
struct StreamingEcu {
    Link& l;
    int stopsHeard;
    QTimer timer;
    StreamingEcu(Link& link, int heard) : l(link), stopsHeard(heard) {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (stopsHeard > 0 && stops() >= stopsHeard) return;
            l.port->feed(bytes({0xFF, 1, 0x11}));
        });
        timer.start(10);
    }
    int stops() const { return int(l.port->writes.count(bytes({0x30}))); }
};
} // namespace

TEST(EcuLink, AStreamThatOutlivesItsStopIsStoppedAgainOrTheStepFails) {
    struct Case {
        int stopsHeard; // the stop said this many times reaches the ECU; 0: none does
        bool started;   // the next stream's start went out
        int stops;      // stops written
    };
    for (const Case c : {Case{2, true, 2}, Case{3, true, 3}, Case{0, false, 3}}) {
        SCOPED_TRACE(c.stopsHeard);
        Link l;
        l.link->connectEcu();
        ASSERT_TRUE(l.settle());
        l.port->feed(idFrame("1U800"));
        l.port->writes.clear();
        StreamingEcu ecu(l, c.stopsHeard);
        std::optional<bool> ended;
        LinkSequence s;
        s.stopStream().frames(1).startStream().onEnd([&](bool ok) { ended = ok; });
        l.link->run(nullptr, std::move(s));
        ASSERT_TRUE(waitUntil([&] { return ended.has_value(); }, 4000));
        EXPECT_EQ(*ended, c.started);
        EXPECT_EQ(l.port->writes.contains(bytes({0xF0})), c.started);
        EXPECT_EQ(ecu.stops(), c.stops);
        if (!c.started) {
            EXPECT_EQ(l.link->lastFailure(), EcuLink::Failure::LineBusy);
        }
    }

    // A settle cut short by its owner's cancel does not shorten the next one.
    Link l;
    l.link->connectEcu();
    ASSERT_TRUE(l.settle());
    {
        // Before a close the stop is said again, but a stream that will not stop does not keep
        // the port from closing: the connect goes on.
        StreamingEcu deaf(l, 0);
        l.port->writes.clear();
        l.link->connectEcu();
        ASSERT_TRUE(l.settle(4000));
        EXPECT_EQ(l.link->state(), EcuLink::State::Identifying);
        EXPECT_EQ(l.port->writes.last(), bytes({0xF0}));
        EXPECT_EQ(deaf.stops(), 3);
    }
    auto tool = std::make_unique<QObject>();
    auto ecu = std::make_unique<StreamingEcu>(l, 0);
    l.link->run(tool.get(), LinkSequence().stopStream());
    waitUntil([] { return false; }, EcuLink::kSettleLimitMs + 400);
    l.link->cancel(tool.get());
    std::optional<bool> ended;
    l.link->run(tool.get(), LinkSequence().stopStream().onEnd([&](bool ok) { ended = ok; }));
    waitUntil([] { return false; }, 200);
    ecu.reset(); // the line falls quiet
    ASSERT_TRUE(waitUntil([&] { return ended.has_value(); }, 3000));
    EXPECT_TRUE(*ended);
}

TEST(EcuLink, AStopByTheHolderEndsItsSilenceAndAConnectGivesItsStreamBack) {
    Link l;
    l.link->connectEcu();
    ASSERT_TRUE(l.settle());
    l.port->feed(idFrame("1U800"));
    auto tool = std::make_unique<QObject>();
    int rearms = 0, resumed = 0;
    EcuLink::Claim c;
    c.name = "T";
    c.receiver = [](const QByteArray&) {};
    const auto arm = [&] {
        LinkSequence s;
        s.stopStream()
            .mode(ReceiveMode::AddressWatch)
            .arm(bytes({0xC9, 0x10, 0x00}), 20, 6)
            .startStream();
        l.link->run(tool.get(), std::move(s));
    };
    c.granted = arm;
    c.rearm = [&] {
        ++rearms;
        arm();
    };
    c.resumed = [&] { ++resumed; };
    l.link->acquire(tool.get(), c);
    ASSERT_TRUE(l.settle());
    ASSERT_TRUE(waitUntil([&] { return l.link->silent(); }, EcuLink::kSilenceMs + 1000));
    ASSERT_TRUE(waitUntil([&] { return rearms > 0 && !l.link->busy(); }, EcuLink::kRearmMs + 2000));

    // Stop: the silence ends, and nothing is written any more.
    l.link->run(tool.get(), LinkSequence().stopStream());
    ASSERT_TRUE(l.settle());
    EXPECT_FALSE(l.link->silent());
    l.port->writes.clear();
    waitUntil([] { return false; }, EcuLink::kRearmMs + 500);
    EXPECT_TRUE(l.port->writes.isEmpty()) << l.port->writes.size();
    EXPECT_EQ(rearms, 1);

    // Connect pressed while the tool holds the link: once the ECU answers, the tool is told to
    // take its stream back.
    l.link->connectEcu();
    ASSERT_TRUE(l.settle());
    l.port->feed(idFrame("1U800"));
    EXPECT_EQ(resumed, 1);
}

TEST(ReplyWatch, AsksAgainTwiceThenGivesUpAndStartsAfreshAfterAnAnswerOrAStop) {
    QObject parent;
    QString events;
    ReplyWatch watch(
        &parent, [&] { events += 'a'; }, [&] { events += 'g'; }, 20);
    const auto timeOut = [&] {
        watch.expect();
        return waitUntil([&] { return !watch.waiting(); }, 1000);
    };
    struct Case {
        const char* what;
        std::function<void()> between; // after the second ask
        const char* events;            // asks again and gives up, over four timeouts
    };
    const Case cases[] = {
        {"three tries, then the next request starts afresh", [] {}, "aaga"},
        {"an answer starts afresh", [&] { watch.answered(); }, "aaaa"},
        {"a stop (a lost link) starts afresh", [&] { watch.stop(); }, "aaaa"},
        {"a try that could not be made counts", [&] { watch.failed(); }, "aagaa"},
    };
    for (const Case& c : cases) {
        events.clear();
        watch.stop();
        for (int k = 0; k < 4; ++k) {
            ASSERT_TRUE(timeOut()) << c.what;
            if (k == 1) c.between();
        }
        EXPECT_EQ(events, c.events) << c.what;
    }

    // A request asked again at once (its stream broken) stays within its try's time.
    ReplyWatch slow(
        &parent, [] {}, [] {}, 1000);
    QElapsedTimer since;
    since.start();
    slow.expect();
    waitUntil([&] { return since.elapsed() >= 300; }, 1000);
    slow.expect();
    // About 700 ms left; a timer started afresh would have about 1000 (coarse timers vary 5 %).
    EXPECT_LT(slow.remainingMs(), 900);
}
