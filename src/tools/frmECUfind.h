#pragma once
// The ECU finder: sends the initialisation sequence with every id from 0xFE down to 0x00 and
// lists the ids the ECU acknowledges.
#include "tools/ecu_find.h"
#include "ui/host.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace kx {

class frmECUfind : public QWidget {
    Q_OBJECT
public:
    // Asks for the link; the search starts once it is granted.
    explicit frmECUfind(const Host& host);

    // Opens the port and starts the search; each id's probe then runs on the link.
    void iniECUfind();
    // The probe in progress finishes, then the finder completes.
    void btnCancel_Click();

    const EcuIdSweep& sweep() const { return sweep_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Probes the current id (about 300 ms), reads the answer and moves on.
    void probeCurrent();
    // Reads what the port received and looks for the acknowledgement.
    void getData();
    // The next id, or completion.
    void iniRegTest();
    void complete(const QString& why = QString());

    Host host_;
    EcuIdSweep sweep_;
    QLabel* lblInfo_;
    QPlainTextEdit* txtRegisters_;
    QPushButton* btnCancel_;
    QPushButton* btnClose_;
};

} // namespace kx
