#pragma once
// The live register test: probes each data register in turn, lists those the ECU answers for,
// and can narrow the gauge lists of the data-display settings to what this ECU supports.
#include "tools/reg_test.h"
#include "ui/host.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace kx {

class frmRegTest : public QWidget {
    Q_OBJECT
public:
    // The gauges an update offers, ascending (to the settings window that asked for the test).
    using GaugesFound = std::function<void(const std::vector<int>&)>;
    // A window of the main window; `found` takes the gauges an update offers. Asks for the
    // link; the test starts once it is granted.
    frmRegTest(const Host& host, GaugesFound found);

    // Starts the test with the first probe, which has no time-out.
    void Form_Load();
    // Receive mode 8: one delivery.
    void getData(const QByteArray& bytes);
    // Probes the next register, or completes the test.
    void iniRegTest();
    // A probe went unanswered.
    void Timer1_Timer();
    void btnUpdate_Click();
    // Ends the test where it stands; the gauge lists are left as they were.
    void btnCancel_Click();

    const RegisterScan& scan() const { return scan_; }
    QTimer* Timer1() const { return Timer1_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The probe of the current register: request, pause, discard, stream start.
    LinkSequence probe();
    // The test is over: `whole` when every register was probed (only then may it narrow the
    // gauge lists); `why` says what ended it early.
    void complete(bool whole, const QString& why = QString());
    void showProgress();
    // How long a probe waits for its answer: from how fast the ECU answered on this line.
    int probeTimeoutMs() const;

    Host host_;
    GaugesFound found_;
    RegisterScan scan_;
    QTimer* Timer1_;
    int firstTries_ = 0;
    QLabel* lblInfo_;
    QPlainTextEdit* txtRegisters_;
    QProgressBar* prgProbe_;
    QPushButton* btnUpdate_;
    QPushButton* btnCancel_;
    QPushButton* btnClose_;
    // A probe is out and its answer not yet taken: bytes at other times are an earlier probe's.
    bool awaiting_ = false;
    QElapsedTimer sinceStart_; // from the probe's stream start
    int slowestAnswerMs_ = 0;
};

} // namespace kx
