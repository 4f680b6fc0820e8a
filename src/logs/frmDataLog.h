#pragma once
// Records the live data stream into a log file, alone (from the main window) or together with
// the data display.
#include "link/EcuLink.h"
#include "logs/log_format.h"
#include "ui/host.h"

#include <QWidget>
#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kx {

class frmDataLog : public QWidget {
    Q_OBJECT
public:
    explicit frmDataLog(const Host& host);
    ~frmDataLog() override;

    // One record from the latest decoded values, of a frame that came at tick `at`, while
    // logging; a frame that came before START is not part of the recording.
    void saveLogData(uint32_t at);
    void btnStart_Click();
    void btnStop_Click();
    void btnBrowse_Click();
    bool isLogging() const;
    // Another tool (`holder`) has the link: the window says so on itself until the stream is
    // its own, and a recording started meanwhile says it waits.
    void showWaiting(const QString& holder);
    // What the window says about the link when no data comes ("" otherwise).
    QString linkNote() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    LogSelection selection() const;
    // Closes the file and returns to idle with a fresh default name; the close's error if any.
    std::optional<QString> endLogging();
    void failLogging(const QString& error);
    // The save chooser of Browse, then the live data armed again.
    void chooseLocation();
    void onLinkState(EcuLink::State state);
    void onSilence(bool silent);
    // The status line: why the recording waits, else what it has done so far.
    void showStatus();

    Host host_;
    QLabel* lblStatus_;
    QString waiting_; // why no record comes, while logging
    QLabel* lblLinkNote_;
    QString holder_; // the tool whose link the logger waits for
    QTimer* statusTimer_;
    LogWriter writer_;
    QLabel* lblDirectory_;
    QLineEdit* txtPath_;
    QPushButton* btnBrowse_;
    QPushButton* btnStart_;
    QPushButton* btnStop_;
    QLabel* lblParamNote_;
    std::array<QCheckBox*, kLogGaugeCount> chcLog_{};
    std::array<QCheckBox*, kLogIndicatorCount> chcLogStr_{};
};

} // namespace kx
