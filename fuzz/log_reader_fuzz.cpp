// Feeds arbitrary bytes to the log reader and reads back every field the windows could ask for:
// the replay's updates of each record and the analyser's columns as numbers.
#include "logs/log_reader.h"
#include "logs/replay_logic.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kx;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)parseLogHeader(bytes);
    int calls = 0;
    // Cancel on the second progress report when the input asks for it, to cover that path.
    const bool cancel = size > 0 && data[0] == 'C';
    const LogReadResult r = LogReader::readBytes(bytes, [&](double f) {
        if (f < 0.0 || f > 1.0) __builtin_trap();
        return !(cancel && ++calls > 1);
    });
    const LogData& d = r.data;
    if (!r.ok() && (d.recordCount() != 0 || d.columnCount() != 0)) __builtin_trap();
    for (const auto& c : d.columns()) {
        if (c.kind == LogColumnKind::Gauge && (c.number < 0 || c.number > 24)) __builtin_trap();
        if (c.kind == LogColumnKind::Indicator && c.code != 25 + c.number) __builtin_trap();
    }
    if (d.columnCount() > kLogMaxColumns || d.gaugeColumns().size() > kLogMaxGaugeColumns)
        __builtin_trap();
    for (qsizetype rec = 0; rec < d.recordCount(); ++rec) {
        if (d.fieldCount(rec) > kLogMaxFields) __builtin_trap();
        (void)d.timeStamp(rec);
        for (int c = 0; c <= d.columnCount(); ++c) {
            (void)d.text(rec, c);
            (void)d.number(rec, c);
        }
        for (int code = 0; code < 37; ++code)
            (void)d.fieldByCode(rec, code);
        for (const ReplayUpdate& u : replayUpdates(d, rec + 1)) {
            if (u.kind == ReplayUpdate::Kind::Gauge && !std::isfinite(u.value)) __builtin_trap();
            if (u.state.size() > 103) __builtin_trap(); // a read-out gets a shortened text
        }
    }
    for (int code : {0, 3, 24, 25, 36, 100}) {
        const LogNumbers n = d.numbersByCode(code);
        if (n.complete() ? qsizetype(n.values.size()) != d.recordCount()
                         : qsizetype(n.values.size()) != n.badRecord)
            __builtin_trap();
        for (float v : n.values)
            if (!std::isfinite(v)) __builtin_trap();
    }
    return 0;
}
