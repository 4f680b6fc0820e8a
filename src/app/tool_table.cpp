#include "app/tool_table.h"

#include "dash/frmDashSetup.h"
#include "dash/frmDashboard.h"
#include "dyno/frmDyno.h"
#include "live/Form1.h"
#include "logs/frmDataLog.h"
#include "logs/frmDataReplay.h"
#include "logs/frmLogAnalyzer.h"
#include "settings/Form3.h"
#include "settings/frmColor.h"
#include "settings/frmPreferences.h"
#include "settings/frmSettings.h"
#include "tools/frmActiveTest.h"
#include "tools/frmAdrWatch.h"
#include "tools/frmECUfind.h"
#include "tools/frmMapTrace.h"
#include "tools/frmRomData.h"
#include "tools/frmSelfDiag.h"
#include "trial/frmTimeTrial.h"
#include "util/text.h"
#include "wideband/frmWBO2.h"

namespace kx {

namespace {
template <class W> QWidget* make(const Host& host) {
    return new W(host);
}

// The display and the logger share the live-data stream.
LiveSession::Listener dataDisplay(QWidget* w) {
    auto* display = static_cast<Form1*>(w);
    return {S("Data Display"),
            {},
            [display] { display->setDataDisplay(); },
            [display](const QString& holder) { display->showWaiting(holder); }};
}

LiveSession::Listener dataLogging(QWidget* w) {
    auto* logger = static_cast<frmDataLog*>(w);
    return {S("Data Logging"),
            [logger](uint32_t at, const FrameReadings&) { logger->saveLogData(at); },
            {},
            [logger](const QString& holder) { logger->showWaiting(holder); }};
}

// The set-up window opens over the trace window, which starts once it closes.
void mapTraceSetup(QWidget* w) {
    static_cast<frmMapTrace*>(w)->showSetup();
}

using Row = ToolRow;
const Row kTools[] = {
    {"Form1", Row::Basic, "Data Display     F1", "btnDataDisplay", "mnuFDataDisplay",
     "Data Display", Qt::Key_F1, true, make<Form1>, true, dataDisplay},
    {"frmDataLog", Row::Basic, "Data Logging    F2", "btnDataLogging", "mnuFDataLogging",
     "Data Logging", Qt::Key_F2, true, make<frmDataLog>, true, dataLogging},
    {"frmSelfDiag", Row::Basic, "Self Diagnostics F3", "btnSelfDiag", "mnuFSelfDiag",
     "Self Diagnostics", Qt::Key_F3, true, make<frmSelfDiag>},
    {"frmTimeTrial", Row::Basic, "Time Trial F4", "btnTimeTrial", "mnuFTimeTrial", "Time Trial",
     Qt::Key_F4, true, make<frmTimeTrial>},
    {"frmDashboard", Row::Basic, "Dashboard F5", "btnDashboard", "mnuFDashboard", "Dashboard",
     Qt::Key_F5, true, make<frmDashboard>},
    {"frmDataReplay", Row::Basic, "Data Replay F6", "btnDataReplay", "mnuFReplayData",
     "Data Replay", Qt::Key_F6, false, make<frmDataReplay>},
    {"frmLogAnalyzer", Row::Basic, "Log Analyser F7", "btnLogAnalyser", "mnuFLogAnalyzer",
     "Log Analyser", Qt::Key_F7, false, make<frmLogAnalyzer>},
    {"frmActiveTest", Row::Advance, "Active Test F8", "btnActiveTest", "mnuFActiveTest",
     "Active Test", Qt::Key_F8, true, make<frmActiveTest>},
    {"frmRomData", Row::Advance, "Rom Data F9", "btnRomData", "mnuFRomData", "Rom Data", Qt::Key_F9,
     true, make<frmRomData>},
    // Logs need no ECU; Record a Pull asks for the link itself.
    {"frmDyno", Row::Advance, "Dyno F10", "btnDyno", "mnuFDyno", "Dyno", Qt::Key_F10, false,
     make<frmDyno>},
    {"frmAdrWatch", Row::Advance, "Address Watch F11", "btnAdrWatch", "mnuFAddressWatch",
     "Address Watch", Qt::Key_F11, true, make<frmAdrWatch>},
    // A saved map and logs need no ECU; the map layout is not the OBD-II models'.
    {"frmMapTrace", Row::Advance, "Map Trace F12", "btnMapTrace", "mnuFMapTrace", "Map Trace",
     Qt::Key_F12, false, make<frmMapTrace>, false, nullptr, mapTraceSetup},
    {"Form3", Row::Settings, "&Communication", nullptr, "mnuCommunication", nullptr,
     Qt::CTRL | Qt::Key_F1, false, make<Form3>},
    {"frmColor", Row::Settings, "&Display", nullptr, "mnuDisplay", nullptr, Qt::CTRL | Qt::Key_F2,
     false, make<frmColor>},
    {"frmPreferences", Row::Settings, "&Preferences", nullptr, "mnuPreferences", nullptr,
     Qt::CTRL | Qt::Key_F3, false, make<frmPreferences>},
    {"frmSettings", Row::Settings, "Da&ta Display", nullptr, "mnuDataDisplay", nullptr,
     Qt::CTRL | Qt::Key_F4, false, make<frmSettings>},
    {"frmDashSetup", Row::Settings, "Dash&board", nullptr, "mnuDashboardSetup", nullptr,
     Qt::CTRL | Qt::Key_F5, false, make<frmDashSetup>},
    {"frmWBO2", Row::Elsewhere, nullptr, nullptr, nullptr, nullptr, {}, false, make<frmWBO2>},
    {"frmECUfind", Row::Elsewhere, nullptr, nullptr, nullptr, nullptr, {}, false, make<frmECUfind>},
};

// What each tool is for, in a line, for the buttons' What's This? help.
const std::pair<const char*, const char*> kHelp[] = {
    {"Form1", "Twelve dials of live data and the switches. Grey needles and \"--\": no data "
              "from the ECU. Click a dial's peak to reset it."},
    {"frmDataLog", "Records the live data into a log file. Nothing is written while no data "
                   "comes; the same file goes on when it does."},
    {"frmSelfDiag", "The fault codes the ECU has stored; Reset ECU clears them."},
    {"frmTimeTrial", "Times 0-60, 0-100, 50-100 and runs of your own."},
    {"frmDashboard", "Two big dials with alert lamps, for a glance while driving."},
    {"frmDataReplay", "Plays a log back on the dials."},
    {"frmLogAnalyzer", "A log's columns on two graphs, or one against another in a scatter."},
    {"frmActiveTest", "Drives the ECU's outputs by hand: timing, idle, pump, cylinders off."},
    {"frmRomData", "Saves the ECU's memory between two addresses to a file."},
    {"frmAdrWatch", "Watches three memory addresses live, with their highest and lowest."},
    {"frmDyno", "Power and torque against RPM from full-throttle pulls in one gear, from logs "
                "or a pull recorded here."},
    {"frmMapTrace", "The fuel map as a grid, where the engine runs in it, and the wideband "
                    "ratio measured in each cell. Works on saved maps and logs without an ECU."},
};
} // namespace

QString toolHelp(const char* name) {
    for (const auto& [tool, text] : kHelp)
        if (qstrcmp(tool, name) == 0)
            return QString::fromUtf8(text) + QStringLiteral(" Help > User Guide says more.");
    return {};
}

std::span<const ToolRow> toolTable() {
    return kTools;
}

const ToolRow* toolRow(const QString& name) {
    for (const Row& r : kTools)
        if (name == QLatin1String(r.name)) return &r;
    return nullptr;
}

} // namespace kx
