#pragma once
// The main window: owns both serial ports, the receive modes, the unit flags and the shared
// live-data state; opens every tool and hands each received delivery to the tool that the
// receive mode selects.
#include "link/debug_trace.h"
#include "live/gauge_setup.h"
#include "live/live_data.h"
#include "tools/self_diag.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QGroupBox;

namespace kx {

class Dialogs;
class SerialPort;
class SettingsStore;
class Form1;
class frmDataLog;
class Form3;
class frmPreferences;
class frmLogAnalyzer;
class frmDataReplay;
class frmSelfDiag;
class frmActiveTest;
class frmSettings;
class frmColor;
class frmRegTest;

class Form2 : public QMainWindow {
    Q_OBJECT
public:
    // Takes ownership of both ports.
    Form2(SettingsStore& settings, Dialogs& dialogs, SerialPort* ecuPort, SerialPort* wbPort,
          QWidget* parent = nullptr);
    ~Form2() override;

    // Shared state, read and written by the tool windows.
    int16_t ReadMode = 0;
    int16_t ReadMode2 = 0;
    bool connected = false;
    bool fahr = false;
    bool mph = false;
    bool OBDIImodel = false;
    float SpeedCorrect = 1.0f;
    // gaugeCatalogue, displaySelection, dashSelection and the byte counts.
    GaugeSetup setup;
    // gaugeValue, switchState and wbValues.
    LiveValues live;
    // The open register test (receive mode 8), if any.
    QPointer<frmRegTest> regTest;
    Units units() const { return Units{fahr, mph, SpeedCorrect}; }
    // The stored fault pairs of the last self-diagnostic frame.
    FaultBuffer faults{};

    SettingsStore& settings() { return settings_; }
    Dialogs& dialogs() { return dialogs_; }
    SerialPort& MSComm1() { return *ecuPort_; }
    SerialPort& MSComm2() { return *wbPort_; }
    DebugTrace& debugTrace() { return debugFile_; }

    // Start-up: defaults, the Debug reset, then setStatusBar().
    void load();
    void btnConnect_Click();
    void setStatusBar();
    void openPort();
    void closePort();
    void openPort2();
    void closePort2();
    void WAITmS(uint32_t ms);
    void startData();
    void stopData();
    void setProgBar();
    void setProgBar2();
    // Rebuilds the gauge catalogue and reloads both selections.
    void getSetup();
    // Arms the live-data stream for the selected gauges; the caller then calls startData().
    void iniFullData();
    void getFullData(const QByteArray& bytes);
    // Self-diagnostics: arms the fault-code stream; copies a delivery into `faults`.
    void iniSelfDiag();
    void getSelfDiagData(const QByteArray& bytes);

    // Receive dispatchers of the ECU and wideband ports.
    void MSComm1_OnComm();
    void MSComm2_OnComm();
    // Receive mode 1: the identification reply.
    void getEcuPartNo(const QByteArray& bytes);

    bool isUnloading() const { return unloading_; }

    // The tool buttons that a successful connect enables (Replay and Analyser excluded).
    QList<QPushButton*> ecuToolButtons() const;

    // Tool launches (button, menu entry or function key).
    Form1* btnDataDisplay_Click();
    Form1* dataDisplay() const;
    frmDataLog* btnDataLogging_Click();
    // The data display's "Data Logging": log alongside the display, stream untouched.
    frmDataLog* dataLoggingFromDisplay();

    // Settings windows (single instance each; shown again if already open).
    Form3* mnuCommunication_Click();
    frmPreferences* mnuPreferences_Click();
    // "Log Analyser F7": the analyser window, single instance.
    frmLogAnalyzer* btnLogAnalyser_Click();
    // "Data Replay F6": the replay window, single instance; stream and receive mode untouched.
    frmDataReplay* btnDataReplay_Click();
    // Tool windows (single instance each). The data display opens active tests too.
    frmSelfDiag* btnSelfDiag_Click();
    frmActiveTest* btnActiveTest_Click();
    frmColor* mnuDisplay_Click();
    frmSettings* mnuDataDisplay_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildUi();
    QWidget* buildEcuFrame();
    QWidget* buildWidebandFrame();
    void buildMenus();
    void buildStatusBar();
    QPushButton* toolButton(const QString& caption, const QString& name);
    void showPortError(int error, const QString& device, const QString& detail);
    void showAbout();

    SettingsStore& settings_;
    Dialogs& dialogs_;
    SerialPort* ecuPort_;
    SerialPort* wbPort_;
    DebugTrace debugFile_;
    int16_t activityCount_ = 0;
    int16_t activityCount2_ = 0;
    bool connecting_ = false;
    bool unloading_ = false; // closing tools must not reconnect while the program ends

    // Controls, by their program names.
    QTabWidget* tabs_ = nullptr;
    QPushButton* btnDataDisplay_ = nullptr;
    QPushButton* btnDataLogging_ = nullptr;
    QPushButton* btnSelfDiag_ = nullptr;
    QPushButton* btnTimeTrial_ = nullptr;
    QPushButton* btnDashboard_ = nullptr;
    QPushButton* btnDataReplay_ = nullptr;
    QPushButton* btnLogAnalyser_ = nullptr;
    QPushButton* btnActiveTest_ = nullptr;
    QPushButton* btnRomData_ = nullptr;
    QPushButton* btnAdrWatch_ = nullptr;
    QPushButton* btnMapTrace_ = nullptr;
    QPushButton* btnConnect_ = nullptr;
    QLabel* lblEcuNo_ = nullptr;
    QPushButton* btnAFR_ = nullptr;
    QPushButton* btnConnect2_ = nullptr;
    QLabel* lblAFR_ = nullptr;
    QLabel* lblROMver_ = nullptr;
    QProgressBar* ProgressBar1_ = nullptr;
    QProgressBar* ProgressBar2_ = nullptr;
    std::array<QLabel*, 4> panels_{};

    QPointer<Form1> form1_;
    QPointer<frmDataLog> dataLog_;
    QPointer<Form3> form3_;
    QPointer<frmPreferences> preferences_;
    QPointer<frmLogAnalyzer> logAnalyzer_;
    QPointer<frmDataReplay> dataReplay_;
    QPointer<frmSelfDiag> selfDiag_;
    QPointer<frmActiveTest> activeTest_;
    QPointer<frmColor> colours_;
    QPointer<frmSettings> dataDisplaySettings_;
};

} // namespace kx
