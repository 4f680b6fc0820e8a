#include "link/debug_trace.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kx;

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
