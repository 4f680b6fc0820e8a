#pragma once
// The live register test: probes each data register in turn, lists those the ECU answers for,
// and can narrow the gauge lists of the data-display settings to what this ECU supports.
#include "tools/reg_test.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace kx {

class Form2;
class frmSettings;

class frmRegTest : public QWidget {
    Q_OBJECT
public:
    // A window of the main window; `settings` is the window whose lists an update rebuilds.
    frmRegTest(Form2& main, frmSettings* settings);

    // Starts the test with the first probe, which has no time-out.
    void Form_Load();
    // Receive mode 8: one delivery.
    void getData(const QByteArray& bytes);
    // Probes the next register, or completes the test.
    void iniRegTest();
    // A probe went unanswered.
    void Timer1_Timer();
    void btnUpdate_Click();

    const RegisterScan& scan() const { return scan_; }
    QTimer* Timer1() const { return Timer1_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Writes the probe of the current register and starts the stream; false when a write failed.
    bool probe();
    // Stream stop with its pause; false when the window went away or is closing meanwhile.
    bool stopStream();
    void complete();
    void finishBusy();

    Form2& main_;
    QPointer<frmSettings> settings_;
    RegisterScan scan_;
    QTimer* Timer1_;
    QLabel* lblInfo_;
    QPlainTextEdit* txtRegisters_;
    QPushButton* btnUpdate_;
    QPushButton* btnClose_;
    // A probe is out and its answer not yet taken.
    bool awaiting_ = false;
    // A wait is running; a close asked for meanwhile happens after it.
    int busy_ = 0;
    bool closePending_ = false;
    bool closed_ = false;
};

} // namespace kx
