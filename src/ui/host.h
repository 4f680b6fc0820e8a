#pragma once
// What a window is given when it is made: the ECU link, the live state, its settings, the
// dialogs, and the few requests it may make of the main window. No window sees the main
// window itself, so each can be built and tested on its own.
#include "link/link_sequence.h"

#include <functional>
#include <vector>

class QWidget;

namespace kx {

class Dialogs;
class EcuLink;
class Settings;
struct LiveState; // live/live_state.h

// Requests a window may make of the main window.
class Launcher {
public:
    virtual ~Launcher() = default;
    // A tool window closes: its hold on the link ends and, where the tool asks for it, the
    // link goes back to identification (once, however many tools close together).
    virtual void toolClosed(QWidget* tool) = 0;
    // Settings were saved: units, correction and model again, the status bar, the catalogue.
    virtual void setStatusBar() = 0;
    // The gauge selection changed: the catalogue and selections again.
    virtual void getSetup() = 0;
    // The data display's "Data Logging" and "Active Test".
    virtual void openDataLogging() = 0;
    virtual void openActiveTest() = 0;
    // The register test of the data-display settings (`found` takes the gauges an update
    // offers), and the ECU finder of the communication settings: single instances.
    virtual QWidget* openRegTest(std::function<void(const std::vector<int>&)> found) = 0;
    virtual QWidget* openEcuFinder() = 0;
    // The program is ending: windows close without asking and without reconnecting.
    virtual bool isUnloading() const = 0;
    // The live-data request for the selected gauges as link steps (the arming only); the
    // frames after it are judged afresh, as after any arming of the stream.
    virtual LinkSequence iniFullData() = 0;
    // Advances the ECU activity bar.
    virtual void setProgBar() = 0;
    // The main window's "AFR Display" button is enabled: a wideband controller is in use and
    // wbValues element 0 is live.
    virtual bool afrDisplayEnabled() const = 0;
};

struct Host {
    QWidget* window; // the parent of every tool window
    EcuLink& link;
    LiveState& state;
    Settings& settings;
    Dialogs& dialogs;
    Launcher& launcher;
};

} // namespace kx
