// The dyno on a log of 1 M records (about 11.5 hours at 24 records a second): a drive of
// repeated pulls in third gear between cruises, RPM in 12.5 and km/h in 2 km/h steps.
#include "dyno/dyno.h"
#include "engine_model.h"
#include "logs/log_reader.h"

#include <benchmark/benchmark.h>
#include <cmath>

using namespace kx;

namespace {
constexpr int kRecords = 1000000;

// Twelve columns as the data logger writes them by default; RPM, Speed and Throttle among them.
const QByteArray& logBytes() {
    static const QByteArray bytes = [] {
        QByteArray b = "Time, RPM, Air Flow, Water Temp C, O2 Sensor, Speed kph, Battery, "
                       "Throttle, Injector, Timing, AAC, A/F Base, Duty Cycle\r\n";
        b.reserve(qsizetype(kRecords) * 64);
        for (int i = 0; i < kRecords; ++i) {
            const int ms = i * 41 + (i % 3) * 3;
            const double t = std::fmod(ms / 1000.0, 30.0) - 5; // a pull every 30 s
            const double rpm = 12.5 * std::round(kxsim::EngineModel::pullRpm(t) / 12.5);
            const double kmh = 2 * std::round(rpm * kxsim::EngineModel::kPullKmhPerRpm / 2);
            const double tp = 0.45 + 3.85 * kxsim::EngineModel::pullThrottle(t);
            b += QByteArray::number(ms / 1000) + '.' +
                 QByteArray::number(ms % 1000).rightJustified(3, '0') + ", " +
                 QByteArray::number(rpm) + ", 2.31, 85, 45, " + QByteArray::number(kmh) +
                 ", 14.1, " + QByteArray::number(tp, 'f', 2) + ", 3.54, 15, 62, 100, 5.9\r\n";
        }
        return b;
    }();
    return bytes;
}

void computeAll(std::span<const DynoSample> s, benchmark::State& state) {
    const PullSearch found = findPulls(s);
    size_t points = 0;
    for (const DynoPull& p : found.pulls)
        points += dynoCurve(s, p, VehicleInputs{}).points.size();
    state.counters["pulls"] = double(found.pulls.size());
    state.counters["points"] = double(points);
}
} // namespace

// The pulls found and computed from the samples.
static void BM_FindAndCompute(benchmark::State& state) {
    const LogReadResult read = LogReader::readBytes(logBytes());
    const DynoLog log = dynoSamples(read.data);
    for (auto _ : state)
        computeAll(log.samples, state);
}
BENCHMARK(BM_FindAndCompute)->Unit(benchmark::kMillisecond);

// The whole way from the log's bytes in memory: read, columns to samples, pulls, curves.
static void BM_FromLogBytes(benchmark::State& state) {
    for (auto _ : state) {
        const LogReadResult read = LogReader::readBytes(logBytes());
        const DynoLog log = dynoSamples(read.data);
        computeAll(log.samples, state);
    }
}
BENCHMARK(BM_FromLogBytes)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
