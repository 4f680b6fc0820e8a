#pragma once
// The ROM data reader: dumps a range of ECU memory to a binary file, eight addresses per
// request (fast) or one (slow), each reply triggering the next request.
#include "link/reply_watch.h"
#include "tools/memory_read.h"
#include "ui/host.h"

#include <QElapsedTimer>
#include <QSaveFile>
#include <QWidget>
#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

namespace kx {

class frmRomData : public QWidget {
    Q_OBJECT
public:
    // Asks for the link; "Start Download" is offered once it is granted.
    explicit frmRomData(const Host& host);

    // A "Stop" whose reply does not come within this long ends the download without it.
    static constexpr int kStopWaitMs = 2000;

    void btnRead_Click();
    void btnStop_Click();
    void btnBrowse_Click();
    // Receive modes 11 and 12: one delivery.
    void getRomdataFast(const QByteArray& bytes);
    void getRomdataSlow(const QByteArray& bytes);

    bool downloading() const { return download_.has_value(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    SingleRead single_;
    // The reply's bytes go to the file; then the stream stop and the next request.
    void onReply(const uint8_t* data, int count);
    // Appends the next request (fast or slow) to `s` and runs it, or finishes.
    void sendNext(LinkSequence s);
    // Appends `r` to `s` and runs it.
    void sendRequest(LinkSequence s, const RomDownload::Request& r);
    // No reply to the request in flight: ask again, or end with what was confirmed.
    void askAgain();
    void giveUp();
    void updateStart();
    void setRunning(bool on);
    // Asks before replacing, refuses what is not a regular file, opens the temporary file.
    bool openDump(const QString& path);
    void sendCommFast(LinkSequence& s, const RomDownload::Request& r);
    void sendCommSlow(LinkSequence& s, const RomDownload::Request& r);
    // Closes the file, gives the buttons back and, unless the window closes, saves the range.
    void finish(const QString& why = QString(), bool saveRange = true);
    void onStopWait();
    // The first address not in the file.
    QString stoppedAt() const;

    Host host_;
    uint8_t command_;
    std::optional<RomDownload> download_;
    std::unique_ptr<QSaveFile> file_;
    bool granted_ = false;
    qint64 written_ = 0;
    bool awaiting_ = false; // the request is out; its reply not yet taken
    QElapsedTimer clock_;
    QTimer* stopWait_;
    ReplyWatch* replyWatch_;
    std::optional<RomDownload::Request> inFlight_;

    QLineEdit* txtPath_;
    QPushButton* btnBrowse_;
    QLineEdit* txtStart_;
    QLineEdit* txtEnd_;
    QRadioButton* optFast_;
    QRadioButton* optSlow_;
    QLabel* lblAddress_;
    QProgressBar* prgBar_;
    QLabel* lblRate_;
    QLabel* lblStatus_;
    QPushButton* btnRead_;
    QPushButton* btnStop_;
};

} // namespace kx
