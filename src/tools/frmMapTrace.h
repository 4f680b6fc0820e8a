#pragma once
// The map trace: reads a 16 x 16 map and its two scales one byte per request, shows them as a
// coloured grid, then streams engine speed and throttle and marks the cell in use, leaving a
// trail over the cells visited.
#include "link/reply_watch.h"
#include "tools/map_trace.h"
#include "ui/host.h"

#include <QPointer>
#include <QWidget>
#include <array>
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

    // The set-up window on top again, while it is open.
    void showSetup();
    frmMapTData* setup() const;

    void btnClear_Click();
    // Receive modes 13 and 14: one delivery.
    void getMap(const QByteArray& bytes);
    void getTraceData(const QByteArray& bytes);

    bool reading() const { return stage_ == Stage::Reading; }
    bool tracing() const { return stage_ == Stage::Tracing; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    enum class Stage { SetUp, Reading, Tracing, Stopped };
    // The set-up is done and the link is ours: the stored addresses, then the first read.
    void startForm();
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

    Host host_;
    uint8_t command_;
    QPointer<frmMapTData> setup_;
    bool setupDone_ = false;
    bool granted_ = false;
    bool closing_ = false;
    Stage stage_ = Stage::SetUp;
    std::optional<MapRead> read_;
    std::optional<MapRead::Byte> inFlight_; // the byte asked for
    bool awaiting_ = false;                 // its stream is started; the reply not yet taken
    ReplyWatch* replyWatch_ = nullptr;
    std::array<int, 16> rpmHeaders_{};
    std::array<int, 16> tpHeaders_{};
    std::array<uint8_t, 256> map_{};
    std::array<uint32_t, maptrace::CellCount> painted_{}; // what each cell shows now
    TraceTrail trail_;

    std::array<QLabel*, maptrace::CellCount> lblMapCell_{};
    QLabel* lblRPM_;
    QLabel* lblTP_;
    QGroupBox* fraWBo2_;
    QLabel* lblWBo2_;
    QPushButton* btnClear_;
    QLabel* lblStatus_;
};

} // namespace kx
