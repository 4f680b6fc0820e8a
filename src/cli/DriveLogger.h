#pragma once
// Records the live-data stream into an open log file for as long as it runs: it connects, arms
// the stream once the ECU has answered, and keeps the same file going through a pulled cable,
// the ignition off and a noisy line, writing a record only for a frame the ECU sent.
#include "link/EcuLink.h"
#include "live/live_session.h"
#include "logs/log_format.h"

#include <QObject>
#include <QTimer>

namespace kx {

class Settings;
class WbLink;

class DriveLogger : public QObject {
    Q_OBJECT
public:
    struct Plan {
        GaugeSetup setup;
        Units units;
    };
    // The writer is started (header written); the logger only appends records to it.
    DriveLogger(EcuLink& link, LogWriter& writer, const Settings& settings, Plan plan,
                QObject* parent = nullptr);

    // The wideband controller whose ratio each record carries (made on this logger's values,
    // see wbValues()); it connects at start() and recovers on its own, apart from the ECU.
    void setWideband(WbLink* wideband);
    std::array<float, 11>& wbValues() { return state_.live.wbValues; }
    // Connects to the ECU (and the wideband); an open failure of this first ECU connect is
    // reported (openFailed).
    void start();
    // Stops the stream (0x30) and closes the port; no record is written after it.
    void stop();

    uint64_t records() const { return records_; }
    bool hasWideband() const { return wideband_ != nullptr; }
    // Records that carry a wideband ratio.
    uint64_t wbReadings() const { return wbReadings_; }
    // Frames the stream tap dropped as spikes.
    uint64_t spikesDropped() const { return session_.spikesDropped(); }
    // What the link is doing, in a line.
    QString status() const { return status_; }

signals:
    void statusChanged(const QString& text);
    void openFailed(const QString& message);
    // A record could not be written; none is written after it.
    void writeFailed(const QString& message);

private:
    void onIdentified();
    void onFrame(uint32_t at);
    void onState(EcuLink::State state);
    void retry();
    void updateStatus();

    EcuLink& link_;
    LogWriter& writer_;
    const Settings& settings_;
    LiveState state_;
    LiveSession session_;
    WbLink* wideband_ = nullptr;
    uint64_t records_ = 0;
    uint64_t wbReadings_ = 0;
    bool ended_ = false;
    QString status_;
    QString ecuStatus_; // the ECU link's part of it
    QTimer retry_;
};

} // namespace kx
