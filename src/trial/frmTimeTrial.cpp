#include "trial/frmTimeTrial.h"

#include "gauges/gauge_geometry.h"
#include "link/EcuLink.h"
#include "live/live_state.h"
#include "ui/Dialogs.h"
#include "ui/link_claim.h"
#include "ui/ui_helpers.h"
#include "util/colour.h"
#include "util/numbers.h"
#include "util/settings.h"
#include "util/text.h"
#include "util/ticks.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kx {

namespace {
constexpr uint32_t kResultBlue = 0xFF0000;
constexpr uint32_t kBlack = 0x000000;
// Every time in seconds with hundredths ("8.00" beside "4.74"), the speed with the tenth the
// speed dial shows.
constexpr int kSecondsDecimals = 2;
constexpr int kSpeedDecimals = 1;

void setTextColour(QWidget* w, uint32_t colour) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colourFromBgr(colour));
    w->setPalette(p);
}

QLineEdit* textBox(const char* name, int width) {
    auto* t = new QLineEdit;
    t->setObjectName(S(name));
    t->setMaximumWidth(width);
    return t;
}
} // namespace

frmTimeTrial::frmTimeTrial(const Host& host)
    : QWidget(host.window, Qt::Window), host_(host),
      tap_(host.link, host.settings, ReceiveMode::TimeTrial) {
    setObjectName(S("frmTimeTrial"));
    setWindowTitle(S("Speed Trial"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* speedFrame = new QGroupBox(S("Speed"));
    lblSpeed_ = new QLabel(valueText(0, kSpeedDecimals));
    lblSpeed_->setObjectName(S("lblSpeed"));
    lblSpeed_->setAlignment(Qt::AlignCenter);
    QFont big = lblSpeed_->font();
    big.setPointSize(36);
    big.setBold(true);
    lblSpeed_->setFont(big);
    lblSpeed_->setMinimumWidth(200);
    showsValue(lblSpeed_, S("Speed"));
    auto* sl = new QVBoxLayout(speedFrame);
    sl->addWidget(lblSpeed_);

    btnStart_ = new QPushButton(S("Activate"));
    btnStart_->setObjectName(S("btnStart"));
    btnCancel_ = new QPushButton(S("Cancel"));
    btnCancel_->setObjectName(S("btnCancel"));
    btnCancel_->setEnabled(false);
    connect(btnStart_, &QPushButton::clicked, this, &frmTimeTrial::btnStart_Click);
    connect(btnCancel_, &QPushButton::clicked, this, &frmTimeTrial::btnCancel_Click);

    auto* selectFrame = new QGroupBox(S("Select Speed Trial"));
    auto* resultFrame = new QGroupBox(S("Result"));
    auto* sel = new QGridLayout(selectFrame);
    auto* res = new QGridLayout(resultFrame);
    const char* captions[kTrialCount] = {"0 - 60", "0 - 100", "50 - 100", "0 -", ""};
    txtCustomSpeed_ = textBox("txtCustomSpeed", 50);
    txtCustomStart_ = textBox("txtCustomStart", 50);
    txtCustomStop_ = textBox("txtCustomStop", 50);
    for (int i = 0; i < kTrialCount; ++i) {
        const QString n = QString::number(i);
        auto* box = new QCheckBox(S(captions[i]));
        box->setObjectName(S("chcTime") + n);
        chcTime_[size_t(i)] = box;
        sel->addWidget(box, i, 0);
        auto* time = new QLabel(valueText(0, kSecondsDecimals));
        time->setObjectName(S("lblTime") + n);
        time->setMinimumWidth(70);
        time->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        showsValue(time, S("Result ") + (i == 3   ? S("0 - custom")
                                         : i == 4 ? S("custom band")
                                                  : S(captions[i])));
        lblTime_[size_t(i)] = time;
        res->addWidget(time, i, 0);
    }
    auto* customRow = new QHBoxLayout;
    customRow->addWidget(txtCustomSpeed_);
    customRow->addStretch();
    sel->addLayout(customRow, 3, 1);
    auto* bandRow = new QHBoxLayout;
    auto* dash = new QLabel(S("-"));
    bandRow->addWidget(txtCustomStart_);
    bandRow->addWidget(dash);
    bandRow->addWidget(txtCustomStop_);
    bandRow->addStretch();
    sel->addLayout(bandRow, 4, 1);
    chcTime_[3]->setAccessibleName(S("0 - custom speed"));
    chcTime_[4]->setAccessibleName(S("Custom speed band"));

    lblMsg_ = new QLabel(S("* Time will start when Speed > Start speed"));
    lblMsg_->setObjectName(S("lblMsg"));
    lblMsg_->setEnabled(false);
    lblLink_ = noteBanner(nullptr, S("lblLink"), S("ECU link status"));

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btnStart_);
    buttons->addWidget(btnCancel_);
    buttons->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(speedFrame, 1);
    top->addLayout(buttons);
    auto* middle = new QHBoxLayout;
    middle->addWidget(selectFrame, 1);
    middle->addWidget(resultFrame);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblLink_);
    layout->addLayout(top);
    layout->addLayout(middle);
    layout->addWidget(lblMsg_);

    txtCustomSpeed_->setText(host_.settings.read(S("Trial"), S("customSpd")));
    txtCustomStart_->setText(host_.settings.read(S("Trial"), S("customStart")));
    txtCustomStop_->setText(host_.settings.read(S("Trial"), S("customStop")));

    closeOnEscape(this);
    nameForAccessibility(this);

    // A silent ECU gives no speed either: a time taken across the gap would be a guess.
    connect(&host_.link, &EcuLink::silenceChanged, this, [this](bool silent) {
        if (!silent) return lblLink_->hide();
        if (trial_.active()) btnCancel_Click();
        lblLink_->setText(noDataText(host_.link.lastFrameAt()) +
                          S(": the trial was cancelled; no speed comes in until it is back."));
        lblLink_->show();
    });
    // A frame is timed when it came, not when the filter let it through.
    tap_.listen(this, [this](uint32_t at, const FrameReadings& readings) {
        const auto speed = trialSpeed(readings, host_.state.units);
        if (!speed) return;
        host_.state.live.gaugeValue[channel::Speed] = *speed;
        checkSpeed(*speed, at);
    });
    EcuLink::Claim claim;
    claim.receiver = [this](const QByteArray& frame) { tap_.take(frame); };
    claim.granted = [this] {
        lblLink_->hide();
        host_.link.run(this, tap_.stream(iniSpeed(), speedLayout()));
    };
    claim.resumed = claim.granted;
    claim.rearm = claim.granted;
    // Without the link no speed comes: a running trial stops, and the window says why.
    claimLink(
        host_, this, std::move(claim),
        [this] {
            if (trial_.active()) btnCancel_Click();
            lblLink_->setText(S("The ECU link was lost: no speed comes in until it is back."));
            lblLink_->show();
        },
        [this](const QString& holder) {
            // No speed is known until the stream is the trial's.
            lblSpeed_->setText(S("--"));
            lblLink_->setText(waitingNote(holder, S("the speed trial")));
            lblLink_->show();
        });
}

void frmTimeTrial::setEditable(bool editable) {
    for (QCheckBox* c : chcTime_)
        c->setEnabled(editable);
    for (QLineEdit* t : {txtCustomSpeed_, txtCustomStart_, txtCustomStop_})
        t->setEnabled(editable);
}

void frmTimeTrial::btnStart_Click() {
    std::optional<int> speed = 0, start = 0, stop = 0;
    if (chcTime_[3]->isChecked()) speed = customSpeed(txtCustomSpeed_->text());
    if (chcTime_[4]->isChecked()) {
        start = customSpeed(txtCustomStart_->text());
        stop = customSpeed(txtCustomStop_->text());
    }
    if (!speed || !start || !stop) {
        host_.dialogs.message(this, S("Invalid speed entered"), MessageKind::Warning);
        return;
    }
    std::array<bool, kTrialCount> ticked{};
    for (int i = 0; i < kTrialCount; ++i)
        ticked[size_t(i)] = chcTime_[size_t(i)]->isChecked();
    trial_.activate(ticked, float(*speed), float(*start), float(*stop));
    btnStart_->setEnabled(false);
    btnCancel_->setEnabled(true);
    lblMsg_->setEnabled(true);
    setEditable(false);
    for (QLabel* l : lblTime_) {
        l->setText(valueText(0, kSecondsDecimals));
        setTextColour(l, kBlack);
    }
}

void frmTimeTrial::checkSpeed(float speed, uint32_t at) {
    if (!trial_.active()) return;
    lblSpeed_->setText(valueText(speed, kSpeedDecimals));
    const TimeTrial::Sample s = trial_.checkSpeed(speed, at);
    for (int i = 0; i < kTrialCount; ++i) {
        if (!s.done[size_t(i)]) continue;
        showResult(i);
        chcTime_[size_t(i)]->setChecked(false);
    }
    if (s.finish) btnCancel_Click();
}

void frmTimeTrial::showResult(int i) {
    QLabel* l = lblTime_[size_t(i)];
    l->setText(valueText(float(trial_.result(i)), kSecondsDecimals));
    setTextColour(l, kResultBlue);
}

void frmTimeTrial::btnCancel_Click() {
    btnCancel_->setEnabled(false);
    btnStart_->setEnabled(true);
    lblMsg_->setEnabled(false);
    setEditable(true);
    trial_.cancel();
    for (int i = 0; i < 4; ++i)
        chcTime_[size_t(i)]->setChecked(false);
    host_.dialogs.beep();
}

void frmTimeTrial::closeEvent(QCloseEvent* event) {
    event->accept();
    host_.settings.save(S("Trial"), S("customSpd"), txtCustomSpeed_->text());
    host_.settings.save(S("Trial"), S("customStart"), txtCustomStart_->text());
    host_.settings.save(S("Trial"), S("customStop"), txtCustomStop_->text());
    host_.launcher.toolClosed(this);
}

} // namespace kx
