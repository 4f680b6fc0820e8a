// A minute of kestrix-cli on a line with 1 % stray and 1 % lost bytes from the ECU. A stray and
// a lost byte inside one frame leave it the right length with wrong bytes, which the frame
// confirmation cannot see: the spike filter must keep them out of the log. Two runs at once:
// the engine still (every frame the same) and the engine running.
#include "ecu_sim.h"
#include "live/live_data.h"
#include "logs/log_format.h"
#include "logs/log_selection.h"
#include "support/test_support.h"
#include "util/settings_store.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>

using namespace kx;
using namespace kx::test;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

constexpr int kSeconds = 60;

struct Row {
    Clock::time_point at;     // a frame: when made; a record: the latest its frame can have come
    QList<QByteArray> fields; // after the time
};

QList<QByteArray> fieldsOf(const QByteArray& line) {
    QList<QByteArray> fields = line.trimmed().split(',');
    for (QByteArray& f : fields)
        f = f.trimmed();
    fields.removeFirst();
    return fields;
}

// One log column: its gauge's rate in its own units a second (0: none), or a switch state.
struct Column {
    double unitsPerSecond = 0;
    double unit = 0; // one raw count
    bool state = false;
};

class Drive {
public:
    Drive(bool running, const QTemporaryDir& dir, const char* name)
        : sim(options(running)), what(name), ini(dir.filePath(QString(name) + ".ini")),
          out(dir.filePath(QString(name) + ".log")) {}

    void start() {
        ASSERT_TRUE(sim.start());
        SettingsStore store(ini);
        store.writeStartupDefaults();
        store.save("Comms", "ComPort", QString::fromStdString(sim.devicePath()));
        QObject::connect(&cli, &QProcess::readyReadStandardError, [this] {
            err += cli.readAllStandardError();
            if (!zeroBy && err.contains("logging to")) zeroBy = Clock::now();
        });
        launched = Clock::now();
        cli.start(KX_CLI, {"log", "--settings", ini, "--out", out, "--duration",
                           QString::number(kSeconds)});
    }

    // Every data frame the ECU made, as log fields, and the log's columns.
    std::vector<Row> sent(std::vector<Column>& columns) const {
        SettingsStore store(ini);
        const Units units; // the stored defaults
        GaugeSetup setup;
        getSetup(store, units.fahr, units.mph, setup);
        const LogSelection selection = storedLogSelection(store, setup);
        for (int g = 0; g < kLogGaugeCount; ++g) {
            if (!selection.gauges[size_t(g)]) continue;
            const double unit =
                std::abs(convertGauge(g, 200, units) - convertGauge(g, 0, units)) / 200;
            columns.push_back({maxRawRate(g) * unit, unit, false});
        }
        for (const bool on : selection.indicators)
            if (on) columns.push_back({0, 0, true});
        LiveValues live;
        std::vector<Row> rows;
        for (const kxsim::MadeFrame& f : sim.dataFrames()) {
            const QByteArray bytes(reinterpret_cast<const char*>(f.bytes.data()),
                                   qsizetype(f.bytes.size()));
            getFullData(bytes, setup, units, live);
            const LogValues v{live.gaugeValue, live.switchState};
            rows.push_back({f.at, fieldsOf(logRecordLine(0, selection, v))});
        }
        return rows;
    }
    // The records, timed on this process's clock: the log's starts between the launch and
    // the program's "logging to".
    std::vector<Row> logged(std::vector<double>& seconds) const {
        std::vector<Row> rows;
        for (const QByteArray& line : fileBytes(out).split('\n').mid(1)) {
            if (line.trimmed().isEmpty()) continue;
            const double s = line.left(line.indexOf(',')).toDouble();
            seconds.push_back(s);
            rows.push_back({*zeroBy + milliseconds(qint64(s * 1000 + 0.5)), fieldsOf(line)});
        }
        return rows;
    }

    kxsim::EcuSimulator sim;
    const char* what;
    QString ini, out;
    QProcess cli;
    QByteArray err;
    Clock::time_point launched;
    std::optional<Clock::time_point> zeroBy;

private:
    static kxsim::SimOptions options(bool running) {
        kxsim::SimOptions o;
        o.seed = 11;
        o.garbageRate = o.dropRate = 0.01;
        o.keepDataFrames = true;
        // Engine time all but stands still: every frame the ECU makes is the same.
        if (!running) o.timeScale = 1e-9;
        return o;
    }
};

// "123 records, 4 spikes dropped, ..." from the closing line.
std::pair<int, int> figures(const QByteArray& err) {
    static const QRegularExpression re(QStringLiteral("(\\d+) records, (\\d+) spikes? dropped"));
    const auto m = re.match(QString::fromLocal8Bit(err));
    return m.hasMatch() ? std::pair{m.captured(1).toInt(), m.captured(2).toInt()}
                        : std::pair{-1, -1};
}

} // namespace

TEST(SpikeE2E, AMinuteOnANoisyLineLogsNothingBeyondWhatTheEcuSent) {
    QTemporaryDir dir;
    Drive still(false, dir, "still");
    Drive running(true, dir, "running");
    still.start();
    running.start();
    ASSERT_TRUE(waitUntil(
        [&] {
            return still.cli.state() == QProcess::NotRunning &&
                   running.cli.state() == QProcess::NotRunning;
        },
        (kSeconds + 60) * 1000));

    for (Drive* drive : {&still, &running}) {
        SCOPED_TRACE(drive->what);
        drive->err += drive->cli.readAllStandardError();
        EXPECT_EQ(drive->cli.exitCode(), 0) << drive->err.toStdString();
        ASSERT_TRUE(drive->zeroBy.has_value()) << drive->err.toStdString();
        const auto [records, spikes] = figures(drive->err);
        std::vector<Column> columns;
        const std::vector<Row> sent = drive->sent(columns);
        std::vector<double> seconds;
        const std::vector<Row> logged = drive->logged(seconds);
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(qsizetype(logged.size()), records);
        // A third of the frames fail the confirmation at these rates; the filter takes few more.
        EXPECT_GE(records, qsizetype(sent.size()) / 2);
        EXPECT_LT(spikes, records / 10);

        // What the ECU sent in the second before a record's frame came; with the engine still,
        // in the whole run, every frame being the same. A value may differ from all of them
        // only by what the engine could move in the time around its frame (the frames either
        // side of it vouch for it): a corrupted frame within that reach is not a spike to any
        // filter. Switch states have no limit.
        const milliseconds zeroSpread =
            std::chrono::duration_cast<milliseconds>(*drive->zeroBy - drive->launched);
        int unsentNumbers = 0, unsentStates = 0;
        size_t from = 0;
        for (size_t r = 0; r < logged.size(); ++r) {
            const Row& rec = logged[r];
            ASSERT_EQ(rec.fields.size(), qsizetype(columns.size()));
            if (drive == &running)
                while (from < sent.size() &&
                       sent[from].at < rec.at - milliseconds(1000) - zeroSpread)
                    ++from;
            const double around =
                seconds[std::min(r + 1, seconds.size() - 1)] - seconds[r > 0 ? r - 1 : 0] + 0.05;
            for (qsizetype c = 0; c < rec.fields.size(); ++c) {
                const Column& col = columns[size_t(c)];
                size_t end = from;
                bool same = false;
                for (; end < sent.size() && sent[end].at <= rec.at; ++end)
                    same = same || sent[end].fields[c] == rec.fields[c];
                if (same) continue;
                ++(col.state ? unsentStates : unsentNumbers);
                if (col.state || col.unitsPerSecond == 0) continue;
                double low = 1e300, high = -1e300;
                for (size_t i = from; i < end; ++i) {
                    low = std::min(low, sent[i].fields[c].toDouble());
                    high = std::max(high, sent[i].fields[c].toDouble());
                }
                const double x = rec.fields[c].toDouble();
                const double reach = col.unitsPerSecond * around + 2 * col.unit;
                EXPECT_TRUE(x >= low - reach && x <= high + reach)
                    << "at " << seconds[r] << " s, column " << c + 1 << ": " << x
                    << " where the ECU sent " << low << " to " << high;
            }
        }
        std::printf("[ figures  ] engine %s: %zu frames sent, %d records, %d spikes dropped; "
                    "values never sent: %d numbers, all within reach, and %d switch states\n",
                    drive->what, sent.size(), records, spikes, unsentNumbers, unsentStates);
    }
}
