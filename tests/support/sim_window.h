#pragma once
// Kestrix against the simulated ECU: the simulator runs in-process on its own thread behind a
// real pseudo-terminal, and the main window opens it through QSerialPort.
#include "ecu_sim.h"
#include "support/main_window.h"
#include "wideband.h"

#include <QString>
#include <stdexcept>

namespace kx::test {

inline kxsim::SimOptions quietSim() {
    kxsim::SimOptions o;
    o.seed = 7;
    return o;
}

struct SimMainWindow {
    kxsim::EcuSimulator sim;
    std::unique_ptr<MainWindow> w;

    explicit SimMainWindow(kxsim::SimOptions options = quietSim(),
                           const std::function<void(SettingsStore&)>& before = {})
        : sim(std::move(options)) {
        std::string error;
        if (!sim.start(&error)) throw std::runtime_error("simulator: " + error);
        const QString device = QString::fromStdString(sim.devicePath());
        w = std::make_unique<MainWindow>(
            [&](SettingsStore& s) {
                s.save("Comms", "ComPort", device);
                if (before) before(s);
            },
            new QtSerialPort);
    }
    ~SimMainWindow() {
        w.reset();
        sim.stop();
    }
    Form2& form() { return *w->form; }
    bool settle(int ms = 5000) { return w->settle(ms); }
    QString partNumber() { return w->find<QLabel>("lblEcuNo")->text(); }
    // Connects and waits for the part number; true when it arrived.
    bool connectEcu(int ms = 5000) {
        form().btnConnect_Click();
        return waitUntil([&] { return form().link().connected() && partNumber() != "#####"; }, ms);
    }
};

// The simulated ECU and a wideband controller that reads its engine (warm from the start), each
// behind a pseudo-terminal, and the main window set to both.
struct SimWidebandWindow {
    kxsim::EcuSimulator ecu;
    kxsim::WidebandSimulator controller;
    std::unique_ptr<MainWindow> w;

    // `fuelErrorPct`: as kestrix-sim --fuel-error, when not negative; the ECU's fuel map, when
    // `ecuOptions` has one, is the engine's (--fuel-map).
    explicit SimWidebandWindow(int framesPerSecond = 0,
                               const std::function<void(SettingsStore&)>& before = {},
                               double fuelErrorPct = -1, kxsim::SimOptions ecuOptions = quietSim())
        : ecu(ecuOptions),
          controller(widebandOptions(framesPerSecond, fuelErrorPct, ecuOptions.fuelMap),
                     [this] { return ecu.engineState(); }) {
        std::string error;
        if (!ecu.start(&error) || !controller.start(&error))
            throw std::runtime_error("simulator: " + error);
        w = std::make_unique<MainWindow>(
            [&](SettingsStore& s) {
                s.save("Comms", "ComPort", QString::fromStdString(ecu.devicePath()));
                s.save("WBO2", "ComPort", QString::fromStdString(controller.devicePath()));
                if (before) before(s);
            },
            new QtSerialPort, new QtSerialPort);
    }

private:
    static kxsim::WbOptions widebandOptions(int framesPerSecond, double fuelErrorPct,
                                            std::optional<std::array<uint8_t, 256>> fuelMap) {
        kxsim::WbOptions o;
        o.warmupSeconds = 0;
        o.fuelErrorPct = fuelErrorPct;
        o.fuelMap = fuelMap;
        if (framesPerSecond > 0) o.framesPerSecond = framesPerSecond;
        return o;
    }
};

} // namespace kx::test
