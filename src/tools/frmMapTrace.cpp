#include "tools/frmMapTrace.h"

#include "link/EcuLink.h"
#include "link/ecu_protocol.h"
#include "tools/frmMapTData.h"
#include "tools/memory_read.h"
#include "tools/read_command.h"
#include "ui/ui_helpers.h"
#include "util/colour.h"
#include "util/hex.h"
#include "util/numbers.h"
#include "util/settings.h"
#include "util/text.h"
#include "wideband/wideband.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace kx {

namespace {
constexpr uint32_t kUnpainted = 0xFFFFFFFFu;
constexpr uint32_t kBlack = 0x000000u;
constexpr uint32_t kWhite = 0xFFFFFFu;

QLabel* readout(const QString& name, const QString& context) {
    auto* l = new QLabel;
    l->setObjectName(name);
    l->setAlignment(Qt::AlignCenter);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    QFont f = l->font();
    f.setPointSize(f.pointSize() + 4);
    f.setBold(true);
    l->setFont(f);
    // Opaque and of a fixed size: a new value repaints the read-out alone, without its group
    // beneath or a layout pass.
    l->setAutoFillBackground(true);
    const QFontMetrics m(f);
    l->setFixedSize(m.horizontalAdvance(S("888888")) + 12, m.height() + 12);
    showsValue(l, context);
    return l;
}

QGroupBox* group(const char* caption, QWidget* content) {
    auto* g = new QGroupBox(S(caption));
    auto* box = new QVBoxLayout(g);
    box->addWidget(content);
    return g;
}

// Black text on light cells, white on dark ones.
uint32_t textOn(uint32_t bgr) {
    const int r = int(bgr & 0xFF), g = int(bgr >> 8 & 0xFF), b = int(bgr >> 16 & 0xFF);
    return 299 * r + 587 * g + 114 * b >= 128000 ? kBlack : kWhite;
}
} // namespace

frmMapTrace::frmMapTrace(const Host& host)
    : QWidget(host.window, Qt::Window), host_(host), command_(0) {
    setObjectName(S("frmMapTrace"));
    setWindowTitle(S("Map Tracing"));
    setAttribute(Qt::WA_DeleteOnClose);
    painted_.fill(kUnpainted);

    auto* fraMap = new QGroupBox(S("Engine Map"));
    auto* grid = new QGridLayout(fraMap);
    grid->setSpacing(1);
    for (int i = 0; i < maptrace::CellCount; ++i) {
        auto* cell = new QLabel;
        cell->setObjectName(S("lblMapCell") + QString::number(i));
        cell->setFixedSize(38, 20);
        cell->setAlignment(Qt::AlignCenter);
        const GridPlace at = gridPlace(i);
        if (i >= maptrace::FirstRowHeader) {
            cell->setFrameShape(QFrame::Box);
            const QString where = at.row == 0 ? S("TP column %1").arg(at.column)
                                  : at.column == 0
                                      ? S("RPM row %1").arg(at.row)
                                      : S("Row %1, column %2").arg(at.row).arg(at.column);
            showsValue(cell, where, Context::InName);
        }
        grid->addWidget(cell, at.row, at.column);
        lblMapCell_[size_t(i)] = cell;
    }
    auto* rpmCaption = new QLabel(S("RPM"));
    rpmCaption->setAlignment(Qt::AlignCenter);
    grid->addWidget(rpmCaption, 17, 0);
    auto* tpCaption = new QLabel(S("TP"));
    grid->addWidget(tpCaption, 0, 17);

    lblRPM_ = readout(S("lblRPM"), S("RPM"));
    lblTP_ = readout(S("lblTP"), S("TP"));
    lblWBo2_ = readout(S("lblWBo2"), S("WBo2"));
    fraWBo2_ = group("WBo2", lblWBo2_);
    fraWBo2_->setObjectName(S("fraWBo2"));
    fraWBo2_->setEnabled(false);
    btnClear_ = new QPushButton(S("Clear Trace"));
    btnClear_->setObjectName(S("btnClear"));
    btnClear_->setEnabled(false); // until the map is read
    connect(btnClear_, &QPushButton::clicked, this, &frmMapTrace::btnClear_Click);

    auto* side = new QVBoxLayout;
    side->addWidget(group("RPM", lblRPM_));
    side->addWidget(group("TP", lblTP_));
    side->addWidget(fraWBo2_);
    side->addStretch();
    side->addWidget(btnClear_);

    lblStatus_ = new QLabel;
    lblStatus_->setObjectName(S("lblStatus"));
    lblStatus_->setWordWrap(true);
    showsValue(lblStatus_, S("Map trace"));

    auto* top = new QHBoxLayout;
    top->addWidget(fraMap);
    top->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lblStatus_);

    closeOnEscape(this);
    nameForAccessibility(this);

    setup_ = new frmMapTData(this, host_.settings, host_.dialogs);
    connect(setup_, &frmMapTData::closed, this, [this] {
        if (closing_) return;
        setupDone_ = true;
        startForm();
    });
    // Once the launch has shown this window: the set-up goes over it.
    QTimer::singleShot(0, this, &frmMapTrace::showSetup);

    connect(&host_.link, &EcuLink::stateChanged, this, [this](EcuLink::State state) {
        if (state != EcuLink::State::Lost) return;
        if (stage_ == Stage::Reading) stop(S("The ECU port was lost: the reading stopped."));
        if (stage_ == Stage::Tracing) stop(S("The ECU port was lost: the trace stopped."));
    });
    replyWatch_ = new ReplyWatch(
        this, [this] { askAgain(); }, [this] { giveUp(); });
    connect(&host_.link, &EcuLink::silenceChanged, this, [this](bool silent) {
        if (stage_ != Stage::Tracing) return;
        lblStatus_->setText(silent ? noDataText(host_.link.lastFrameAt()) : QString());
    });
    EcuLink::Claim claim;
    claim.name = windowTitle();
    claim.receiver = [this](const QByteArray& bytes) {
        if (host_.link.ReadMode == maptrace::ReadMode) getMap(bytes);
        if (host_.link.ReadMode == maptrace::TraceMode) getTraceData(bytes);
    };
    claim.granted = [this] {
        host_.link.run(this, LinkSequence().stopStream().then([this] {
            granted_ = true;
            startForm();
        }));
    };
    claim.rearm = [this] {
        if (stage_ != Stage::Tracing) return;
        LinkSequence s;
        s.mode(maptrace::TraceMode).append(iniMapTrace());
        host_.link.run(this, std::move(s));
    };
    claim.resumed = [this] {
        // Back where it was lost: the byte that was asked for, or the trace.
        LinkSequence s;
        s.stopStream();
        const bool traced = read_ && read_->phase() == MapRead::TracePhase && !read_->blockedBy();
        if (stage_ == Stage::SetUp || (!traced && !inFlight_))
            return host_.link.run(this, std::move(s));
        lblStatus_->clear();
        if (traced) return sendComm(std::move(s));
        stage_ = Stage::Reading;
        s.mode(maptrace::ReadMode);
        sendRead(std::move(s), *inFlight_);
    };
    host_.link.acquire(this, std::move(claim));
}

frmMapTData* frmMapTrace::setup() const {
    return setup_;
}

void frmMapTrace::showSetup() {
    if (!setup_) return;
    setup_->show();
    setup_->raise();
    setup_->activateWindow();
}

void frmMapTrace::startForm() {
    if (!setupDone_ || !granted_ || stage_ != Stage::SetUp) return;
    const auto command = memoryReadCommand(host_.settings);
    if (!command) return stop(badReadCommandMessage(host_.settings, S("map trace")));
    command_ = *command;
    MapAddressTexts texts;
    for (int f = 0; f < MapFieldCount; ++f)
        texts[size_t(f)] = host_.settings.read(S("MapTrace"), mapSettingKey(MapField(f)));
    read_.emplace(storedAddresses(texts));
    stage_ = Stage::Reading;
    lblStatus_->clear();
    LinkSequence s;
    s.mode(maptrace::ReadMode);
    sendComm(std::move(s));
}

void frmMapTrace::sendComm(LinkSequence s) {
    const auto next = read_->next();
    if (next) return sendRead(std::move(s), *next);
    inFlight_.reset();
    if (const auto bad = read_->blockedBy()) {
        // Nothing more can be read; the user is told which stored address is at fault.
        host_.link.run(this, std::move(s));
        const QString stored = host_.settings.read(S("MapTrace"), mapSettingKey(*bad));
        return stop(blockedMessage(*bad, stored));
    }
    stage_ = Stage::Tracing;
    btnClear_->setEnabled(true);
    s.mode(maptrace::TraceMode).append(iniMapTrace()).onEnd([this](bool ok) {
        if (!ok && stage_ == Stage::Tracing) stop(S("The ECU port is closed."));
    });
    host_.link.run(this, std::move(s));
}

void frmMapTrace::sendRead(LinkSequence s, const MapRead::Byte& b) {
    inFlight_ = b;
    s.threshold(ecu::ArmThreshold)
        .ask(slowWakeUp())
        .write(memoryRead(command_, b.address))
        .wait(maptrace::ReadPauseMs)
        .settle()
        .discard()
        .threshold(maptrace::ReadThreshold)
        .frames(1)
        .then([this] {
            awaiting_ = true;
            replyWatch_->expect();
        })
        .startStream()
        .onEnd([this](bool ok) {
            if (!ok && stage_ == Stage::Reading) stop(S("The ECU port is closed."));
        });
    host_.link.run(this, std::move(s));
}

LinkSequence frmMapTrace::iniMapTrace() {
    LinkSequence s;
    s.threshold(ecu::ArmThreshold)
        .ask(watchRequest(command_, read_->liveAddresses()))
        .wait(maptrace::TracePauseMs)
        .settle()
        .discard()
        .threshold(maptrace::TraceThreshold)
        .frames(memread::WatchBytes)
        .startStream();
    return s;
}

void frmMapTrace::getMap(const QByteArray& bytes) {
    if (!awaiting_ || stage_ != Stage::Reading || !inFlight_) return;
    const auto value = findSlowReply(bytes);
    if (!value) return;
    awaiting_ = false;
    replyWatch_->answered();
    const int cell = inFlight_->cell;
    lblMapCell_[size_t(cell)]->setText(cellCaption(cell, *value));
    if (cell >= maptrace::FirstMapCell) {
        map_[size_t(cell - maptrace::FirstMapCell)] = *value;
        paintCell(cell, mapColour(*value));
    } else if (cell >= maptrace::FirstColumnHeader) {
        tpHeaders_[size_t(cell - maptrace::FirstColumnHeader)] = *value;
    } else {
        rpmHeaders_[size_t(cell - maptrace::FirstRowHeader)] = 50 * int(*value);
    }
    LinkSequence s;
    s.write(ecu::StreamStop).wait(maptrace::StopPauseMs).discard();
    sendComm(std::move(s));
}

void frmMapTrace::getTraceData(const QByteArray& bytes) {
    if (stage_ != Stage::Tracing) return;
    const auto live = findWatchReply(bytes);
    if (!live) return;
    const auto [msb, lsb, tp] = *live;
    const int rpm = engineSpeed(msb, lsb);
    host_.state.live.gaugeValue[0] = float(rpm);
    const QString rpmText = QString::number(rpm);
    if (lblRPM_->text() != rpmText) lblRPM_->setText(rpmText);
    const QString tpText = QString::number(tp);
    if (lblTP_->text() != tpText) lblTP_->setText(tpText);

    const int cell = mapCellIndex(headerIndex(rpmHeaders_, rpm), headerIndex(tpHeaders_, int(tp)));
    const TraceTrail::Move move = trail_.moveTo(cell);
    if (move.left) paintCell(move.left, kTrailColour);
    if (move.now) paintCell(move.now, kCurrentCellColour);

    const bool wideband = host_.launcher.afrDisplayEnabled();
    if (fraWBo2_->isEnabled() != wideband) fraWBo2_->setEnabled(wideband);
    // A ratio that no longer streams is not a reading.
    if (!wideband) {
        if (lblWBo2_->text() != S("--.--")) lblWBo2_->setText(S("--.--"));
        return;
    }
    const float afr = host_.state.live.wbValues[0];
    const QString afrText = singleText(afr);
    if (lblWBo2_->text() != afrText) lblWBo2_->setText(afrText);
    const uint32_t colour = wb::afrColour(afr);
    if (lblWBo2_->palette().color(QPalette::Window) != colourFromBgr(colour)) {
        setColour(lblWBo2_, QPalette::Window, colour);
        setColour(lblWBo2_, QPalette::WindowText, textOn(colour));
    }
}

void frmMapTrace::btnClear_Click() {
    // The marked cell keeps its place: it shows its map colour until the engine moves on.
    for (int cell = maptrace::FirstMapCell; cell < maptrace::CellCount; ++cell)
        paintCell(cell, mapColour(map_[size_t(cell - maptrace::FirstMapCell)]));
}

void frmMapTrace::paintCell(int cell, uint32_t colour) {
    if (painted_[size_t(cell)] == colour) return;
    QLabel* l = lblMapCell_[size_t(cell)];
    if (painted_[size_t(cell)] == kUnpainted) l->setAutoFillBackground(true);
    painted_[size_t(cell)] = colour;
    setColour(l, QPalette::Window, colour);
    setColour(l, QPalette::WindowText, textOn(colour));
}

void frmMapTrace::askAgain() {
    if (!awaiting_ || stage_ != Stage::Reading || !inFlight_) return;
    awaiting_ = false;
    LinkSequence s;
    s.stopStream();
    sendRead(std::move(s), *inFlight_);
}

void frmMapTrace::giveUp() {
    if (!awaiting_ || stage_ != Stage::Reading || !inFlight_) return;
    host_.link.run(this, LinkSequence().stopStream());
    stop(S("No answer from the ECU for address %1 (%2): the reading stopped.")
             .arg(hexText(inFlight_->address, 4), cellStepName(inFlight_->cell)));
}

void frmMapTrace::stop(const QString& why) {
    stage_ = Stage::Stopped;
    awaiting_ = false;
    replyWatch_->stop();
    lblStatus_->setText(why);
}

void frmMapTrace::closeEvent(QCloseEvent* event) {
    closing_ = true;
    stage_ = Stage::Stopped;
    awaiting_ = false;
    // Closed before its set-up was done: nothing starts.
    if (setup_) setup_->close();
    event->accept();
    host_.launcher.toolClosed(this);
}

} // namespace kx
