#include "tools/frmSelfDiag.h"

#include "app/Form2.h"
#include "app/ui_helpers.h"
#include "link/SerialPort.h"
#include "util/text.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace kx {

frmSelfDiag::frmSelfDiag(Form2& main) : QWidget(&main, Qt::Window), main_(main) {
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
}

void frmSelfDiag::displayCodes(const FaultBuffer& faults) {
    // The text box breaks lines at "\n"; the fault text uses "\r\n".
    QString text = displayCodesText(faults);
    text.replace(S("\r\n"), S("\n"));
    if (txtFaults_->toPlainText() != text) txtFaults_->setPlainText(text);
}

void frmSelfDiag::btnReset_Click() {
    QPointer<frmSelfDiag> self(this);
    Form2& main = main_;
    SerialPort& port = main.MSComm1();
    // A closed port cannot erase anything: the codes shown stay as they are.
    if (!port.isOpen() || !btnReset_->isEnabled()) return;
    const auto gone = [&] { return !self || self->closed_; };

    main.stopData();
    if (gone()) return;
    main.ReadMode = 0; // the frames that arrive during the erase go nowhere
    txtFaults_->setPlainText(S("****  RESETTING ECU  ****"));
    btnReset_->setEnabled(false);
    const bool erased = port.write(QByteArray(1, char(selfdiag::Erase)));
    if (erased) {
        main.startData();
        main.WAITmS(1000);
        if (gone()) return;
        main.stopData();
        if (gone()) return;
    } else {
        // Not erased: show the codes as they were read.
        displayCodes(main.faults);
    }
    main.ReadMode = 6;
    main.iniSelfDiag();
    if (gone()) return;
    main.startData();
    btnReset_->setEnabled(true);
}

void frmSelfDiag::closeEvent(QCloseEvent* event) {
    if (closed_) return event->accept();
    closed_ = true;
    event->accept();
    // The link goes back to the main window with a fresh identification.
    main_.btnConnect_Click();
}

} // namespace kx
