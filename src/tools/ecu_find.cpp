#include "tools/ecu_find.h"

#include "util/hex.h"

namespace kx {

QByteArray ecuIdProbe(uint8_t id) {
    QByteArray b;
    b.append(char(0xFF)).append(char(0xFF)).append(char(id));
    return b;
}

bool acknowledgesId(const QByteArray& bytes, uint8_t id) {
    return bytes.contains(char(uint8_t(0xFF - id)));
}

QString ecuIdLine(uint8_t id) {
    return QStringLiteral("ECU id ") + hexText(id, 1) + QStringLiteral(" - active\r\n");
}

bool EcuIdSweep::answer(const QByteArray& bytes) {
    if (completed_ || !acknowledgesId(bytes, id_)) return false;
    report_ += ecuIdLine(id_);
    return true;
}

bool EcuIdSweep::next() {
    if (completed_ || cancelled_ || id_ == 0) {
        completed_ = true;
        return false;
    }
    --id_;
    return true;
}

void EcuIdSweep::cancel() {
    cancelled_ = true;
}

} // namespace kx
