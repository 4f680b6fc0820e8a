#include "tools/frmRomData.h"

#include "link/EcuLink.h"
#include "link/ecu_protocol.h"
#include "tools/read_command.h"
#include "ui/Dialogs.h"
#include "ui/link_claim.h"
#include "ui/ui_helpers.h"
#include "util/hex.h"
#include "util/settings.h"
#include "util/text.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QTimer>
#include <QVBoxLayout>

namespace kx {

namespace {
const char* const kSection = "RomData";

QLineEdit* addressBox(const char* name) {
    auto* box = new QLineEdit;
    box->setObjectName(S(name));
    box->setFixedWidth(70);
    return box;
}
} // namespace

frmRomData::frmRomData(const Host& host)
    : QWidget(host.window, Qt::Window), host_(host), command_(0) {
    setObjectName(S("frmRomData"));
    setWindowTitle(S("Rom Data"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* fraFile = new QGroupBox(S("File location"));
    txtPath_ = new QLineEdit(QDir::toNativeSeparators(QDir::current().filePath(S("rom.bin"))));
    txtPath_->setObjectName(S("txtPath"));
    txtPath_->setMinimumWidth(320);
    btnBrowse_ = new QPushButton(S("Browse"));
    btnBrowse_->setObjectName(S("btnBrowse"));
    auto* fileRow = new QHBoxLayout(fraFile);
    fileRow->addWidget(txtPath_);
    fileRow->addWidget(btnBrowse_);

    auto* fraAddress = new QGroupBox(S("Enter Address"));
    txtStart_ = addressBox("txtStart");
    txtEnd_ = addressBox("txtEnd");
    auto* addressGrid = new QGridLayout(fraAddress);
    int row = 0;
    for (auto [caption, box] :
         {std::pair{"Start Adr:", txtStart_}, std::pair{"Stop Adr:", txtEnd_}}) {
        auto* label = new QLabel(S(caption));
        label->setBuddy(box);
        addressGrid->addWidget(label, row, 0);
        addressGrid->addWidget(box, row, 1);
        addressGrid->addWidget(new QLabel(S("Hex")), row, 2);
        ++row;
    }

    auto* fraType = new QGroupBox(S("Select Type"));
    optFast_ = new QRadioButton(S("Fast"));
    optFast_->setObjectName(S("optFast"));
    optFast_->setChecked(true);
    optSlow_ = new QRadioButton(S("Slow"));
    optSlow_->setObjectName(S("optSlow"));
    auto* typeBox = new QVBoxLayout(fraType);
    typeBox->addWidget(optFast_);
    typeBox->addWidget(optSlow_);

    auto* fraReading = new QGroupBox(S("Reading Address"));
    lblAddress_ = new QLabel;
    lblAddress_->setObjectName(S("lblAddress"));
    lblAddress_->setMinimumWidth(60);
    showsValue(lblAddress_, S("Reading Address"));
    auto* readingBox = new QVBoxLayout(fraReading);
    readingBox->addWidget(lblAddress_);

    auto* middle = new QHBoxLayout;
    middle->addWidget(fraAddress);
    middle->addWidget(fraType);
    middle->addWidget(fraReading);

    prgBar_ = new QProgressBar;
    prgBar_->setObjectName(S("prgBar"));
    prgBar_->setRange(0, 1);
    prgBar_->setValue(0);
    lblRate_ = new QLabel;
    lblRate_->setObjectName(S("lblRate"));
    showsValue(lblRate_, S("Download speed"));
    lblStatus_ = new QLabel;
    lblStatus_->setObjectName(S("lblStatus"));
    lblStatus_->setWordWrap(true);
    showsValue(lblStatus_, S("Download"));

    auto* note = new QLabel(S("* Function may not work on some ECUs"));
    note->setObjectName(S("lblNote"));
    btnRead_ = new QPushButton(S("Start Download"));
    btnRead_->setObjectName(S("btnRead"));
    btnRead_->setEnabled(false); // until the link is ours
    btnStop_ = new QPushButton(S("Stop"));
    btnStop_->setObjectName(S("btnStop"));
    btnStop_->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(note);
    buttons->addStretch();
    buttons->addWidget(btnRead_);
    buttons->addWidget(btnStop_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fraFile);
    layout->addLayout(middle);
    layout->addWidget(prgBar_);
    layout->addWidget(lblRate_);
    layout->addWidget(lblStatus_);
    layout->addLayout(buttons);

    connect(btnBrowse_, &QPushButton::clicked, this, &frmRomData::btnBrowse_Click);
    connect(btnRead_, &QPushButton::clicked, this, &frmRomData::btnRead_Click);
    connect(btnStop_, &QPushButton::clicked, this, &frmRomData::btnStop_Click);

    stopWait_ = new QTimer(this);
    stopWait_->setSingleShot(true);
    stopWait_->setInterval(kStopWaitMs);
    connect(stopWait_, &QTimer::timeout, this, &frmRomData::onStopWait);
    replyWatch_ = new ReplyWatch(
        this, [this] { askAgain(); }, [this] { giveUp(); }, ReplyWatch::kOneShotWaitMs);

    txtStart_->setText(host_.settings.read(S(kSection), S("StartAddress")));
    txtEnd_->setText(host_.settings.read(S(kSection), S("StopAddress")));

    closeOnEscape(this);
    nameForAccessibility(this);

    connect(&host_.link, &EcuLink::stateChanged, this, &frmRomData::updateStart);
    EcuLink::Claim claim;
    claim.receiver = [this](const QByteArray& bytes) {
        if (host_.link.readMode() == memread::FastMode) getRomdataFast(bytes);
        if (host_.link.readMode() == memread::SlowMode) getRomdataSlow(bytes);
    };
    claim.granted = [this] {
        host_.link.run(this, LinkSequence().stopStream().then([this] {
            granted_ = true;
            updateStart();
        }));
    };
    claim.broken = [this] { askAgain(); };
    claim.resumed = [this] {
        if (!download_ || !inFlight_) return host_.link.run(this, LinkSequence().stopStream());
        lblStatus_->clear();
        LinkSequence s;
        s.stopStream().mode(download_->fast() ? memread::FastMode : memread::SlowMode);
        sendRequest(std::move(s), *inFlight_);
    };
    auto waiting = noteWhileWaiting(this, claim, S("the ROM dump"));
    claimLink(
        host_, this, std::move(claim),
        [this] {
            if (!download_) return;
            // The dump waits, keeping what was confirmed, and goes on once the link is back.
            awaiting_ = false;
            replyWatch_->stop();
            stopWait_->stop();
            lblStatus_->setText(
                S("The ECU port was lost at %1: the dump goes on when it comes back.")
                    .arg(stoppedAt()));
        },
        waiting);
}

void frmRomData::updateStart() {
    // A dump needs an ECU that answers: Start waits for the link.
    btnRead_->setEnabled(!download_ && granted_ && host_.link.connected());
}

void frmRomData::btnBrowse_Click() {
    const QString chosen =
        host_.dialogs.saveFileName(this, QFileInfo(txtPath_->text()).absolutePath(), S("rom.bin"),
                                   S("Bin Files|*.bin|All Files|*.*"), S("bin"));
    if (!chosen.isEmpty()) txtPath_->setText(QDir::toNativeSeparators(chosen));
}

bool frmRomData::openDump(const QString& path) {
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (info.isSymLink() || (info.exists() && !info.isFile())) {
        host_.dialogs.message(
            this, S("Cannot write the dump to %1: it is not a regular file.").arg(shown),
            MessageKind::Warning);
        return false;
    }
    if (!host_.dialogs.mayReplace(this, path)) return false;
    // The dump goes to a temporary file beside the chosen one, which replaces it when the dump
    // ends with bytes read (every one confirmed): a dump that read nothing leaves the old file.
    file_ = std::make_unique<QSaveFile>(path);
    if (!file_->open(QIODevice::WriteOnly)) {
        host_.dialogs.message(this,
                              S("Cannot write the dump to %1: %2").arg(shown, file_->errorString()),
                              MessageKind::Warning);
        file_.reset();
        return false;
    }
    return true;
}

void frmRomData::btnRead_Click() {
    if (download_ || !btnRead_->isEnabled()) return;
    const auto command = memoryReadCommand(host_.settings);
    if (!command) {
        host_.dialogs.message(this, badReadCommandMessage(host_.settings, S("download")),
                              MessageKind::Warning);
        return;
    }
    command_ = *command;
    txtStart_->setText(forceLastDigit(txtStart_->text(), u'0'));
    txtEnd_->setText(forceLastDigit(txtEnd_->text(), u'F'));
    const RangeCheck range = checkRange(txtStart_->text(), txtEnd_->text());
    if (range.error != RangeCheck::None) {
        host_.dialogs.message(this,
                              range.error == RangeCheck::Start ? S("Invalid Start Address")
                                                               : S("Invalid Stop Address"),
                              MessageKind::Warning);
        return;
    }
    if (!openDump(txtPath_->text())) return;
    download_.emplace(range.start, range.stop, optFast_->isChecked());
    written_ = 0;
    awaiting_ = false;
    prgBar_->setRange(0, range.stop - range.start);
    prgBar_->setValue(0);
    lblRate_->clear();
    lblStatus_->clear();
    clock_.start();
    setRunning(true);
    LinkSequence s;
    s.mode(download_->fast() ? memread::FastMode : memread::SlowMode);
    sendNext(std::move(s));
}

void frmRomData::setRunning(bool on) {
    btnRead_->setEnabled(false);
    if (!on) updateStart();
    btnBrowse_->setEnabled(!on);
    btnStop_->setEnabled(on);
    // The range and the file stay as they are until the dump ends.
    for (QWidget* w : {static_cast<QWidget*>(txtPath_), static_cast<QWidget*>(txtStart_),
                       static_cast<QWidget*>(txtEnd_), static_cast<QWidget*>(optFast_),
                       static_cast<QWidget*>(optSlow_)})
        w->setEnabled(!on);
}

void frmRomData::sendNext(LinkSequence s) {
    const auto request = download_->next();
    if (!request) {
        s.then([this] { finish(); });
    } else {
        lblAddress_->setText(hexText(request->shown, 1));
        prgBar_->setValue(request->progress);
        return sendRequest(std::move(s), *request);
    }
    host_.link.run(this, std::move(s));
}

void frmRomData::sendRequest(LinkSequence s, const RomDownload::Request& r) {
    inFlight_ = r;
    if (download_->fast())
        sendCommFast(s, r);
    else
        sendCommSlow(s, r);
    s.onEnd([this](bool ok) {
        if (ok || !download_) return;
        if (host_.link.lastFailure() == EcuLink::Failure::LineBusy) {
            // The ECU would not stop streaming: this try is over, the next asks again.
            awaiting_ = true;
            return replyWatch_->failed();
        }
        // A closed port pauses the dump like a lost one; the link's retries bring it back.
        lblStatus_->setText(S("The ECU port is closed at %1: the dump goes on when it comes back.")
                                .arg(stoppedAt()));
    });
    host_.link.run(this, std::move(s));
}

void frmRomData::askAgain() {
    if (!download_ || !awaiting_ || !inFlight_) return;
    awaiting_ = false;
    // The bare stop, as after a reply: the request's settle says it again if it was lost.
    LinkSequence s;
    s.write(ecu::StreamStop);
    sendRequest(std::move(s), *inFlight_);
}

void frmRomData::giveUp() {
    if (!download_ || !awaiting_) return;
    awaiting_ = false;
    host_.link.run(this, LinkSequence().stopStream());
    finish(
        S("No answer from the ECU at %1 after %2 tries:").arg(stoppedAt()).arg(ReplyWatch::kTries));
}

void frmRomData::sendCommFast(LinkSequence& s, const RomDownload::Request& r) {
    const QByteArray request = fastRequest(command_, r.first);
    const int half = int(request.size() / 2);
    s.threshold(ecu::ArmThreshold)
        .ask(request.left(half))
        .wait(memread::FastPauseMs)
        .write(request.mid(half))
        .wait(memread::FastPauseMs)
        .settle()
        .discard()
        .threshold(agreedThreshold(memread::FastBytes))
        .frames(memread::FastBytes, FrameRule::Once)
        .then([this] {
            awaiting_ = true;
            replyWatch_->expect();
        })
        .startStream();
}

void frmRomData::sendCommSlow(LinkSequence& s, const RomDownload::Request& r) {
    s.threshold(ecu::ArmThreshold)
        .ask(slowWakeUp())
        .write(single_.request(command_, r.first))
        .wait(memread::SlowPauseMs)
        .settle()
        .discard()
        .threshold(single_.threshold())
        .frames(single_.times(), FrameRule::Once)
        .then([this] {
            awaiting_ = true;
            replyWatch_->expect();
        })
        .startStream();
}

void frmRomData::getRomdataFast(const QByteArray& bytes) {
    if (!awaiting_ || !download_ || !download_->fast()) return;
    const auto reply = findFastReply(bytes);
    if (reply) onReply(reply->data(), int(reply->size()));
}

void frmRomData::getRomdataSlow(const QByteArray& bytes) {
    if (!awaiting_ || !download_ || download_->fast()) return;
    const auto reply = single_.take(bytes);
    if (!reply) return askAgain(); // its bytes disagree: a spoiled request or a spoiled frame
    onReply(&*reply, 1);
}

void frmRomData::onReply(const uint8_t* data, int count) {
    awaiting_ = false;
    replyWatch_->answered();
    if (file_->write(reinterpret_cast<const char*>(data), count) != count) {
        host_.link.run(this, LinkSequence().stopStream());
        return finish(S("Cannot write to %1: %2; stopped at %3.")
                          .arg(QDir::toNativeSeparators(file_->fileName()), file_->errorString(),
                               stoppedAt()));
    }
    written_ += count;
    lblRate_->setText(downloadRateText(written_, download_->total(), clock_.elapsed()));
    LinkSequence s;
    // The stop byte alone, no pause: the next request's own pauses let the ECU fall silent,
    // and its settle outwaits what the line still holds of this stream.
    s.write(ecu::StreamStop);
    sendNext(std::move(s));
}

void frmRomData::btnStop_Click() {
    if (!download_) return;
    download_->stopEarly();
    stopWait_->start();
}

void frmRomData::onStopWait() {
    if (!download_) return;
    // The reply in flight never came: what was read is all there is.
    awaiting_ = false;
    host_.link.cancel(this);
    host_.link.run(this, LinkSequence().stopStream());
    finish(S("No answer from the ECU: stopped at %1.").arg(stoppedAt()));
}

QString frmRomData::stoppedAt() const {
    return download_ ? hexText(uint16_t(download_->start() + written_), 1) : QString();
}

void frmRomData::finish(const QString& why, bool saveRange) {
    if (!download_) return;
    stopWait_->stop();
    replyWatch_->stop();
    awaiting_ = false;
    const QString path = QDir::toNativeSeparators(file_->fileName());
    const qint64 total = download_->total();
    const bool whole = written_ == total;
    download_.reset();
    inFlight_.reset();
    QString text;
    if (written_ == 0) {
        // Nothing was confirmed: the file the user agreed to replace stays as it was.
        file_->cancelWriting();
        text = S("Nothing was read; %1 is left as it was.").arg(path);
        if (!why.isEmpty()) text = why + u' ' + text;
    } else if (!file_->commit()) {
        text = S("The dump could not be saved to %1: %2. Nothing was written.")
                   .arg(path, file_->errorString());
    } else if (whole) {
        text = S("Finished: %1 bytes written to %2.").arg(written_).arg(path);
    } else {
        text = S("%1 of %2 bytes written to %3.").arg(written_).arg(total).arg(path);
        if (!why.isEmpty()) text = why + u' ' + text;
    }
    file_.reset();
    lblStatus_->setText(text);
    setRunning(false);
    if (!saveRange) return;
    host_.settings.save(S(kSection), S("StartAddress"), txtStart_->text());
    host_.settings.save(S(kSection), S("StopAddress"), txtEnd_->text());
}

void frmRomData::closeEvent(QCloseEvent* event) {
    // The file keeps exactly the bytes confirmed so far.
    finish(QString(), false);
    event->accept();
    host_.launcher.toolClosed(this);
}

} // namespace kx
