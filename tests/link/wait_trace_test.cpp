#include "link/debug_trace.h"
#include "link/wait.h"
#include "util/ticks.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kx;

TEST(Wait, WaitsAtLeastTheTimeAndKeepsEventsFlowing) {
    bool fired = false;
    QTimer::singleShot(10, [&] { fired = true; });
    QElapsedTimer t;
    t.start();
    waitMs(60);
    EXPECT_GE(t.elapsed(), 60);
    EXPECT_TRUE(fired);

    bool queued = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { queued = true; }, Qt::QueuedConnection);
    waitMs(0);
    EXPECT_TRUE(queued);
}

TEST(Wait, SurvivesTheTickCounterWrap) {
    // A clock that wraps 100 ms into the wait: a naive 32-bit comparison would return at
    // once or never.
    QElapsedTimer real;
    real.start();
    setTickSource([&] { return uint32_t(0xFFFFFF9Cu + uint32_t(real.elapsed())); });
    QElapsedTimer t;
    t.start();
    waitMs(250);
    const auto took = t.elapsed();
    setTickSource({});
    EXPECT_GE(took, 250);
    EXPECT_LT(took, 5000);
}

TEST(DebugTrace, RecordsAndTruncatesAnOlderLongerTrace) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Kestrixdebug.log");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100, 'Z'));
    }
    DebugTrace trace;
    ASSERT_TRUE(trace.open(path));
    trace.send(QByteArray("\x5A\x00", 2));
    trace.receive(QByteArray("\xFF\x01R", 3));
    trace.close();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("S\x5A\x00R\xFF\x01R", 7));
}
