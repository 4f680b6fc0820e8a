// The dyno's accuracy against the simulator's known torque curve over 30 seeds, at the data
// logger's rate and at Record a Pull's; then its speed on a log of 1 M records (about 11.5 hours
// at 24 records a second): a drive of repeated pulls in third gear between cruises, RPM in 12.5
// and km/h in 2 km/h steps. "--accuracy" prints the table alone; "--small" takes 3 seeds and a log
// of 20,000 records, for a quick check that every figure has runs.
#include "bench_support.h"
#include "dyno/dyno.h"
#include "engine_model.h"
#include "logs/log_reader.h"
#include "support/sim_pull.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <cstring>

using namespace kx;

namespace {
int records = 1000000;
unsigned seeds = 30;

// Twelve columns as the data logger writes them by default; RPM, Speed and Throttle among them.
const QByteArray& logBytes() {
    static const QByteArray bytes = [] {
        QByteArray b = "Time, RPM, Air Flow, Water Temp C, O2 Sensor, Speed kph, Battery, "
                       "Throttle, Injector, Timing, AAC, A/F Base, Duty Cycle\r\n";
        b.reserve(qsizetype(records) * 64);
        for (int i = 0; i < records; ++i) {
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

namespace {
// Per rate: the worst and typical step error, the peaks' errors and their RPM, and the mean
// bias of the peak power, over seeds 1 to 30.
void accuracyTable() {
    std::printf("%-24s %8s %8s %8s %8s %8s %10s %8s %8s %10s\n", "rate", "step RMS", "step max",
                "power pk", "pk max", "pk bias", "pk RPM", "torque pk", "tq max", "tq RPM");
    struct Rate {
        const char* name;
        int gapMin, gapMax, readMs;
    };
    for (const Rate& r :
         {Rate{"logger, 33-50 ms", 33, 50, 0}, Rate{"Record a Pull, 5-9 ms", 5, 9, 0},
          Rate{"older log, 100 ms reads", 33, 50, 100}}) {
        double rmsSq = 0, stepMax = 0, powerAbs = 0, powerMax = 0, bias = 0, powerRpm = 0,
               torqueAbs = 0, torqueMax = 0, torqueRpm = 0, powerSteps = 0, torqueSteps = 0;
        int pulls = 0, steps = 0, missed = 0;
        for (unsigned seed = 1; seed <= seeds; ++seed) {
            // Through a log file's text and its reader, as a user's log comes.
            const LogReadResult read = LogReader::readBytes(
                test::simPullLogBytes(test::simPullLog(r.gapMin, r.gapMax, seed, r.readMs)));
            const std::vector<DynoSample> s = dynoSamples(read.data).samples;
            const PullSearch found = findPulls(s);
            if (found.pulls.size() != 1) {
                ++missed;
                continue;
            }
            const test::PullAccuracy a =
                test::pullAccuracy(dynoCurve(s, found.pulls[0], test::simPullInputs()));
            ++pulls;
            steps += a.steps;
            rmsSq += a.stepRms * a.stepRms * a.steps;
            stepMax = std::max(stepMax, a.stepMax);
            powerAbs += std::abs(a.peakPower);
            powerMax = std::max(powerMax, std::abs(a.peakPower));
            bias += a.peakPower;
            powerRpm = std::max(powerRpm, std::abs(a.peakPowerRpm));
            powerSteps = std::max(powerSteps, std::abs(a.peakPowerSteps));
            torqueSteps = std::max(torqueSteps, std::abs(a.peakTorqueSteps));
            torqueAbs += std::abs(a.peakTorque);
            torqueMax = std::max(torqueMax, std::abs(a.peakTorque));
            torqueRpm = std::max(torqueRpm, std::abs(a.peakTorqueRpm));
        }
        if (!measured(r.name, size_t(pulls))) continue;
        std::printf("%-24s %7.2f%% %7.2f%% %7.2f%% %7.2f%% %+7.2f%% %4.0f (%.0f) %7.2f%% %7.2f%% "
                    "%4.0f (%.0f)\n",
                    r.name, 100 * std::sqrt(rmsSq / steps), 100 * stepMax, 100 * powerAbs / pulls,
                    100 * powerMax, 100 * bias / pulls, powerRpm, powerSteps,
                    100 * torqueAbs / pulls, 100 * torqueMax, torqueRpm, torqueSteps);
        if (missed)
            std::printf("%-24s %d of %u seeds without exactly one pull\n", "", missed, seeds);
    }
    std::printf("power pk, torque pk: mean absolute error of the peak; pk max, tq max: the worst;\n"
                "pk bias: mean signed error of the peak power; pk RPM, tq RPM: the farthest peak\n"
                "RPM from the true one, and (in steps) from the step where the truth is highest\n");
}
} // namespace

int main(int argc, char** argv) {
    const bool small = argc > 1 && std::strcmp(argv[1], "--small") == 0;
    if (small) {
        records = 20000;
        seeds = 3;
        argv[1] = argv[0];
        --argc;
        ++argv;
    }
    accuracyTable();
    if (argc > 1 && std::strcmp(argv[1], "--accuracy") == 0) return benchStatus();
    {
        const DynoLog log = dynoSamples(LogReader::readBytes(logBytes()).data);
        measured("pulls in the long log", findPulls(log.samples).pulls.size());
    }
    if (benchStatus() != 0) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return benchStatus();
}
