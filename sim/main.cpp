// kestrix-sim: a simulated ECU on a pseudo-terminal, for trying Kestrix without a car.
#include "ecu_sim.h"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::string error;
    const auto options =
        kxsim::parseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fputs(error.empty() ? "" : (error + "\n").c_str(), stderr);
        std::fputs(kxsim::usage().c_str(), error.empty() ? stdout : stderr);
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
    std::string shown;
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
        if (sigtimedwait(&stopSignals, nullptr, &tick) > 0) break;
    }
    sim.stop();
    return 0;
}
