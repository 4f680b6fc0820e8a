#include "tools/frmAdrWatch.h"

#include "link/EcuLink.h"
#include "tools/read_command.h"
#include "ui/Dialogs.h"
#include "ui/link_claim.h"
#include "ui/ui_helpers.h"
#include "util/hex.h"
#include "util/settings.h"
#include "util/text.h"

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
const char* const kSection = "AdrWatch";

QLabel* valueLabel(const QString& name, const QString& context) {
    auto* l = new QLabel;
    l->setObjectName(name);
    l->setMinimumWidth(50);
    l->setAlignment(Qt::AlignCenter);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    showsValue(l, context);
    return l;
}

void setIfChanged(QLabel* label, const QString& text) {
    if (label->text() != text) label->setText(text);
}
} // namespace

frmAdrWatch::frmAdrWatch(const Host& host)
    : QWidget(host.window, Qt::Window), host_(host), command_(0) {
    setObjectName(S("frmAdrWatch"));
    setWindowTitle(S("Address Watch"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* fraAddress = new QGroupBox(S("Enter address to watch in Hex"));
    auto* fraMax = new QGroupBox(S("Max value"));
    auto* fraCur = new QGroupBox(S("Current value"));
    auto* fraMin = new QGroupBox(S("Min value"));
    auto* addressBox = new QVBoxLayout(fraAddress);
    auto* maxBox = new QVBoxLayout(fraMax);
    auto* curBox = new QVBoxLayout(fraCur);
    auto* minBox = new QVBoxLayout(fraMin);
    for (int i = 0; i < 3; ++i) {
        const QString n = QString::number(i + 1);
        auto* box = new QLineEdit;
        box->setObjectName(S("txtAddress") + n);
        box->setFixedWidth(70);
        txtAddress_[size_t(i)] = box;
        addressBox->addWidget(box);
        lblMax_[size_t(i)] = valueLabel(S("lblMax") + n, S("Max value ") + n);
        lblCur_[size_t(i)] = valueLabel(S("lblCur") + n, S("Current value ") + n);
        lblMin_[size_t(i)] = valueLabel(S("lblMin") + n, S("Min value ") + n);
        maxBox->addWidget(lblMax_[size_t(i)]);
        curBox->addWidget(lblCur_[size_t(i)]);
        minBox->addWidget(lblMin_[size_t(i)]);
        connect(box, &QLineEdit::textChanged, this, [this, i] { resetAdr(i); });
    }
    auto* columns = new QHBoxLayout;
    for (auto* g : {fraAddress, fraMax, fraCur, fraMin})
        columns->addWidget(g);

    lblStatus_ = new QLabel;
    lblStatus_->setObjectName(S("lblStatus"));
    showsValue(lblStatus_, S("Watch"));
    btnStart_ = new QPushButton(S("START"));
    btnStart_->setObjectName(S("btnStart"));
    btnStart_->setEnabled(false); // until the link is ours
    btnStop_ = new QPushButton(S("STOP"));
    btnStop_->setObjectName(S("btnStop"));
    btnStop_->setEnabled(false);
    connect(btnStart_, &QPushButton::clicked, this, &frmAdrWatch::btnStart_Click);
    connect(btnStop_, &QPushButton::clicked, this, &frmAdrWatch::btnStop_Click);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblStatus_, 1);
    buttons->addWidget(btnStart_);
    buttons->addWidget(btnStop_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(buttons);

    for (int i = 0; i < 3; ++i) {
        const QString key = S("Address") + QString::number(i + 1);
        txtAddress_[size_t(i)]->setText(host_.settings.read(S(kSection), key));
        resetAdr(i); // also when the stored text is empty and nothing changed
    }

    closeOnEscape(this);
    nameForAccessibility(this);

    EcuLink::Claim claim;
    claim.receiver = [this](const QByteArray& bytes) { getAdrWatch(bytes); };
    claim.granted = [this] {
        LinkSequence s;
        s.stopStream().mode(memread::WatchMode).then([this] { btnStart_->setEnabled(!watching_); });
        host_.link.run(this, std::move(s));
    };
    claim.resumed = claim.granted;
    // A silent ECU is asked again with the addresses being watched.
    claim.rearm = [this] {
        if (watching_) host_.link.run(this, iniAdrWatch(addresses_));
    };
    auto waiting = noteWhileWaiting(this, claim, S("the address watch"));
    claimLink(
        host_, this, std::move(claim),
        [this] {
            if (!watching_) return;
            watching_ = false;
            setEditable(true);
            btnStart_->setEnabled(false);
            lblStatus_->setText(S("The ECU port was lost: the watch stopped."));
        },
        waiting);
    connect(&host_.link, &EcuLink::silenceChanged, this, [this](bool silent) {
        if (!watching_) return;
        lblStatus_->setText(silent ? noDataText(host_.link.lastFrameAt()) : QString());
    });
}

void frmAdrWatch::resetAdr(int row) {
    rows_[size_t(row)] = WatchRow{};
    showRow(row);
}

void frmAdrWatch::showRow(int row) {
    const WatchRow& r = rows_[size_t(row)];
    setIfChanged(lblMax_[size_t(row)], r.max);
    setIfChanged(lblCur_[size_t(row)], r.current);
    setIfChanged(lblMin_[size_t(row)], r.min);
}

void frmAdrWatch::setEditable(bool on) {
    for (auto* box : txtAddress_)
        box->setEnabled(on);
    btnStart_->setEnabled(on);
    btnStop_->setEnabled(!on);
}

void frmAdrWatch::btnStart_Click() {
    if (watching_ || !btnStart_->isEnabled()) return;
    const auto command = memoryReadCommand(host_.settings);
    if (!command) {
        host_.dialogs.message(this, badReadCommandMessage(host_.settings, S("watch")),
                              MessageKind::Warning);
        return;
    }
    command_ = *command;
    std::array<uint16_t, 3> addresses{};
    for (int i = 0; i < 3; ++i) {
        const auto a = parseAddress(txtAddress_[size_t(i)]->text());
        if (!a) {
            host_.dialogs.message(this, S("Invalid Address ") + QString::number(i + 1),
                                  MessageKind::Warning);
            return;
        }
        addresses[size_t(i)] = *a;
    }
    for (int i = 0; i < 3; ++i)
        resetAdr(i);
    watching_ = true;
    setEditable(false);
    lblStatus_->clear();
    LinkSequence s = iniAdrWatch(addresses);
    s.onEnd([this](bool ok) {
        if (ok || !watching_) return;
        watching_ = false;
        setEditable(true);
        lblStatus_->setText(S("The ECU port is closed."));
    });
    host_.link.run(this, std::move(s));
}

LinkSequence frmAdrWatch::iniAdrWatch(const std::array<uint16_t, 3>& addresses) {
    addresses_ = addresses;
    LinkSequence s;
    s.mode(memread::WatchMode)
        .ask(watchRequest(command_, addresses))
        .wait(memread::WatchPauseMs)
        .settle()
        .discard()
        .threshold(memread::WatchThreshold)
        .frames(memread::WatchBytes, FrameRule::FirstAgreed)
        .startStream();
    return s;
}

void frmAdrWatch::getAdrWatch(const QByteArray& bytes) {
    if (!watching_ || host_.link.readMode() != memread::WatchMode) return;
    const auto values = findWatchReply(bytes);
    if (!values) return;
    for (int i = 0; i < 3; ++i) {
        rows_[size_t(i)].take((*values)[size_t(i)]);
        showRow(i);
    }
}

void frmAdrWatch::btnStop_Click() {
    if (!watching_) return;
    watching_ = false;
    host_.link.run(this, LinkSequence().stopStream());
    setEditable(true);
    for (int i = 0; i < 3; ++i)
        host_.settings.save(S(kSection), S("Address") + QString::number(i + 1),
                            txtAddress_[size_t(i)]->text());
}

void frmAdrWatch::closeEvent(QCloseEvent* event) {
    watching_ = false;
    event->accept();
    host_.launcher.toolClosed(this);
}

} // namespace kx
