// How long the live-data stream takes to run again after its request lost a byte on the way to
// the ECU: the ECU then streams the registers that did arrive (another count byte), the
// previous stream, or nothing. Each run re-arms the stream with one byte of the request lost,
// and times the arming until the first frame of the stream asked for.
// Run: build/bench/lost_request_bench [runs]
#include "ecu_sim.h"
#include "link/EcuLink.h"
#include "link/SerialPort.h"
#include "live/live_data.h"
#include "live/live_session.h"
#include "util/settings_store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

using namespace kx;

namespace {

bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;

    kxsim::SimOptions o;
    o.seed = 41;
    kxsim::EcuSimulator sim(o);
    std::string error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 1;
    }
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("Kestrix.ini"));
    store.writeStartupDefaults();
    store.save("Comms", "ComPort", QString::fromStdString(sim.devicePath()));

    EcuLink link(new QtSerialPort, store);
    link.connectEcu();
    if (!waitFor([&] { return link.connected(); }, 10000)) {
        std::fprintf(stderr, "no part number from the simulator\n");
        return 1;
    }
    LiveState state;
    getSetup(store, false, false, state.setup);
    const int requestBytes = int(fullDataRequest(state.setup).size());
    LiveSession session(link, state, store);
    QObject owner;
    int frames = 0;
    session.join(
        &owner,
        {QStringLiteral("bench"), [&](uint32_t, const FrameReadings&) { ++frames; }, {}, {}});
    if (!waitFor([&] { return frames >= 20; }, 10000)) {
        std::fprintf(stderr, "no live data\n");
        return 1;
    }

    std::mt19937 rng(41);
    std::vector<double> clean, lost;
    int cleanAsked = 0;
    for (int run = 0; run < 2 * runs; ++run) {
        const bool lose = run % 2 == 1;
        // The stop goes first, then the request's bytes.
        if (lose) sim.loseCommandByte(1 + int(rng() % uint32_t(requestBytes)));
        const int before = frames;
        const int asksBefore = session.quickAsks();
        QElapsedTimer t;
        t.start();
        session.arm(&owner);
        if (!waitFor([&] { return frames > before; }, 20000)) {
            std::fprintf(stderr, "run %d: no stream within 20 s\n", run);
            return 1;
        }
        (lose ? lost : clean).push_back(double(t.elapsed()));
        if (t.elapsed() > 1500)
            std::printf("run %d (%s): %lld ms, asked again %d times\n", run,
                        lose ? "byte lost" : "intact", (long long)t.elapsed(),
                        session.quickAsks() - asksBefore);
        if (!lose && session.quickAsks() != asksBefore) ++cleanAsked;
        waitFor([&] { return frames >= before + 10; }, 5000);
    }
    const auto report = [](const char* what, std::vector<double> ms) {
        std::sort(ms.begin(), ms.end());
        std::printf("%-28s runs %zu, median %.0f ms, 9 in 10 within %.0f ms, worst %.0f ms\n",
                    what, ms.size(), ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back());
    };
    report("re-arm, request intact:", clean);
    report("re-arm, one byte lost:", lost);
    std::printf("streams asked for again for want of a first frame: %d (%d in runs with the "
                "request intact)\n",
                session.quickAsks(), cleanAsked);
    link.shutdown();
    sim.stop();
    return 0;
}
