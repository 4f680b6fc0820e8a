#include "tools/frmECUfind.h"

#include "app/Form2.h"
#include "app/ui_helpers.h"
#include "link/SerialPort.h"
#include "tools/probe_report.h"
#include "util/hex.h"
#include "util/text.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace kx {

namespace {
constexpr int kReceiveMode = 16;
constexpr int kThreshold = 20;
constexpr uint32_t kWakePauseMs = 20;
constexpr uint32_t kBytePauseMs = 100;
} // namespace

frmECUfind::frmECUfind(Form2& main) : QWidget(&main, Qt::Window), main_(main) {
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
}

void frmECUfind::iniECUfind() {
    if (started_ || closed_ || closePending_) return;
    started_ = true;
    QPointer<frmECUfind> self(this);
    probing_ = true;
    main_.openPort();
    if (!self) return;
    if (closePending_) return complete();
    SerialPort& port = main_.MSComm1();
    main_.ReadMode = kReceiveMode;
    port.setThreshold(kThreshold);
    const QByteArray wake(1, char(0xFF));
    bool ok = port.write(wake) && port.write(wake);
    if (ok) {
        main_.WAITmS(kWakePauseMs);
        if (!self) return;
        if (closePending_) return complete();
        port.discard();
    }
    probing_ = false;
    // Without a working port there is nothing to sweep.
    if (!ok) return complete();
    probeCurrent();
}

void frmECUfind::probeCurrent() {
    if (closed_) return;
    QPointer<frmECUfind> self(this);
    probing_ = true;
    const uint8_t id = sweep_.current();
    lblInfo_->setText(S("- ") + hexText(id, 1));
    bool ok = true;
    for (char b : ecuIdProbe(id)) {
        ok = main_.MSComm1().write(QByteArray(1, b));
        if (!ok) break;
        main_.WAITmS(kBytePauseMs);
        if (!self) return;
    }
    probing_ = false;
    if (!ok) return complete();
    main_.setProgBar();
    getData();
    iniRegTest();
}

void frmECUfind::getData() {
    SerialPort& port = main_.MSComm1();
    if (port.bufferedCount() == 0) return;
    if (sweep_.answer(port.readAll())) {
        QString shown = sweep_.report();
        shown.replace(S("\r\n"), S("\n"));
        txtRegisters_->setPlainText(shown.trimmed());
    }
}

void frmECUfind::iniRegTest() {
    if (!sweep_.next()) return complete();
    main_.MSComm1().discard();
    // Back to the event loop between ids: a cancel or a close takes effect here.
    QTimer::singleShot(0, this, &frmECUfind::probeCurrent);
}

void frmECUfind::complete() {
    probing_ = false;
    sweep_.stop();
    lblInfo_->setText(S("- Completed !"));
    btnClose_->setEnabled(true);
    btnCancel_->setEnabled(false);
    if (closePending_) QTimer::singleShot(0, this, &QWidget::close);
}

void frmECUfind::btnCancel_Click() {
    sweep_.cancel();
    btnCancel_->setEnabled(false);
}

void frmECUfind::closeEvent(QCloseEvent* event) {
    if (closed_) return event->accept();
    btnCancel_Click();
    if (probing_) {
        // The probe in progress finishes first; the window closes when the finder completes.
        closePending_ = true;
        hide();
        return event->ignore();
    }
    closed_ = true;
    QPointer<frmECUfind> self(this);
    main_.btnConnect_Click();
    if (self) event->accept();
}

} // namespace kx
