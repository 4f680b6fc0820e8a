#include "tools/frmRegTest.h"

#include "app/Form2.h"
#include "app/ui_helpers.h"
#include "link/SerialPort.h"
#include "link/ecu_protocol.h"
#include "settings/frmSettings.h"
#include "tools/probe_report.h"
#include "util/hex.h"
#include "util/text.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace kx {

namespace {
constexpr int kReceiveMode = 8;
constexpr int kProbeTimeoutMs = 500;
constexpr uint32_t kProbePauseMs = 10;

} // namespace

frmRegTest::frmRegTest(Form2& main, frmSettings* settings)
    : QWidget(&main, Qt::Window), main_(main), settings_(settings) {
    setObjectName(S("frmRegTest"));
    setWindowTitle(S("Live Register Test"));
    setAttribute(Qt::WA_DeleteOnClose);

    const ProbeReport report =
        makeProbeReport(S("Active registers"), S("fraRegisters"),
                        fontMetrics().horizontalAdvance(registerLine(0x23)) + 40, 260);
    lblInfo_ = report.lblInfo;
    txtRegisters_ = report.txtRegisters;
    auto* status = report.status;
    auto* group = report.frame;

    btnUpdate_ = new QPushButton(S("Update Gauge Selection"));
    btnUpdate_->setObjectName(S("btnUpdate"));
    btnUpdate_->setEnabled(false);
    btnClose_ = new QPushButton(S("Close"));
    btnClose_->setObjectName(S("btnClose"));
    btnClose_->setEnabled(false);
    connect(btnUpdate_, &QPushButton::clicked, this, &frmRegTest::btnUpdate_Click);
    connect(btnClose_, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnUpdate_);
    buttons->addWidget(btnClose_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(status);
    layout->addWidget(group);
    layout->addLayout(buttons);

    Timer1_ = new QTimer(this);
    Timer1_->setObjectName(S("Timer1"));
    Timer1_->setInterval(kProbeTimeoutMs);
    connect(Timer1_, &QTimer::timeout, this, &frmRegTest::Timer1_Timer);

    closeOnEscape(this);
    nameForAccessibility(this);
}

void frmRegTest::Form_Load() {
    main_.ReadMode = kReceiveMode;
    main_.MSComm1().setThreshold(ecu::ArmThreshold);
    lblInfo_->setText(S("- Register 0"));
    if (!probe()) complete();
}

bool frmRegTest::probe() {
    QPointer<frmRegTest> self(this);
    SerialPort& port = main_.MSComm1();
    if (!port.write(registerProbe(scan_.current()))) return false;
    ++busy_;
    main_.WAITmS(kProbePauseMs);
    if (!self) return true;
    --busy_;
    if (closePending_) {
        finishBusy();
        return true;
    }
    port.discard();
    awaiting_ = true;
    // The very first probe waits for its answer however long it takes.
    if (scan_.current() != 0) Timer1_->start();
    if (!startData(port)) {
        awaiting_ = false;
        Timer1_->stop();
        return false;
    }
    return true;
}

bool frmRegTest::stopStream() {
    QPointer<frmRegTest> self(this);
    ++busy_;
    stopData(main_.MSComm1());
    if (!self) return false;
    --busy_;
    if (closePending_) {
        finishBusy();
        return false;
    }
    return true;
}

void frmRegTest::getData(const QByteArray& bytes) {
    // Bytes that come while no probe is out belong to an earlier one.
    if (!awaiting_ || busy_ > 0) return;
    awaiting_ = false;
    Timer1_->stop();
    if (!stopStream()) return;
    if (scan_.answer(bytes)) {
        QString shown = scan_.report();
        shown.replace(S("\r\n"), S("\n"));
        txtRegisters_->setPlainText(shown.trimmed());
    }
    iniRegTest();
}

void frmRegTest::Timer1_Timer() {
    Timer1_->stop();
    if (!awaiting_ || busy_ > 0) return;
    awaiting_ = false;
    if (!stopStream()) return;
    iniRegTest();
}

void frmRegTest::iniRegTest() {
    if (closePending_ || closed_) return;
    if (!scan_.next()) return complete();
    lblInfo_->setText(S("- Register ") + hexText(scan_.current(), 1));
    if (!probe()) complete();
}

void frmRegTest::complete() {
    awaiting_ = false;
    Timer1_->stop();
    scan_.stop();
    lblInfo_->setText(S("- Completed !"));
    btnUpdate_->setEnabled(true);
    btnClose_->setEnabled(true);
}

void frmRegTest::finishBusy() {
    if (closePending_ && busy_ == 0) QTimer::singleShot(0, this, &QWidget::close);
}

void frmRegTest::btnUpdate_Click() {
    if (settings_) settings_->setGaugeChoices(offeredGauges(scan_.supported()));
    close();
}

void frmRegTest::closeEvent(QCloseEvent* event) {
    if (closed_) return event->accept();
    Timer1_->stop();
    awaiting_ = false;
    if (busy_ > 0) {
        // Mid-wait: let the step in progress end, then close for real.
        closePending_ = true;
        hide();
        return event->ignore();
    }
    closed_ = true;
    if (main_.regTest == this) main_.regTest = nullptr;
    QPointer<frmRegTest> self(this);
    main_.btnConnect_Click();
    if (self) event->accept();
}

} // namespace kx
