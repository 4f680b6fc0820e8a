// Frame times worked out from the line: a stream read through an adapter that hands bytes on in
// bursts still gives each frame the time its last byte was sent, up to a constant offset.
#include "link/framing.h"
#include "link/line_clock.h"

#include <QByteArray>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

using namespace kx;

TEST(LineClock, FramesReadInAdapterBurstsAreTimedWhenTheyEndedOnTheLine) {
    // A 9600-baud stream of 14-byte frames (count 12), sent back to back from t = 0 ms.
    constexpr double byteMs = 10000.0 / 9600.0;
    QByteArray frame(14, '\x11');
    frame[0] = char(0xFF);
    frame[1] = char(12);
    const int frames = 600; // about 9 s
    const QByteArray line = frame.repeated(frames);
    for (const int latencyMs : {0, 16, 40}) {
        SCOPED_TRACE(latencyMs);
        FrameConfirmer confirmer;
        confirmer.expect(12);
        confirmer.started();
        LineClock clock;
        clock.reset(9600);
        std::vector<double> got; // each confirmed frame's time, ms
        qsizetype sent = 0;
        // The adapter hands on what it holds every latencyMs (each byte at once without one),
        // read by a program that comes late by 0 to 15 ms, as a busy machine does.
        for (int k = 1; sent < line.size(); ++k) {
            const double release = latencyMs > 0 ? k * double(latencyMs) : k * byteMs;
            const auto upTo = std::min<qsizetype>(line.size(), qsizetype(release / byteMs));
            if (upTo <= sent) continue;
            const double readAt = release + (k * 7919 % 16);
            clock.arrived(upTo - sent, uint32_t(std::lround(readAt)) + 100000);
            const QList<QByteArray> taken = confirmer.take(line.mid(sent, upTo - sent));
            for (qsizetype i = 0; i < taken.size(); ++i)
                got.push_back(clock.endOf(confirmer.tails()[i]));
            sent = upTo;
        }
        ASSERT_GE(got.size(), size_t(frames - 2));
        // Frame i ended at (i + 1) * 14 bytes; after the offset the clock settled on, every
        // frame past the first second is within 5 ms of it, and times only increase.
        double offset = 1e9;
        for (size_t i = 0; i < got.size(); ++i)
            if (i * 14 * byteMs >= 1000) offset = std::min(offset, got[i] - double(i + 1) * 14 * byteMs);
        // (Until the pace is known, in the first half second, chunks are timed as read.)
        for (size_t i = 1; i < got.size(); ++i) {
            if (i * 14 * byteMs < 1000) continue;
            ASSERT_GT(got[i], got[i - 1]);
            EXPECT_NEAR(got[i] - double(i + 1) * 14 * byteMs, offset, 5.0) << i;
        }
    }
}
