#include "tools/frmRegTest.h"

#include "link/EcuLink.h"
#include "link/SerialPort.h"
#include "link/ecu_protocol.h"
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
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace kx {

namespace {
constexpr ReceiveMode kReceiveMode = ReceiveMode::RegisterTest;
constexpr int kProbeTimeoutMs = 500;
// A register that gets no answer within three times the slowest answer yet (and 100 ms more
// for the line) is taken as silent; never sooner than this.
constexpr int kShortestTimeoutMs = 250;
constexpr uint32_t kProbePauseMs = 10;
constexpr int kFirstProbeWaitMs = 2000;
constexpr int kFirstProbeTries = 3;

} // namespace

frmRegTest::frmRegTest(const Host& host, GaugesFound found)
    : QWidget(host.window, Qt::Window), host_(host), found_(std::move(found)) {
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

    prgProbe_ = new QProgressBar;
    prgProbe_->setObjectName(S("prgProbe"));
    prgProbe_->setAccessibleName(S("Registers probed"));
    prgProbe_->setRange(0, kLastProbedRegister + 1);
    prgProbe_->setValue(0);
    prgProbe_->setFormat(S("%v of %m registers"));

    btnUpdate_ = new QPushButton(S("Update Gauge Selection"));
    btnUpdate_->setObjectName(S("btnUpdate"));
    btnUpdate_->setEnabled(false);
    btnClose_ = new QPushButton(S("Close"));
    btnClose_->setObjectName(S("btnClose"));
    btnClose_->setEnabled(false);
    btnCancel_ = new QPushButton(S("Cancel"));
    btnCancel_->setObjectName(S("btnCancel"));
    connect(btnUpdate_, &QPushButton::clicked, this, &frmRegTest::btnUpdate_Click);
    connect(btnCancel_, &QPushButton::clicked, this, &frmRegTest::btnCancel_Click);
    connect(btnClose_, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnUpdate_);
    buttons->addWidget(btnCancel_);
    buttons->addWidget(btnClose_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(status);
    layout->addWidget(prgProbe_);
    layout->addWidget(group);
    layout->addLayout(buttons);

    Timer1_ = new QTimer(this);
    Timer1_->setObjectName(S("Timer1"));
    Timer1_->setInterval(kProbeTimeoutMs);
    connect(Timer1_, &QTimer::timeout, this, &frmRegTest::Timer1_Timer);

    closeOnEscape(this);
    nameForAccessibility(this);

    EcuLink::Claim claim;
    claim.receiver = [this](const QByteArray& bytes) { getData(bytes); };
    claim.granted = [this] { Form_Load(); };
    auto waiting = noteWhileWaiting(this, claim, S("the register test"));
    claimLink(
        host_, this, std::move(claim),
        [this] {
            if (!scan_.completed()) complete(false, S(" The ECU port was lost."));
        },
        waiting);
}

void frmRegTest::Form_Load() {
    LinkSequence s;
    s.stopStream().mode(kReceiveMode).threshold(ecu::ArmThreshold).then([this] {
        lblInfo_->setText(S("- Register 0"));
    });
    s.append(probe());
    host_.link.run(this, std::move(s));
}

LinkSequence frmRegTest::probe() {
    LinkSequence s;
    // Neither write is a sample of the line's hold: a register the ECU lacks gets no answer at
    // all, and the next bytes would count as one very late.
    s.write(registerProbe(scan_.current()))
        .wait(kProbePauseMs)
        .settle()
        .discard()
        .frames(1)
        // The answer is taken as soon as one frame and the next header are in, not after 100
        // bytes of a stream that only repeats it.
        .threshold(streamThreshold(1))
        .then([this] {
            awaiting_ = true;
            // The very first probe gives a slow ECU longer, and a few tries, before it counts
            // as no answer at all.
            Timer1_->start(scan_.current() == 0 ? kFirstProbeWaitMs : probeTimeoutMs());
            sinceStart_.start();
        });
    s.write(ecu::StreamStart).onEnd([this](bool ok) {
        if (!ok) complete(false, S(" The ECU link failed."));
    });
    return s;
}

void frmRegTest::getData(const QByteArray& bytes) {
    if (!awaiting_ || host_.link.readMode() != kReceiveMode) return;
    awaiting_ = false;
    Timer1_->stop();
    slowestAnswerMs_ = std::max(slowestAnswerMs_, int(sinceStart_.elapsed()));
    LinkSequence s;
    s.stopStream().then([this, bytes] {
        if (scan_.answer(bytes)) {
            QString shown = scan_.report();
            shown.replace(S("\r\n"), S("\n"));
            txtRegisters_->setPlainText(shown.trimmed());
        }
        iniRegTest();
    });
    host_.link.run(this, std::move(s));
}

void frmRegTest::Timer1_Timer() {
    Timer1_->stop();
    if (!awaiting_) return;
    awaiting_ = false;
    if (scan_.current() == 0 && !scan_.completed()) {
        if (++firstTries_ >= kFirstProbeTries) {
            host_.link.run(this, LinkSequence().stopStream());
            return complete(false, S(" No answer from the ECU to register 0."));
        }
        host_.link.run(this, LinkSequence().stopStream().append(probe()));
        return;
    }
    host_.link.run(this, LinkSequence().stopStream().then([this] { iniRegTest(); }));
}

void frmRegTest::iniRegTest() {
    showProgress();
    if (!scan_.next()) return complete(true);
    lblInfo_->setText(S("- Register ") + hexText(scan_.current(), 1));
    host_.link.run(this, probe());
}

int frmRegTest::probeTimeoutMs() const {
    return std::clamp(3 * slowestAnswerMs_ + 100, kShortestTimeoutMs, kProbeTimeoutMs);
}

void frmRegTest::showProgress() {
    prgProbe_->setValue(scan_.completed() ? prgProbe_->maximum() : scan_.current() + 1);
}

void frmRegTest::complete(bool whole, const QString& why) {
    awaiting_ = false;
    Timer1_->stop();
    scan_.stop();
    lblInfo_->setText(S("- Completed !") + why);
    if (whole) prgProbe_->setValue(prgProbe_->maximum());
    btnUpdate_->setEnabled(whole);
    btnCancel_->setEnabled(false);
    btnClose_->setEnabled(true);
}

void frmRegTest::btnCancel_Click() {
    if (scan_.completed()) return;
    if (host_.link.holds(this)) {
        host_.link.cancel(this);
        host_.link.run(this, LinkSequence().stopStream());
    } else {
        host_.link.release(this); // it was still waiting for the link: nothing was sent
    }
    complete(false, S(" Cancelled: the gauge lists are left as they were."));
}

void frmRegTest::btnUpdate_Click() {
    if (found_) found_(offeredGauges(scan_.supported()));
    close();
}

void frmRegTest::closeEvent(QCloseEvent* event) {
    Timer1_->stop();
    awaiting_ = false;
    event->accept();
    // Whatever was in flight ends here; the link goes back to identification.
    host_.launcher.toolClosed(this);
}

} // namespace kx
