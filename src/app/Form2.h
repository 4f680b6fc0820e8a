#pragma once
// The main window: a view of the ECU link (part number, status, which tools may start) and
// the launcher of every tool. It owns the link, the wideband port, the unit flags and the
// shared live state, and lends them to each window through a Host.
#include "link/EcuLink.h"
#include "live/live_session.h"
#include "ui/host.h"
#include "wideband/WbLink.h"

#include <QMainWindow>
#include <QMap>
#include <QPointer>
#include <array>
#include <cstdint>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QGroupBox;

namespace kx {

class ActivityBar;
class WidebandPanel;
class SettingsStore;
class frmSettings;
struct ToolRow;

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

    LiveState& state() { return state_; }
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

    // Receive dispatchers of the ECU and wideband ports.
    void MSComm1_OnComm();
    void MSComm2_OnComm();

    bool isUnloading() const override { return unloading_; }
    bool afrDisplayEnabled() const override;

    // The tool buttons that a successful connect enables (Replay and Analyser excluded).
    QList<QPushButton*> ecuToolButtons() const;

    // Opens the single-instance window of a tool, as its button, menu entry or key does: a
    // tool that needs the link while another holds it waits for it.
    QWidget* openTool(const QString& name);
    template <class W> W* open() { return qobject_cast<W*>(openTool(toolName<W>())); }
    // The open window of a tool, if any.
    template <class W> W* window() const {
        return qobject_cast<W*>(windows_.value(toolName<W>()).data());
    }
    // The wideband "Connect".
    void btnConnect2_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // A tool's window is known by its class's name, which is also its object name.
    template <class W> static QString toolName() {
        return QString::fromLatin1(W::staticMetaObject.className()).section(u':', -1);
    }
    QWidget* showSingle(const QString& name, const std::function<QWidget*()>& make);
    void toolOpened(const ToolRow& row, QWidget* window, bool created);

    // Launcher
    void toolClosed(QWidget* tool) override;
    void openDataLogging() override;
    void openActiveTest() override;
    QWidget* openRegTest(std::function<void(const std::vector<int>&)> found) override;
    QWidget* openEcuFinder() override;

    void onLinkState(EcuLink::State state);
    void onIdentified(const QString& part);
    void showLinkStatus();
    void buildUi();
    QWidget* buildEcuFrame();
    void buildMenus();
    void buildStatusBar();
    void showPortError(int error, const QString& device, const QString& detail);
    void showPortPanel(const QString& port, const QString& speed);

    Host host_;
    LiveSession live_;
    bool unloading_ = false; // closing tools must not reconnect while the program ends
    QString waitNote_;       // "... waits for ... to close"
    QString lastPart_;       // the part number of the ECU last identified on this link

    // Controls, by their program names; the tool buttons are found by theirs.
    QTabWidget* tabs_ = nullptr;
    QPushButton* btnConnect_ = nullptr;
    QLabel* lblEcuNo_ = nullptr;
    ActivityBar* ProgressBar1_ = nullptr;
    WidebandPanel* wbPanel_ = nullptr;
    std::array<QLabel*, 4> panels_{};
    QLabel* lblLinkStatus_ = nullptr;

    QMap<QString, QPointer<QWidget>> windows_;
};

} // namespace kx
