#pragma once
// The ECU finder, apart from its window: the ids tried, the probe bytes and the answer check.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace kx {

// The ECU initialisation sequence for one id: 0xFF, 0xFF, id.
QByteArray ecuIdProbe(uint8_t id);
// The addressed ECU answers with the id's complement (255 - id) somewhere in what it sent.
bool acknowledgesId(const QByteArray& bytes, uint8_t id);
// "ECU id " + upper-case hexadecimal without leading zero + " - active" + CRLF.
QString ecuIdLine(uint8_t id);

// Ids 0xFE down to 0x00; a cancel lets the probe in progress finish and then completes.
class EcuIdSweep {
public:
    uint8_t current() const { return id_; }
    bool completed() const { return completed_; }
    bool cancelled() const { return cancelled_; }
    const QString& report() const { return report_; }

    // The delivery read after probing the current id; true (and a line) when it answered.
    bool answer(const QByteArray& bytes);
    // The next id; false (and completed) after id 0 or a cancel.
    bool next();
    void cancel();
    // Ends the sweep at once (the port failed).
    void stop() { completed_ = true; }

private:
    uint8_t id_ = 0xFE;
    bool completed_ = false;
    bool cancelled_ = false;
    QString report_;
};

} // namespace kx
