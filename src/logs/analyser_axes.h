#pragma once
// The values the analyser writes beside its plots, apart from any widget: the time axis under
// the graphs, round-number value axes, the range of a series over the records in view, and
// the text a screen reader reads for a graph.
#include <QString>
#include <cstdint>
#include <span>
#include <vector>

namespace kx {

class LogData;

// Seconds of each record from the log's first record, never decreasing: a time stamp that does
// not read as a number, or that goes back, keeps the time of the record before it.
std::vector<double> analyserElapsedSeconds(const LogData& data);

// The fractional record index (from 0) at `seconds`, between the two records around it; the
// first or last record outside the log's times. `times` never decreases.
double analyserRecordAtTime(std::span<const double> times, double seconds);
// The time at a fractional record index, the inverse of the above.
double analyserTimeAtRecord(std::span<const double> times, double record);

// ---- time axis

struct TimeTick {
    double seconds = 0;
    QString label;
};
struct TimeTicks {
    double step = 0; // seconds between ticks; 0 when the span is empty
    std::vector<TimeTick> ticks;
};
// Round-number ticks for the seconds [from, to], at most `maxTicks` of them. Labels are
// seconds ("45 s", "1.5 s") while the span ends within the first minute, else minutes:seconds
// ("12:30") below an hour and hours:minutes:seconds ("1:05:00") beyond; a tenth of a second
// is written when the step is below a second.
TimeTicks analyserTimeTicks(double from, double to, int maxTicks);
// One time as the axis over a span ending at `spanEnd` writes it, with tenths or without.
QString analyserTimeText(double seconds, double spanEnd, bool tenths);

// Where a cursor at record `record` (from 1) stands: its time, then the record ("1:23.4, record
// 2901"); the record alone when the log has no times.
QString analyserCursorText(std::span<const double> times, int64_t record);

// ---- value axes

struct ValueAxis {
    double low = 0, high = 1; // whole steps around the data
    double step = 1;
    std::vector<double> ticks; // low, low + step, ... high
};
// A 1, 2 or 5 times a power of ten step giving at most `maxTicks` ticks over [low, high], and
// the range widened to whole steps. A single value gets room of a tenth of itself (at least one)
// on each side; a range wider than doubles hold gets the default axis, with no ticks.
ValueAxis analyserValueAxis(double low, double high, int maxTicks);
// A tick value with as many decimals as the step needs ("1500", "0.25", "-2").
QString analyserValueText(double value, double step);

// ---- series ranges

// Minimum and maximum of any run of a series, without walking every record of a long run:
// each block of kBlock records keeps its own.
class RangeIndex {
public:
    static constexpr int64_t kBlock = 256;
    struct Range {
        float low = 0, high = 0;
        bool empty = true;
    };
    RangeIndex() = default;
    explicit RangeIndex(std::span<const float> values);
    // Records [first, last] (from 0), clipped to the values there are.
    Range range(int64_t first, int64_t last) const;

private:
    Range scan(int64_t first, int64_t last) const;
    std::span<const float> values_;
    std::vector<float> low_, high_;
};

// What a screen reader hears of a graph: the records and times in view, then each series'
// range there ("RPM 780 to 6520"), or that nothing is plotted.
struct SeriesRange {
    QString name;
    RangeIndex::Range range;
};
QString analyserGraphDescription(int64_t firstRecord, int64_t lastRecord, double fromSeconds,
                                 double toSeconds, const std::vector<SeriesRange>& series);

} // namespace kx
