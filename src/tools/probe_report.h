#pragma once
// The top of the register test and the ECU finder: "Querying ECU" with its progress text, and
// a read-only report in a titled frame.
#include <QString>

class QGroupBox;
class QHBoxLayout;
class QLabel;
class QPlainTextEdit;

namespace kx {

struct ProbeReport {
    QHBoxLayout* status; // "Querying ECU" and lblInfo
    QLabel* lblInfo;
    QGroupBox* frame; // holds txtRegisters
    QPlainTextEdit* txtRegisters;
};

ProbeReport makeProbeReport(const QString& frameTitle, const QString& frameName, int minWidth,
                            int minHeight);

} // namespace kx
