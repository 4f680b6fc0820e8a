#include "logs/frmDataLog.h"

#include "link/SerialPort.h"
#include "live/gauge_setup.h"
#include "live/live_state.h"
#include "logs/log_selection.h"
#include "ui/Dialogs.h"
#include "ui/link_claim.h"
#include "ui/ui_helpers.h"
#include "util/settings.h"
#include "util/text.h"
#include "util/ticks.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace kx {

namespace {
const QString DataLog = QStringLiteral("DataLog");
} // namespace


frmDataLog::frmDataLog(const Host& host) : QWidget(host.window, Qt::Window), host_(host) {
    setObjectName(S("frmDataLog"));
    setWindowTitle(S("Data Logging"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto& s = host_.settings;
    if (s.read(DataLog, S("Path")).isEmpty()) {
        const QString folder = defaultLogFolder();
        QDir().mkpath(folder);
        s.save(DataLog, S("Path"), folder);
    }
    if (s.read(DataLog, S("Param0")).isEmpty()) {
        for (int g = 0; g < kLogGaugeCount; ++g)
            s.save(DataLog, logParamKey(g), S("1"));
        for (int i = 0; i < kLogIndicatorCount; ++i)
            s.save(DataLog, logRegKey(i), S("1"));
    }

    auto* location = new QGroupBox(S("Logfile location"));
    auto* ll = new QGridLayout(location);
    lblDirectory_ = new QLabel(s.read(DataLog, S("Path")));
    lblDirectory_->setObjectName(S("lblDirectory"));
    showsValue(lblDirectory_, S("Directory:"));
    lblDirectory_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    txtPath_ = new QLineEdit(freeLogName(s.read(DataLog, S("Path")),
                                         logFileName(QDateTime::currentDateTime())));
    txtPath_->setObjectName(S("txtPath"));
    btnBrowse_ = new QPushButton(S("Browse"));
    btnBrowse_->setObjectName(S("btnBrowse"));
    auto* dirCaption = new QLabel(S("Directory:"));
    auto* fileCaption = new QLabel(S("File Name:"));
    fileCaption->setBuddy(txtPath_);
    ll->addWidget(dirCaption, 0, 0);
    ll->addWidget(lblDirectory_, 0, 1, 1, 2);
    ll->addWidget(fileCaption, 1, 0);
    ll->addWidget(txtPath_, 1, 1);
    ll->addWidget(btnBrowse_, 1, 2);
    ll->setColumnStretch(1, 1);

    btnStart_ = new QPushButton(S("START"));
    btnStart_->setObjectName(S("btnStart"));
    btnStop_ = new QPushButton(S("STOP"));
    btnStop_->setObjectName(S("btnStop"));
    btnStop_->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnStart_);
    buttons->addWidget(btnStop_);
    buttons->addStretch();

    auto* params = new QGroupBox(S("Select parameters to log"));
    auto* pl = new QGridLayout(params);
    for (int g = 0; g < kLogGaugeCount; ++g) {
        auto* c = new QCheckBox(S(kLogGaugeCaptions[size_t(g)]));
        c->setObjectName(QStringLiteral("chcLog%1").arg(g));
        c->setEnabled(false);
        chcLog_[size_t(g)] = c;
        pl->addWidget(c, g % 9, g / 9);
    }
    for (int i = 0; i < kLogIndicatorCount; ++i) {
        auto* c = new QCheckBox(S(kLogIndicatorNames[size_t(i)]));
        c->setObjectName(QStringLiteral("chcLogStr%1").arg(i));
        c->setEnabled(false);
        chcLogStr_[size_t(i)] = c;
        pl->addWidget(c, i % 9, 3 + i / 9);
    }

    // What the recording does: its records, time and size, or why it waits, or what it saved.
    lblStatus_ = new QLabel;
    lblStatus_->setObjectName(S("lblStatus"));
    lblStatus_->setWordWrap(true);
    lblStatus_->setVisible(false);
    // The header fixes the columns of a recording, so the boxes wait for the next START.
    lblParamNote_ = new QLabel(S("Logging: changes to these boxes apply from the next START."));
    lblParamNote_->setObjectName(S("lblParamNote"));
    lblParamNote_->setWordWrap(true);
    lblParamNote_->hide();
    pl->addWidget(lblParamNote_, 9, 0, 1, 5);

    lblLinkNote_ = noteBanner(this, S("lblLinkNote"), S("ECU link status"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblLinkNote_);
    layout->addWidget(location);
    layout->addLayout(buttons);
    layout->addWidget(lblStatus_);
    layout->addWidget(params);
    statusTimer_ = new QTimer(this);
    statusTimer_->setInterval(1000);
    connect(statusTimer_, &QTimer::timeout, this, &frmDataLog::showStatus);
    connect(&host_.link, &EcuLink::stateChanged, this, &frmDataLog::onLinkState);
    connect(&host_.link, &EcuLink::silenceChanged, this, &frmDataLog::onSilence);

    connect(btnStart_, &QPushButton::clicked, this, &frmDataLog::btnStart_Click);
    connect(btnStop_, &QPushButton::clicked, this, &frmDataLog::btnStop_Click);
    connect(btnBrowse_, &QPushButton::clicked, this, &frmDataLog::btnBrowse_Click);

    // The boxes the current live-data request can fill, set from the stored choice.
    const LogSelection offered = loggableColumns(host_.state.setup, widebandSetUp(s));
    const LogSelection chosen = storedLogSelection(s, host_.state.setup);
    for (int g = 0; g < kLogGaugeCount; ++g) {
        chcLog_[size_t(g)]->setEnabled(offered.gauges[size_t(g)]);
        chcLog_[size_t(g)]->setChecked(chosen.gauges[size_t(g)]);
    }
    for (int i = 0; i < kLogIndicatorCount; ++i) {
        chcLogStr_[size_t(i)]->setEnabled(offered.indicators[size_t(i)]);
        chcLogStr_[size_t(i)]->setChecked(chosen.indicators[size_t(i)]);
    }

    closeOnEscape(this);
    nameForAccessibility(this);
}

frmDataLog::~frmDataLog() = default;

bool frmDataLog::isLogging() const {
    return btnStop_->isEnabled();
}

LogSelection frmDataLog::selection() const {
    LogSelection sel;
    for (int g = 0; g < kLogGaugeCount; ++g)
        sel.gauges[size_t(g)] = chcLog_[size_t(g)]->isChecked();
    for (int i = 0; i < kLogIndicatorCount; ++i)
        sel.indicators[size_t(i)] = chcLogStr_[size_t(i)]->isChecked();
    sel.wbDetail = widebandSetUp(host_.settings) && sel.gauges[channel::Wideband];
    return sel;
}

void frmDataLog::btnStart_Click() {
    const QString dir = lblDirectory_->text();
    ExistingFile existing = ExistingFile::Refuse;
    if (QFileInfo::exists(dir + txtPath_->text())) {
        const QString other = freeLogName(dir, txtPath_->text());
        const QString ask = S("The file '%1' already exists.\n\nReplace it? No keeps it and logs "
                              "to '%2'.")
                                .arg(dir + txtPath_->text(), other);
        if (host_.dialogs.question(this, ask))
            existing = ExistingFile::Replace;
        else
            txtPath_->setText(other);
    }
    // The program's own units name the columns, whatever a loaded log did to the catalogue.
    const Units units = host_.state.units;
    const LogGaugeNames names = catalogueNames(units.fahr, units.mph);
    const QString path = dir + txtPath_->text();
    if (const auto error = writer_.start(path, names, selection(), ticks(), existing)) {
        // The file could not be made: say why and stay idle.
        host_.dialogs.message(this, error->text, MessageKind::Warning);
        return;
    }
    btnStart_->setEnabled(false);
    btnBrowse_->setEnabled(false);
    btnStop_->setEnabled(true);
    lblParamNote_->show();
    waiting_.clear();
    showStatus();
    statusTimer_->start();
    auto& s = host_.settings;
    for (int g = 0; g < kLogGaugeCount; ++g)
        s.save(DataLog, logParamKey(g), chcLog_[size_t(g)]->isChecked() ? S("1") : S("0"));
    for (int i = 0; i < kLogIndicatorCount; ++i)
        s.save(DataLog, logRegKey(i), chcLogStr_[size_t(i)]->isChecked() ? S("1") : S("0"));
}

void frmDataLog::btnStop_Click() {
    if (const auto error = endLogging()) host_.dialogs.message(this, *error, MessageKind::Warning);
}

std::optional<QString> frmDataLog::endLogging() {
    // The frame the spike filter holds has no successor to vouch for it yet: it is not logged.
    const uint64_t records = writer_.records();
    const qint64 size = writer_.size();
    const QString path = writer_.path();
    auto error = writer_.stop();
    statusTimer_->stop();
    waiting_.clear();
    lblStatus_->setText(error ? *error : savedText(records, size, path));
    lblStatus_->setVisible(true);
    btnStart_->setEnabled(true);
    btnBrowse_->setEnabled(true);
    btnStop_->setEnabled(false);
    lblParamNote_->hide();
    // A new default, so that the next START does not land on the recording just made.
    txtPath_->setText(
        freeLogName(lblDirectory_->text(), logFileName(QDateTime::currentDateTime())));
    return error;
}

void frmDataLog::showWaiting(const QString& holder) {
    holder_ = holder;
    lblLinkNote_->setText(waitingNote(holder, S("logging")));
    lblLinkNote_->show();
    showStatus();
}

QString frmDataLog::linkNote() const {
    return lblLinkNote_->isHidden() ? QString() : lblLinkNote_->text();
}

void frmDataLog::saveLogData(uint32_t at) {
    if (!holder_.isEmpty()) {
        // The stream is the logger's (or shared with it) at last.
        holder_.clear();
        lblLinkNote_->hide();
        showStatus();
    }
    if (const auto error = writer_.recordLive(host_.state.live, at)) failLogging(*error);
}

void frmDataLog::failLogging(const QString& error) {
    // A record could not be written (a full disk, a pulled USB stick): stop, keep what is in
    // the file, and tell the user once the receive event is over.
    const auto closeError = endLogging();
    QString text = error + S("\n\nLogging has stopped.");
    if (closeError) text += u'\n' + *closeError;
    QPointer<frmDataLog> self(this);
    QTimer::singleShot(0, this, [self, text] {
        if (self) self->host_.dialogs.message(self, text, MessageKind::Warning);
    });
}

void frmDataLog::onLinkState(EcuLink::State state) {
    // The tool waited for has let go: the link reconnects and the stream follows.
    if (!holder_.isEmpty() && host_.link.holderName() != holder_) {
        holder_.clear();
        lblLinkNote_->hide();
    }
    if (!isLogging()) return;
    // A pulled cable or a dead ECU pauses the recording: the link tries again on its own, and
    // the same file goes on when the data comes back.
    if (state == EcuLink::State::Lost)
        waiting_ = S("ECU port %1 lost (%2): logging waits for it; no record is written.")
                       .arg(host_.link.device(), host_.link.lastProblem());
    else if (state == EcuLink::State::NoAnswer)
        waiting_ = S("The ECU does not answer: logging waits for it; no record is written.");
    else if (state == EcuLink::State::Connected)
        waiting_.clear();
    showStatus();
}

void frmDataLog::onSilence(bool silent) {
    if (!isLogging()) return;
    // No record is written while no frame comes; the gap shows in the time column.
    waiting_ = silent ? noDataText(host_.link.lastFrameAt()) +
                            S(": logging waits for it; no record is written.")
                      : QString();
    showStatus();
}

void frmDataLog::showStatus() {
    if (!isLogging()) return;
    const QString text =
        !waiting_.isEmpty() ? waiting_
        : !holder_.isEmpty()
            ? lblLinkNote_->text() + S(": no record is written until then.")
            : loggingText(writer_.records(), elapsedTicks(writer_.startTick(), ticks()),
                          writer_.size());
    if (lblStatus_->text() != text) lblStatus_->setText(text);
    lblStatus_->setVisible(true);
}

void frmDataLog::btnBrowse_Click() {
    // The stream pauses while the chooser is open, then the live data is armed again. The
    // chooser is modal: it opens from the window once the stop is done, never inside a step of
    // the link, whose other work (a retry, another window's turn) goes on meanwhile.
    QPointer<frmDataLog> self(this);
    host_.link.run(this, LinkSequence().stopStream().then([self] {
        if (self) QTimer::singleShot(0, self, &frmDataLog::chooseLocation);
    }));
}

void frmDataLog::chooseLocation() {
    QPointer<frmDataLog> self(this);
    const QString chosen = host_.dialogs.saveFileName(this, lblDirectory_->text(),
                                                      QFileInfo(logFileName(QDateTime::currentDateTime())).completeBaseName(),
                                                      S(kLogFileFilter), S("log"));
    if (!self) return;
    if (!chosen.isEmpty()) {
        const QFileInfo f(chosen);
        const QString dir = f.absolutePath() + QDir::separator();
        lblDirectory_->setText(dir);
        txtPath_->setText(f.fileName());
        host_.settings.save(DataLog, S("Path"), dir);
    }
    LinkSequence s = host_.launcher.iniFullData();
    s.startStream();
    host_.link.run(this, std::move(s));
}

void frmDataLog::closeEvent(QCloseEvent* event) {
    // The last records reach the disk only now: a failure here is a loss the user must hear
    // of, from the main window once this one is gone.
    if (const auto error = writer_.stop()) {
        Dialogs& dialogs = host_.dialogs;
        QWidget* main = host_.window;
        QTimer::singleShot(0, main, [&dialogs, main, text = *error] {
            dialogs.message(main, text, MessageKind::Warning);
        });
    }
    event->accept();
    // With the display the stream goes on for it; alone, the link goes back to identification.
    host_.launcher.toolClosed(this);
}

} // namespace kx
