#pragma once
// The map trace: reads a 16 x 16 map and its two scales one byte per request (or opens a saved
// map), shows them as a coloured grid, then streams engine speed and throttle and marks the
// cell in use, leaving a trail over the cells visited. Each traced frame, and each record of
// the logs added, counts in the coverage of its cell, which the grid can show instead of the
// map.
#include "link/reply_watch.h"
#include "live/spike_filter.h"
#include "tools/map_coverage.h"
#include "tools/map_trace.h"
#include "tools/memory_read.h"
#include "ui/host.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <bitset>
#include <memory>
#include <optional>

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

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
    frmMapTData* setup() const;

    void btnClear_Click();
    void btnOpenMap_Click();
    void btnSaveMap_Click();
    void btnAddLogs_Click();
    void btnExportCoverage_Click();
    // Receive modes 13 and 14: one delivery.
    void getMap(const QByteArray& bytes);
    void getTraceData(const QByteArray& bytes);

    bool reading() const { return stage_ == Stage::Reading; }
    bool tracing() const { return stage_ == Stage::Tracing; }
    // Logs chosen with "Add Logs..." are still being read.
    bool addingLogs() const { return adder_ != nullptr; }
    const MapCoverage& coverage() const { return coverage_; }
    // The map as read from the ECU or opened.
    const EngineMap& map() const { return map_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    SingleRead single_;
    // A traced frame that no engine could reach from its neighbours is never counted. Each
    // waits for the next, and counts with the ratio of when it came.
    SpikeFilter spikes_;
    GaugeSetup traceLayout_ = streamLayout({0, 8}); // engine speed (two bytes), throttle
    bool traceFirst_ = true;                        // the stream's first frame passes at once
    std::optional<float> heldRatio_;                // the ratio when the held frame came
    enum class Stage { SetUp, Reading, Tracing, Stopped };
    enum class View { MapValues, Hits, MeanAfr };
    class LogAdder;
    // The set-up is done and the link is ours: the stored addresses, then the first read.
    void startForm();
    void takeLink();
    // Save Map and Export Coverage: an existing file is replaced only when the user agrees.
    void saveCsv(const QString& preset, const QByteArray& text);
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
    void paintCell(int cell, uint32_t colour);
    // The map is complete (read or opened): the buttons that need it.
    void mapKnown();
    // An opened map in place of the one shown; the ECU's reading is no longer needed.
    void useMap(const EngineMap& map);
    // A map cell's caption and colour for the view shown, the trail and the current cell.
    void showCell(int cell);
    // Its coverage in words, for the tooltip and a screen reader.
    void showDetails(int cell);
    // Every cell, the scale and the summary again.
    void showCoverage();
    // The cells whose coverage changed, and the others where the scale moved (a few times a
    // second while the trace adds hits).
    void refreshCoverage();
    void coverageChanged(int index);
    static CoverageView coverageView(View v) {
        return v == View::Hits ? CoverageView::Hits : CoverageView::MeanAfr;
    }
    void logsAdded(const LogFilesCoverage& result, int run);
    void stopAddingLogs();
    View view() const;
    QString folder() const;

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
    EngineMap map_;
    bool mapKnown_ = false;
    std::array<uint32_t, maptrace::CellCount> painted_{}; // what each cell shows now
    TraceTrail trail_;
    int shownCurrent_ = 0;     // the cell painted as current, 0 for none (after Clear Trace)
    std::bitset<256> trailed_; // map cells the engine has left since the last Clear Trace
    MapCoverage coverage_;
    CoverageScale scale_;      // of the view shown, as of the last refresh
    std::bitset<256> changed_; // map cells whose coverage changed since the last refresh
    QString logsNote_;         // what the last "Add Logs..." did
    std::unique_ptr<LogAdder> adder_;
    int addRun_ = 0; // the "Add Logs..." whose result is awaited
    QTimer coverageTimer_;
    QString folder_; // where the last map or log was chosen

    std::array<QLabel*, maptrace::CellCount> lblMapCell_{};
    QLabel* lblRPM_;
    QLabel* lblTP_;
    QGroupBox* fraWBo2_;
    QLabel* lblWBo2_;
    QPushButton* btnClear_;
    QRadioButton* optMap_;
    QRadioButton* optHits_;
    QRadioButton* optWBo2_;
    QPushButton* btnOpenMap_;
    QPushButton* btnSaveMap_;
    QPushButton* btnAddLogs_;
    QPushButton* btnExportCoverage_;
    QLabel* lblScale_;
    QLabel* lblCoverage_;
    QLabel* lblStatus_;
};

} // namespace kx
