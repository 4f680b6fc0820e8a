// kestrix-sim: a simulated ECU on a pseudo-terminal, and a wideband controller on a second
// one, for trying Kestrix without a car.
#include "ecu_sim.h"
#include "wideband.h"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::string error;
    std::vector<std::string> ecuArgs;
    const auto wbOptions =
        kxsim::parseWbOptions(std::vector<std::string>(argv + 1, argv + argc), ecuArgs, error);
    auto options = wbOptions ? kxsim::parseOptions(ecuArgs, error) : std::nullopt;
    if (options) options->fuelMap = wbOptions->fuelMap;
    if (!options) {
        std::fputs(error.empty() ? "" : (error + "\n").c_str(), stderr);
        std::FILE* out = error.empty() ? stdout : stderr;
        std::fputs(kxsim::usage().c_str(), out);
        std::fputs(kxsim::wbUsage().c_str(), out);
        return error.empty() ? 0 : 2;
    }

    // Block the stop signals before the worker starts, so only this thread receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    kxsim::EcuSimulator sim(*options);
    if (!sim.start(&error)) {
        std::fprintf(stderr, "kestrix-sim: %s\n", error.c_str());
        return 1;
    }
    std::unique_ptr<kxsim::WidebandSimulator> wideband;
    if (!wbOptions->linkPath.empty()) {
        kxsim::WbOptions wb = *wbOptions;
        // The line faults are the car's, not one device's.
        wb.latencyMs = options->latencyMs;
        wb.garbageRate = options->garbageRate;
        wb.dropRate = options->dropRate;
        wideband = std::make_unique<kxsim::WidebandSimulator>(wb,
                                                              [&sim] { return sim.engineState(); });
        if (!wideband->start(&error)) {
            std::fprintf(stderr, "kestrix-sim: wideband: %s\n", error.c_str());
            sim.stop();
            return 1;
        }
    }
    std::string shown, shownWb;
    const timespec tick{0, 200 * 1000 * 1000};
    for (;;) {
        const std::string path = sim.devicePath();
        if (path != shown) {
            shown = path;
            std::printf("ECU on %s", path.c_str());
            if (!options->linkPath.empty())
                std::printf(" (linked at %s)", options->linkPath.c_str());
            std::printf("\n");
            std::fflush(stdout);
        }
        const std::string wbPath = wideband ? wideband->devicePath() : std::string();
        if (wbPath != shownWb) {
            shownWb = wbPath;
            std::printf("Wideband controller on %s (linked at %s)\n", wbPath.c_str(),
                        wbOptions->linkPath.c_str());
            std::fflush(stdout);
        }
        if (sigtimedwait(&stopSignals, nullptr, &tick) > 0) break;
    }
    if (wideband) wideband->stop();
    sim.stop();
    return 0;
}
