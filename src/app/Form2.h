#pragma once
// The main window: a view of the ECU link (part number, status, which tools may start) and
// the launcher of every tool. It owns the link, the wideband port, the unit flags and the
// shared live state, and lends them to each window through a Host.
#include "app/host.h"
#include "link/EcuLink.h"
#include "wideband/WbLink.h"

#include <QMainWindow>
#include <QMap>
#include <QPointer>
#include <array>
#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QGroupBox;

namespace kx {

class ActivityBar;
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
class frmECUfind;
class frmTimeTrial;
class frmDashboard;
class frmDashSetup;
class frmRomData;
class frmAdrWatch;
class frmWBO2;
class frmMapTrace;

class Form2 : public QMainWindow, private Launcher {
    Q_OBJECT
    // First, so that the names below can refer into them.
    SettingsStore& settings_;
    Dialogs& dialogs_;
    LiveState state_;
    EcuLink* link_;
    WbLink* wbLink_;

public:
    // Takes ownership of both ports.
    Form2(SettingsStore& settings, Dialogs& dialogs, SerialPort* ecuPort, SerialPort* wbPort,
          QWidget* parent = nullptr);
    ~Form2() override;

    EcuLink& link() { return *link_; }
    WbLink& wbLink() { return *wbLink_; }
    const Host& host() { return host_; }

    // Shared state under the program's names; the receive mode and `connected` are the link's.
    int16_t& ReadMode;
    bool& connected;
    int16_t& ReadMode2;
    bool& fahr;
    bool& mph;
    bool& OBDIImodel;
    float& SpeedCorrect;
    // gaugeCatalogue, displaySelection, dashSelection and the byte counts.
    GaugeSetup& setup;
    // gaugeValue, switchState and wbValues.
    LiveValues& live;

    SettingsStore& settings() { return settings_; }
    Dialogs& dialogs() { return dialogs_; }
    SerialPort& MSComm1();
    SerialPort& MSComm2() { return wbLink_->port(); }
    DebugTrace& debugTrace() { return link_->trace(); }

    // Start-up: defaults, the Debug reset, then setStatusBar(). Runs from the event loop.
    void load();
    void btnConnect_Click();
    void setStatusBar() override;
    void openPort();
    void closePort();
    void openPort2();
    void closePort2();
    void setProgBar() override;
    void setProgBar2();
    // Rebuilds the gauge catalogue and reloads both selections.
    void getSetup() override;
    // The live-data request for the selected gauges, as link steps: the arming and nothing
    // else (empty when nothing is to be requested).
    LinkSequence iniFullData() override;
    void getFullData(const QByteArray& bytes);

    // Receive dispatchers of the ECU and wideband ports.
    void MSComm1_OnComm();
    void MSComm2_OnComm();

    bool isUnloading() const override { return unloading_; }
    bool afrDisplayEnabled() const override;

    // The tool buttons that a successful connect enables (Replay and Analyser excluded).
    QList<QPushButton*> ecuToolButtons() const;

    // Tool launches (button, menu entry or function key). Each window is single-instance; a
    // tool that needs the link while another holds it waits for it.
    Form1* btnDataDisplay_Click();
    Form1* dataDisplay() const;
    frmDataLog* btnDataLogging_Click();
    frmSelfDiag* btnSelfDiag_Click();
    frmActiveTest* btnActiveTest_Click();
    frmLogAnalyzer* btnLogAnalyser_Click();
    frmDataReplay* btnDataReplay_Click();
    frmTimeTrial* btnTimeTrial_Click();
    frmDashboard* btnDashboard_Click();
    frmRomData* btnRomData_Click();
    frmAdrWatch* btnAdrWatch_Click();
    // The wideband "Connect" and "AFR Display".
    void btnConnect2_Click();
    frmWBO2* btnAFR_Click();
    frmMapTrace* btnMapTrace_Click();
    // Settings windows.
    Form3* mnuCommunication_Click();
    frmPreferences* mnuPreferences_Click();
    frmColor* mnuDisplay_Click();
    frmSettings* mnuDataDisplay_Click();
    frmDashSetup* mnuDashboardSetup_Click();
    // The open register test and ECU finder, if any.
    frmRegTest* regTest() const;
    frmECUfind* ecuFinder() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Launcher
    void toolClosed(QWidget* tool) override;
    void openDataLogging() override { btnDataLogging_Click(); }
    void openActiveTest() override { btnActiveTest_Click(); }
    QWidget* openRegTest(frmSettings* settingsWindow) override;
    QWidget* openEcuFinder() override;

    // One registry of single-instance windows, by object name.
    template <class W> W* single(const QString& name) const;
    template <class W, class... Args> W* showSingle(const QString& name, Args&&... args);

    // The live-data stream, shared by the data display and the logger.
    EcuLink::Claim liveClaim(QWidget* tool, const QString& name);
    void armLiveData(QObject* owner);
    int16_t liveMode() const;
    // One confirmed frame: decoded, and logged; then the display shows the last of them.
    void liveFrame(const QByteArray& frame);
    void liveShown();

    void onLinkState(EcuLink::State state);
    void onIdentified(const QString& part);
    void showLinkStatus();
    void buildUi();
    QWidget* buildEcuFrame();
    QWidget* buildWidebandFrame();
    void buildMenus();
    void buildStatusBar();
    QPushButton* toolButton(const QString& caption, const QString& name);
    void showPortError(int error, const QString& device, const QString& detail);
    void showAbout();
    void onWbState(WbLink::State state);
    void onMeasured(const wb::Frame& frame);

    Host host_;
    bool unloading_ = false; // closing tools must not reconnect while the program ends
    QString waitNote_;       // "... waits for ... to close"

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
    QLabel* lblWbStatus_ = nullptr; // what the wideband link is doing when it is not streaming
    ActivityBar* ProgressBar1_ = nullptr;
    ActivityBar* ProgressBar2_ = nullptr;
    std::array<QLabel*, 4> panels_{};
    QLabel* lblLinkStatus_ = nullptr;

    QMap<QString, QPointer<QWidget>> windows_;
};

} // namespace kx
