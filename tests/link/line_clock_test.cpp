// Frame times worked out from the line: a stream read through an adapter that hands bytes on in
// bursts still gives each frame the time its last byte was sent, up to a constant offset.
#include "link/framing.h"
#include "link/line_clock.h"

#include <QByteArray>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

using namespace kx;

TEST(LineClock, FramesReadInAdapterBurstsAreTimedWhenTheyEndedOnTheLine) {
    // A 9600-baud stream of 14-byte frames (count 12) from t = 0 ms, back to back or with the
    // ECU resting between them.
    constexpr double byteMs = 10000.0 / 9600.0;
    constexpr int kFrameBytes = 14;
    QByteArray frame(kFrameBytes, '\x11');
    frame[0] = char(0xFF);
    frame[1] = char(12);
    const int frames = 600;
    const QByteArray line = frame.repeated(frames);
    struct Case {
        int latencyMs;  // the adapter hands on what it holds this often (0: each byte at once)
        int restBytes;  // byte times the ECU rests after each frame
        int stallMs;    // once, 5 s in, the program reads nothing for this long
        int pauseMs;    // once, after frame 300, the ECU sends nothing for this long
    };
    for (const Case c : {Case{0, 0, 0, 0}, Case{16, 0, 0, 0}, Case{40, 0, 0, 0},
                         Case{16, 2, 0, 0}, Case{16, 0, 400, 0}, Case{40, 2, 700, 0},
                         Case{16, 0, 300, 0}, Case{16, 0, 0, 400}, Case{40, 2, 0, 300}}) {
        SCOPED_TRACE(testing::Message() << c.latencyMs << " ms, rest " << c.restBytes << ", stall "
                                        << c.stallMs << " ms, pause " << c.pauseMs << " ms");
        const double framePeriod = (kFrameBytes + c.restBytes) * byteMs;
        // When byte b ended on the line.
        const auto endOfByte = [&](qsizetype b) {
            const qsizetype f = b / kFrameBytes;
            return double(f) * framePeriod + double(b % kFrameBytes + 1) * byteMs +
                   (f >= 300 ? c.pauseMs : 0);
        };
        FrameConfirmer confirmer;
        confirmer.expect(12);
        confirmer.started();
        LineClock clock;
        clock.reset(9600);
        std::vector<double> got; // each confirmed frame's time, ms
        qsizetype sent = 0;
        // The program comes late by 0 to 15 ms, as a busy machine does, and once by stallMs.
        const double step = c.latencyMs > 0 ? double(c.latencyMs) : byteMs;
        for (int k = 1; sent < line.size(); ++k) {
            const double release = k * step;
            if (c.stallMs > 0 && release > 5000 && release < 5000 + c.stallMs) continue;
            qsizetype upTo = sent;
            while (upTo < line.size() && endOfByte(upTo) <= release)
                ++upTo;
            if (upTo <= sent) continue;
            const double readAt = release + double((uint32_t(k) * 2654435761u) >> 28);
            clock.arrived(upTo - sent, uint32_t(std::lround(readAt)) + 100000);
            const QList<QByteArray> taken = confirmer.take(line.mid(sent, upTo - sent));
            for (qsizetype i = 0; i < taken.size(); ++i)
                got.push_back(clock.endOf(confirmer.tails()[i]));
            sent = upTo;
        }
        ASSERT_GE(got.size(), size_t(frames - 2));
        // Frame i ended with its last byte; after the offset the clock settled on, every frame
        // past the first second (until then the pace is not known and chunks are timed as read)
        // is within 5 ms of it, those after a stalled read or a pause too, and times increase.
        const auto truth = [&](size_t i) { return endOfByte(qsizetype(i + 1) * kFrameBytes - 1); };
        std::vector<double> offsets;
        for (size_t i = 0; i < got.size(); ++i)
            if (truth(i) >= 1000) offsets.push_back(got[i] - truth(i));
        std::nth_element(offsets.begin(), offsets.begin() + offsets.size() / 2, offsets.end());
        const double offset = offsets[offsets.size() / 2];
        for (size_t i = 1; i < got.size(); ++i) {
            if (truth(i) < 1000) continue;
            ASSERT_GT(got[i], got[i - 1]);
            // The first frame after a pause has only its own read to go by.
            const double within = c.pauseMs > 0 && i == 300 ? c.latencyMs + 16.0 : 5.0;
            EXPECT_NEAR(got[i] - truth(i), offset, within) << i;
        }
    }
}
