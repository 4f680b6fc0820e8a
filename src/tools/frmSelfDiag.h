#pragma once
// The self-diagnostics window: the stored fault codes as the ECU streams them, and the erase.
#include "tools/self_diag.h"
#include "ui/host.h"

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace kx {

class frmSelfDiag : public QWidget {
    Q_OBJECT
public:
    // Asks for the link; once granted, the fault-code stream starts (receive mode 6).
    explicit frmSelfDiag(const Host& host);

    // Rewrites the fault text from the buffer (receive mode 6, after every delivery).
    void displayCodes(const FaultBuffer& faults);
    // Erases the stored codes and reads them again.
    void btnReset_Click();
    const FaultBuffer& faults() const { return faults_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Stream stop, mode 6, the self-diagnostic request, stream start.
    LinkSequence readCodes();
    void getSelfDiagData(const QByteArray& bytes);

    Host host_;
    FaultBuffer faults_{};
    QPlainTextEdit* txtFaults_;
    QPushButton* btnReset_;
};

} // namespace kx
