#pragma once
// Kestrix against the simulated ECU: the simulator runs in-process on its own thread behind a
// real pseudo-terminal, and the main window opens it through QSerialPort.
#include "ecu_sim.h"
#include "support/main_window.h"

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
        return waitUntil([&] { return form().link().connected && partNumber() != "#####"; }, ms);
    }
};

} // namespace kx::test
