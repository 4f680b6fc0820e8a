#include "tools/frmECUfind.h"

#include "link/EcuLink.h"
#include "link/SerialPort.h"
#include "tools/probe_report.h"
#include "ui/link_claim.h"
#include "ui/ui_helpers.h"
#include "util/hex.h"
#include "util/text.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kx {

namespace {
constexpr ReceiveMode kReceiveMode = ReceiveMode::EcuFind;
constexpr int kThreshold = 20;
constexpr uint32_t kWakePauseMs = 20;
constexpr uint32_t kBytePauseMs = 100;
} // namespace

frmECUfind::frmECUfind(const Host& host) : QWidget(host.window, Qt::Window), host_(host) {
    setObjectName(S("frmECUfind"));
    setWindowTitle(S("Active ECU test"));
    setAttribute(Qt::WA_DeleteOnClose);

    const ProbeReport report =
        makeProbeReport(S("Active ECU"), S("fraActiveEcu"),
                        fontMetrics().horizontalAdvance(ecuIdLine(0xEE)) * 2, 140);
    lblInfo_ = report.lblInfo;
    txtRegisters_ = report.txtRegisters;
    auto* status = report.status;
    auto* group = report.frame;

    auto* note = new QLabel(S("* Test may take up to 90 seconds"));
    note->setObjectName(S("lblNote"));
    btnCancel_ = new QPushButton(S("Cancel"));
    btnCancel_->setObjectName(S("btnCancel"));
    btnClose_ = new QPushButton(S("Close"));
    btnClose_->setObjectName(S("btnClose"));
    btnClose_->setEnabled(false);
    connect(btnCancel_, &QPushButton::clicked, this, &frmECUfind::btnCancel_Click);
    connect(btnClose_, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(note);
    buttons->addStretch();
    buttons->addWidget(btnCancel_);
    buttons->addWidget(btnClose_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(status);
    layout->addWidget(group);
    layout->addLayout(buttons);

    closeOnEscape(this);
    nameForAccessibility(this);

    EcuLink::Claim claim;
    claim.granted = [this] { iniECUfind(); };
    auto waiting = noteWhileWaiting(this, claim, S("the ECU search"));
    claimLink(
        host_, this, std::move(claim),
        [this] {
            if (!sweep_.completed()) complete(S(" The ECU port was lost."));
        },
        waiting);
}

void frmECUfind::iniECUfind() {
    // The stream stops, the port opens afresh, then two wake-up bytes whose answer is dropped.
    LinkSequence s;
    if (host_.link.port().isOpen()) s.stopStream();
    s.closePort().openPort().mode(kReceiveMode).threshold(kThreshold);
    s.write(0xFF).write(0xFF).wait(kWakePauseMs).discard().then([this] { probeCurrent(); });
    // Without a working port there is nothing to sweep.
    s.onEnd([this](bool ok) {
        if (!ok) complete();
    });
    host_.link.run(this, std::move(s));
}

void frmECUfind::probeCurrent() {
    const uint8_t id = sweep_.current();
    lblInfo_->setText(S("- ") + hexText(id, 1));
    LinkSequence s;
    s.writeEach(ecuIdProbe(id), kBytePauseMs).then([this] {
        host_.launcher.setProgBar();
        getData();
        iniRegTest();
    });
    s.onEnd([this](bool ok) {
        if (!ok) complete();
    });
    host_.link.run(this, std::move(s));
}

void frmECUfind::getData() {
    SerialPort& port = host_.link.port();
    if (port.bufferedCount() == 0) return;
    if (sweep_.answer(port.readAll())) {
        QString shown = sweep_.report();
        shown.replace(S("\r\n"), S("\n"));
        txtRegisters_->setPlainText(shown.trimmed());
    }
}

void frmECUfind::iniRegTest() {
    if (!sweep_.next()) return complete();
    host_.link.port().discard();
    probeCurrent();
}

void frmECUfind::complete(const QString& why) {
    sweep_.stop();
    lblInfo_->setText(S("- Completed !") + why);
    btnClose_->setEnabled(true);
    btnCancel_->setEnabled(false);
}

void frmECUfind::btnCancel_Click() {
    sweep_.cancel();
    btnCancel_->setEnabled(false);
}

void frmECUfind::closeEvent(QCloseEvent* event) {
    btnCancel_Click();
    event->accept();
    // The probe in flight ends with the window; the link goes back to identification.
    host_.launcher.toolClosed(this);
}

} // namespace kx
