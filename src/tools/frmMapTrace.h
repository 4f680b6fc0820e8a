#pragma once
// The map trace: reads a 16 x 16 map and its two scales one byte per request (or opens a saved
// map), shows them as a coloured grid, then streams engine speed and throttle and marks the
// cell in use, leaving a trail over the cells visited. Each traced frame, and each record of
// the logs added, counts in the coverage of its cell, which the grid can show instead of the
// map; for a fuel map, the records the filters keep give a suggested map. The grid and the
// correction panel are their own classes; this window wires them to the link and the files.
#include "link/reply_watch.h"
#include "live/stream_tap.h"
#include "tools/FuelCorrectionPanel.h"
#include "tools/MapTraceFiles.h"
#include "tools/MapTraceGrid.h"
#include "tools/MapTraceModel.h"
#include "tools/map_logs.h"
#include "tools/map_trace.h"
#include "tools/memory_read.h"
#include "ui/host.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <optional>

class QGroupBox;
class QLabel;
class QPushButton;

namespace kx {

class frmMapTData;

class frmMapTrace : public QWidget {
    Q_OBJECT
public:
    // Asks for the link and opens the set-up window over this one. Reading starts once the
    // set-up window has closed and the link is ours.
    explicit frmMapTrace(const Host& host);
    ~frmMapTrace() override;

    // The set-up window on top again, while it is open.
    void showSetup();
    // The set-up window again after a cancel, until one is done.
    void openSetup();
    frmMapTData* setup() const;

    void btnClear_Click();
    void btnOpenMap_Click();
    void btnSaveMap_Click();
    void btnAddLogs_Click();
    void btnExportCoverage_Click();
    // Receive modes 13 and 14: one delivery.
    void getMap(const QByteArray& bytes);
    void getTraceData(const QByteArray& bytes);
    // A traced frame the tap let through: engine speed and throttle.
    void traceFrame(uint32_t at, const FrameReadings& readings);

    bool reading() const { return stage_ == Stage::Reading; }
    bool tracing() const { return stage_ == Stage::Tracing; }
    // Logs chosen with "Add Logs..." are still being read.
    bool addingLogs() const { return adder_ != nullptr; }
    const MapCoverage& coverage() const { return m_.coverage; }
    // The map as read from the ECU or opened.
    const EngineMap& map() const { return m_.map; }
    // The correction shown, for a fuel map once it is known.
    const std::optional<FuelCorrection>& correction() const { return m_.correction; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    SingleRead single_;
    // A traced frame that no engine could reach from its neighbours is never counted. Each
    // waits for the next, and counts with the ratio of when it came.
    StreamTap tap_;
    // Engine speed (two bytes) and throttle: the three addresses the trace watches.
    GaugeSetup traceLayout_ = streamLayout({channel::Rpm, channel::Throttle});
    bool traceFirst_ = true;            // the stream's first frame passes at once
    std::optional<float> heldRatio_;    // the ratio when the held frame came
    std::optional<float> ratioNow_;     // the ratio as the last frame came
    std::optional<float> passingRatio_; // the ratio of the frame the tap lets through now
    enum class Stage { SetUp, Reading, Tracing, Stopped };
    // The grid, the correction panel, the buttons and the labels, laid out.
    void buildWindow();
    // The set-up is done and the link is ours: the stored addresses, then the first read.
    void startForm();
    void takeLink();
    // Appends the next single read to `s` and runs it, or starts the trace, or stops at a
    // stored address that has no value.
    void sendComm(LinkSequence s);
    void sendRead(LinkSequence s, const MapRead::Byte& b);
    // The live request of three addresses and the stream start.
    LinkSequence iniMapTrace();
    void stop(const QString& why);
    // No reply to the byte asked for: ask once more, or stop and say where.
    void askAgain();
    void giveUp();
    // The map is complete (read or opened): the buttons that need it.
    void mapKnown();
    // An opened map in place of the one shown; the ECU's reading is no longer needed.
    void useMap(const EngineMap& map, const QString& path);
    // Every cell, the scale and the summary again.
    void showCoverage();
    // The correction, the cells whose coverage changed and the others where the scale moved
    // (a few times a second while the trace adds hits).
    void refreshCoverage();
    void coverageChanged(int index);
    // Coverage and correction from nothing again.
    void clearCoverage();
    void logsAdded(const LogFilesCoverage& result, int run);
    void stopAddingLogs();

    Host host_;
    uint8_t command_;
    QPointer<frmMapTData> setup_;
    bool setupDone_ = false;
    bool granted_ = false;
    bool claimed_ = false; // asked for the link (at once, or once an ECU answered)
    bool closing_ = false;
    Stage stage_ = Stage::SetUp;
    std::optional<MapRead> read_;
    std::optional<MapRead::Byte> inFlight_; // the byte asked for
    bool awaiting_ = false;                 // its stream is started; the reply not yet taken
    ReplyWatch* replyWatch_ = nullptr;
    MapTraceModel m_;
    // What the map shown is, and where it came from in words: set as it is read or opened.
    std::optional<MapKind> kind_;
    QString kindSource_;
    TraceTrail trail_;
    QString logsNote_; // what the last "Add Logs..." did
    std::unique_ptr<LogAdder> adder_;
    int addRun_ = 0; // the "Add Logs..." whose result is awaited
    QTimer coverageTimer_;
    MapTraceFiles files_;

    MapTraceGrid* grid_;
    FuelCorrectionPanel* correction_;
    MapTraceReadouts* readouts_;
    QPushButton* btnClear_;
    QPushButton* btnSetup_;
    QPushButton* btnOpenMap_;
    QPushButton* btnSaveMap_;
    QPushButton* btnAddLogs_;
    QPushButton* btnExportCoverage_;
    QLabel* lblCoverage_;
    QLabel* lblStatus_;
};

} // namespace kx
