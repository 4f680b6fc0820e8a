#include "tools/frmSelfDiag.h"

#include "link/EcuLink.h"
#include "link/SerialPort.h"
#include "ui/link_claim.h"
#include "ui/ui_helpers.h"
#include "util/text.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace kx {

frmSelfDiag::frmSelfDiag(const Host& host) : QWidget(host.window, Qt::Window), host_(host) {
    setObjectName(S("frmSelfDiag"));
    setWindowTitle(S("Self Diagnostics"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* frame = new QGroupBox(S("Diagnostic Codes"));
    frame->setObjectName(S("fraCodes"));
    txtFaults_ = new QPlainTextEdit;
    txtFaults_->setObjectName(S("txtFaults"));
    showsValue(txtFaults_, S("Diagnostic Codes"));
    txtFaults_->setReadOnly(true);
    txtFaults_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtFaults_->setMinimumSize(500, 200);
    auto* fl = new QVBoxLayout(frame);
    fl->addWidget(txtFaults_);

    btnReset_ = new QPushButton(S("Reset  ECU"));
    btnReset_->setObjectName(S("btnReset"));
    btnReset_->setMinimumSize(120, 30);
    connect(btnReset_, &QPushButton::clicked, this, &frmSelfDiag::btnReset_Click);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnReset_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);

    closeOnEscape(this);
    nameForAccessibility(this);
    resize(580, 320);

    EcuLink::Claim claim;
    claim.receiver = [this](const QByteArray& bytes) { getSelfDiagData(bytes); };
    claim.granted = [this] { host_.link.run(this, readCodes()); };
    claim.resumed = claim.granted;
    claim.rearm = claim.granted;
    // A lost link cannot erase anything; the codes shown stay as they were read.
    auto waiting = noteWhileWaiting(this, claim, S("the fault code list"));
    claimLink(
        host_, this, std::move(claim), [this] { btnReset_->setEnabled(false); }, waiting);
}

LinkSequence frmSelfDiag::readCodes() {
    LinkSequence s;
    s.stopStream().mode(ReceiveMode::SelfDiag);
    const LinkSequence arming = iniSelfDiag();
    s.append(arming);
    s.startStream().then([this] { btnReset_->setEnabled(true); });
    return s;
}

void frmSelfDiag::getSelfDiagData(const QByteArray& bytes) {
    if (host_.link.readMode() != ReceiveMode::SelfDiag) return;
    kx::getSelfDiagData(bytes, faults_);
    displayCodes(faults_);
}

void frmSelfDiag::displayCodes(const FaultBuffer& faults) {
    // The text box breaks lines at "\n"; the fault text uses "\r\n".
    QString text = displayCodesText(faults);
    text.replace(S("\r\n"), S("\n"));
    if (txtFaults_->toPlainText() != text) txtFaults_->setPlainText(text);
}

void frmSelfDiag::btnReset_Click() {
    // A closed port cannot erase anything: the codes shown stay as they are.
    if (!host_.link.port().isOpen() || !btnReset_->isEnabled()) return;
    LinkSequence s;
    // The frames that arrive during the erase go nowhere (mode 0).
    s.stopStream().mode(ReceiveMode::None).then([this] {
        txtFaults_->setPlainText(S("****  RESETTING ECU  ****"));
        btnReset_->setEnabled(false);
    });
    s.write(selfdiag::Erase).startStream().wait(1000);
    const LinkSequence again = readCodes();
    s.append(again);
    s.onEnd([this](bool ok) {
        if (ok) return;
        // Not erased: show the codes as they were read.
        displayCodes(faults_);
        btnReset_->setEnabled(host_.link.port().isOpen());
    });
    host_.link.run(this, std::move(s));
}

void frmSelfDiag::closeEvent(QCloseEvent* event) {
    event->accept();
    // The link goes back to the main window with a fresh identification.
    host_.launcher.toolClosed(this);
}

} // namespace kx
