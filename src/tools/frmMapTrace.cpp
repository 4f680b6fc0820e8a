#include "tools/frmMapTrace.h"

#include "link/EcuLink.h"
#include "link/ecu_protocol.h"
#include "live/live_state.h"
#include "tools/frmMapTData.h"
#include "tools/map_file.h"
#include "tools/memory_read.h"
#include "tools/read_command.h"
#include "ui/Dialogs.h"
#include "ui/link_claim.h"
#include "ui/ui_helpers.h"
#include "gauges/colour.h"
#include "util/hex.h"
#include "util/numbers.h"
#include "util/settings.h"
#include "util/text.h"
#include "wideband/wideband.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <stop_token>
#include <thread>

namespace kx {

namespace {
constexpr uint32_t kUnpainted = 0xFFFFFFFFu;
constexpr uint32_t kBlack = 0x000000u;
constexpr uint32_t kWhite = 0xFFFFFFu;
constexpr uint32_t kFaintText = 0x707070u;
constexpr int kCoverageRefreshMs = 250;
const char* const kCsvFilter = "CSV Files|*.csv|All Files|*.*";
const char* const kLogFilter = "Log Files|*.log|Text Files|*.txt|All Files|*.*";

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

QPushButton* button(const char* caption, const char* name) {
    auto* b = new QPushButton(S(caption));
    b->setObjectName(S(name));
    return b;
}

// The heat scale in words, under the grid.
QString scaleText(CoverageView view, const CoverageScale& scale) {
    const bool hits = view == CoverageView::Hits;
    const auto figure = [hits](double f) {
        return hits ? QString::number(qint64(f)) : meanAfrText(f);
    };
    const QString name = hits ? S("Hits") : S("Mean WBo2");
    QString text;
    if (!scale.any)
        text = S("No hits yet.");
    else if (scale.high > scale.low)
        text = S("%1: blue at %2 to red at %3%4.")
                   .arg(name, figure(scale.low), figure(scale.high),
                        scale.logarithmic ? S(" (logarithmic)") : QString());
    else
        text = S("%1: green at %2 (one level).").arg(name, figure(scale.low));
    if (scale.any) text += S(" Faint: fewer than %1 hits.").arg(MapCoverage::kFewHits);
    return text + S(" Thick frame: the cell the engine is in.");
}

// What a screen reader and the tooltip say of a cell beyond its caption.
QString coverageDetails(const CoverageCell& c) {
    if (c.hits == 0) return S("No hits");
    QString text = S("%1 %2").arg(c.hits).arg(c.hits == 1 ? S("hit") : S("hits"));
    if (const auto mean = c.meanAfr()) {
        text += S("; WBo2 mean %1 from %2, lowest %3, highest %4")
                    .arg(meanAfrText(*mean))
                    .arg(c.afrCount)
                    .arg(singleText(c.afrMin), singleText(c.afrMax));
    }
    if (c.hits < MapCoverage::kFewHits) text += S(" (few hits)");
    return text;
}
} // namespace

// Reads the chosen logs on a thread of its own, so the live trace goes on meanwhile; its end
// is handed to the window's thread. Destroying it stops the reading and waits for the thread.
class frmMapTrace::LogAdder {
public:
    LogAdder(frmMapTrace* window, QStringList paths, MapScales scales, int run)
        : thread_([window, paths = std::move(paths), scales, run](std::stop_token stop) {
              auto result = std::make_shared<LogFilesCoverage>(
                  coverageFromLogFiles(paths, scales, [&stop] { return !stop.stop_requested(); }));
              if (result->cancelled) return;
              // Dropped unrun if the window is gone first: it waits for this thread before.
              QMetaObject::invokeMethod(
                  window, [window, result, run] { window->logsAdded(*result, run); },
                  Qt::QueuedConnection);
          }) {}

private:
    std::jthread thread_;
};

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
    btnClear_ = button("Clear Trace", "btnClear");
    btnOpenMap_ = button("Open Map...", "btnOpenMap");
    btnSaveMap_ = button("Save Map...", "btnSaveMap");
    btnAddLogs_ = button("Add Logs...", "btnAddLogs");
    btnExportCoverage_ = button("Export Coverage...", "btnExportCoverage");
    // Until the map is read or opened.
    for (QPushButton* b : {btnClear_, btnSaveMap_, btnAddLogs_, btnExportCoverage_})
        b->setEnabled(false);
    connect(btnClear_, &QPushButton::clicked, this, &frmMapTrace::btnClear_Click);
    connect(btnOpenMap_, &QPushButton::clicked, this, &frmMapTrace::btnOpenMap_Click);
    connect(btnSaveMap_, &QPushButton::clicked, this, &frmMapTrace::btnSaveMap_Click);
    connect(btnAddLogs_, &QPushButton::clicked, this, &frmMapTrace::btnAddLogs_Click);
    connect(btnExportCoverage_, &QPushButton::clicked, this, &frmMapTrace::btnExportCoverage_Click);

    // What the cells show, above the grid.
    auto* fraShow = new QGroupBox(S("Show"));
    fraShow->setObjectName(S("fraShow"));
    auto* showRow = new QHBoxLayout(fraShow);
    optMap_ = new QRadioButton(S("Map Values"));
    optMap_->setObjectName(S("optMap"));
    optMap_->setChecked(true);
    optHits_ = new QRadioButton(S("Hits"));
    optHits_->setObjectName(S("optHits"));
    optWBo2_ = new QRadioButton(S("Mean WBo2"));
    optWBo2_->setObjectName(S("optWBo2"));
    for (QRadioButton* o : {optMap_, optHits_, optWBo2_}) {
        showRow->addWidget(o);
        connect(o, &QRadioButton::toggled, this, [this](bool on) {
            if (on) showCoverage();
        });
    }
    showRow->addStretch();

    auto* side = new QVBoxLayout;
    side->addWidget(group("RPM", lblRPM_));
    side->addWidget(group("TP", lblTP_));
    side->addWidget(fraWBo2_);
    side->addStretch();
    for (QPushButton* b : {btnOpenMap_, btnSaveMap_, btnAddLogs_, btnExportCoverage_, btnClear_})
        side->addWidget(b);

    lblScale_ = new QLabel;
    lblScale_->setObjectName(S("lblScale"));
    lblScale_->setWordWrap(true);
    showsValue(lblScale_, S("Colour scale"));
    lblCoverage_ = new QLabel;
    lblCoverage_->setObjectName(S("lblCoverage"));
    lblCoverage_->setWordWrap(true);
    showsValue(lblCoverage_, S("Coverage"));
    lblStatus_ = new QLabel;
    lblStatus_->setObjectName(S("lblStatus"));
    lblStatus_->setWordWrap(true);
    showsValue(lblStatus_, S("Map trace"));

    auto* mapColumn = new QVBoxLayout;
    mapColumn->addWidget(fraShow);
    mapColumn->addWidget(fraMap);
    auto* top = new QHBoxLayout;
    top->addLayout(mapColumn);
    top->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lblScale_);
    layout->addWidget(lblCoverage_);
    layout->addWidget(lblStatus_);

    coverageTimer_.setSingleShot(true);
    coverageTimer_.setInterval(kCoverageRefreshMs);
    connect(&coverageTimer_, &QTimer::timeout, this, &frmMapTrace::refreshCoverage);
    const QString logFolder = host_.settings.read(S("DataLog"), S("Path"));
    folder_ = logFolder.isEmpty() ? QDir::currentPath() : logFolder;
    showCoverage();

    // Tab follows the layout: the views above the grid, then the buttons beside it.
    QWidget* order[] = {optMap_,     optHits_,    optWBo2_,           btnOpenMap_,
                        btnSaveMap_, btnAddLogs_, btnExportCoverage_, btnClear_};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
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
        this, [this] { askAgain(); }, [this] { giveUp(); }, ReplyWatch::kOneShotWaitMs);
    connect(&host_.link, &EcuLink::silenceChanged, this, [this](bool silent) {
        if (stage_ != Stage::Tracing) return;
        lblStatus_->setText(silent ? noDataText(host_.link.lastFrameAt()) : QString());
    });
    // Without an ECU the window works on a saved map and logs; the live trace waits for one.
    if (host_.link.connected()) {
        takeLink();
        return;
    }
    lblStatus_->setText(S("No ECU is connected: open a saved map to work without one. The live "
                          "trace starts once the ECU answers."));
    connect(&host_.link, &EcuLink::identified, this, [this] {
        if (!claimed_) takeLink();
    });
}

void frmMapTrace::takeLink() {
    claimed_ = true;
    lblStatus_->clear();
    EcuLink::Claim claim;
    claim.receiver = [this](const QByteArray& bytes) {
        if (host_.link.readMode() == maptrace::ReadMode) getMap(bytes);
        if (host_.link.readMode() == maptrace::TraceMode) getTraceData(bytes);
    };
    claim.granted = [this] {
        host_.link.run(this, LinkSequence().stopStream().then([this] {
            granted_ = true;
            startForm();
        }));
    };
    claim.broken = [this] { askAgain(); };
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
    claimLink(host_, this, std::move(claim));
}

frmMapTrace::~frmMapTrace() = default;

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
    if (mapKnown_) read_->skipToTrace(); // an opened map: nothing to read
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
    mapKnown();
    s.mode(maptrace::TraceMode).append(iniMapTrace()).onEnd([this](bool ok) {
        if (!ok && stage_ == Stage::Tracing) stop(S("The ECU port is closed."));
    });
    host_.link.run(this, std::move(s));
}

void frmMapTrace::sendRead(LinkSequence s, const MapRead::Byte& b) {
    inFlight_ = b;
    s.threshold(ecu::ArmThreshold)
        .ask(slowWakeUp())
        .write(single_.request(command_, b.address))
        .wait(maptrace::ReadPauseMs)
        .settle()
        .discard()
        .threshold(single_.threshold())
        .frames(single_.times(), FrameRule::Once)
        .then([this] {
            awaiting_ = true;
            replyWatch_->expect();
        })
        .startStream()
        .onEnd([this](bool ok) {
            if (ok || stage_ != Stage::Reading) return;
            if (host_.link.lastFailure() == EcuLink::Failure::LineBusy) {
                // The ECU would not stop streaming: this try is over, the next asks again.
                awaiting_ = true;
                return replyWatch_->failed();
            }
            stop(S("The ECU port is closed."));
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
        .then([this] {
            spikes_.reset(storedEcuBaud(host_.settings));
            traceFirst_ = true;
        })
        .startStream();
    return s;
}

void frmMapTrace::getMap(const QByteArray& bytes) {
    if (!awaiting_ || stage_ != Stage::Reading || !inFlight_) return;
    const auto value = single_.take(bytes);
    if (!value) return askAgain(); // its bytes disagree: a spoiled request or a spoiled frame
    awaiting_ = false;
    replyWatch_->answered();
    const int cell = inFlight_->cell;
    lblMapCell_[size_t(cell)]->setText(cellCaption(cell, *value));
    if (cell >= maptrace::FirstMapCell) {
        map_.values[size_t(cell - maptrace::FirstMapCell)] = *value;
        paintCell(cell, mapColour(*value));
    } else if (cell >= maptrace::FirstColumnHeader) {
        map_.scales.tp[size_t(cell - maptrace::FirstColumnHeader)] = *value;
    } else {
        map_.scales.rpm[size_t(cell - maptrace::FirstRowHeader)] = 50 * int(*value);
    }
    LinkSequence s;
    s.write(ecu::StreamStop).wait(maptrace::StopPauseMs).discard();
    sendComm(std::move(s));
}

void frmMapTrace::getTraceData(const QByteArray& frame) {
    if (stage_ != Stage::Tracing) return;
    const bool wideband = host_.launcher.afrDisplayEnabled();
    const float afr = host_.state.live.wbValues[0];
    // A ratio that no longer streams is not a reading.
    const std::optional<float> ratioNow = wideband ? std::optional<float>(afr) : std::nullopt;
    const std::optional<float> ratio = traceFirst_ ? ratioNow : heldRatio_;
    traceFirst_ = false;
    heldRatio_ = ratioNow;
    const auto passed = filterFrame(spikes_, frame, traceLayout_, host_.link.trace());
    if (!passed) return;
    const auto live = findWatchReply(passed->bytes);
    if (!live) return;
    const auto [msb, lsb, tp] = *live;
    const int rpm = engineSpeed(msb, lsb);
    host_.state.live.gaugeValue[0] = float(rpm);
    const QString rpmText = QString::number(rpm);
    if (lblRPM_->text() != rpmText) lblRPM_->setText(rpmText);
    const QString tpText = QString::number(tp);
    if (lblTP_->text() != tpText) lblTP_->setText(tpText);

    const int index = mapCellOf(map_.scales, rpm, int(tp));
    const int cell = maptrace::FirstMapCell + index;
    const TraceTrail::Move move = trail_.moveTo(cell);
    if (move.left) trailed_.set(size_t(move.left - maptrace::FirstMapCell));
    if (move.now) shownCurrent_ = move.now;
    if (move.left) showCell(move.left);
    if (move.now) showCell(move.now);

    coverage_.add(index, ratio);
    coverageChanged(index);

    if (fraWBo2_->isEnabled() != wideband) fraWBo2_->setEnabled(wideband);
    if (!wideband) {
        if (lblWBo2_->text() != S("--.--")) lblWBo2_->setText(S("--.--"));
        return;
    }
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
    shownCurrent_ = 0;
    trailed_.reset();
    stopAddingLogs();
    coverage_.clear();
    logsNote_.clear();
    showCoverage();
}

void frmMapTrace::mapKnown() {
    mapKnown_ = true;
    for (QPushButton* b : {btnClear_, btnSaveMap_, btnAddLogs_, btnExportCoverage_})
        b->setEnabled(b != btnAddLogs_ || !adder_);
    showCoverage();
}

void frmMapTrace::useMap(const EngineMap& map) {
    if (map.scales != map_.scales || !mapKnown_) {
        // The cells of other scales are other cells: what was counted no longer applies.
        stopAddingLogs();
        coverage_.clear();
        logsNote_.clear();
        trailed_.reset();
        shownCurrent_ = 0;
        trail_ = TraceTrail();
    }
    map_ = map;
    for (int i = 0; i < 16; ++i) {
        lblMapCell_[size_t(maptrace::FirstRowHeader + i)]->setText(
            QString::number(map_.scales.rpm[size_t(i)]));
        lblMapCell_[size_t(maptrace::FirstColumnHeader + i)]->setText(
            QString::number(map_.scales.tp[size_t(i)]));
    }
    mapKnown();
    if (stage_ != Stage::Reading) return; // set-up still open: the start skips the reading
    // The bytes still to come from the ECU are in the file: trace at once.
    host_.link.cancel(this);
    awaiting_ = false;
    replyWatch_->stop();
    inFlight_.reset();
    read_->skipToTrace();
    LinkSequence s;
    s.stopStream();
    sendComm(std::move(s));
}

frmMapTrace::View frmMapTrace::view() const {
    if (optHits_->isChecked()) return View::Hits;
    if (optWBo2_->isChecked()) return View::MeanAfr;
    return View::MapValues;
}

void frmMapTrace::showCell(int cell) {
    if (!mapKnown_) return; // the reading paints each byte as it comes
    const int index = cell - maptrace::FirstMapCell;
    QLabel* l = lblMapCell_[size_t(cell)];
    const View v = view();
    QString caption;
    uint32_t colour = kWhite;
    bool faint = false;
    if (v == View::MapValues) {
        caption = QString::number(map_.values[size_t(index)]);
        colour =
            trailed_.test(size_t(index)) ? kTrailColour : mapColour(map_.values[size_t(index)]);
    } else {
        const CoverageView cv = coverageView(v);
        const CoverageCell& c = coverage_.cell(index);
        caption = coverageCaption(c, cv);
        if (const auto figure = coverageFigure(c, cv)) {
            colour = scale_.colourOf(*figure);
            faint = c.hits < MapCoverage::kFewHits;
            if (faint) colour = dimmed(colour);
        }
    }
    // Over a figure's colour the cell the engine is in gets a thick frame, so both show.
    const bool current = cell == shownCurrent_;
    if (current && v == View::MapValues) colour = kCurrentCellColour;
    const int frame = current && v != View::MapValues ? 3 : 1;
    if (l->lineWidth() != frame) l->setLineWidth(frame);
    if (l->text() != caption) l->setText(caption);
    paintCell(cell, colour);
    const uint32_t text = faint ? kFaintText : textOn(colour);
    if (l->palette().color(QPalette::WindowText) != colourFromBgr(text))
        setColour(l, QPalette::WindowText, text);
}

void frmMapTrace::showDetails(int cell) {
    QLabel* l = lblMapCell_[size_t(cell)];
    const QString details = coverageDetails(coverage_.cell(cell - maptrace::FirstMapCell));
    if (l->toolTip() == details) return;
    l->setToolTip(details);
    l->setAccessibleDescription(details);
}

void frmMapTrace::coverageChanged(int index) {
    changed_.set(size_t(index));
    if (!coverageTimer_.isActive()) coverageTimer_.start();
}

void frmMapTrace::showCoverage() {
    changed_.set();
    scale_ = CoverageScale();
    refreshCoverage();
}

void frmMapTrace::refreshCoverage() {
    coverageTimer_.stop();
    const View v = view();
    for (QRadioButton* o : {optHits_, optWBo2_})
        o->setEnabled(mapKnown_);
    std::bitset<256> repaint = changed_;
    if (v != View::MapValues) {
        const CoverageScale scale = coverageScale(coverage_, coverageView(v));
        if (!(scale == scale_)) repaint.set(); // every colour moves with the scale
        scale_ = scale;
    }
    for (int i = 0; i < 256; ++i) {
        if (changed_.test(size_t(i))) showDetails(maptrace::FirstMapCell + i);
        if (repaint.test(size_t(i))) showCell(maptrace::FirstMapCell + i);
    }
    changed_.reset();
    if (!mapKnown_ || v == View::MapValues) {
        lblScale_->setText(mapKnown_ ? S("Map values: red at 0, blue at 255. Yellow: cells the "
                                         "engine has left; green: the cell it is in.")
                                     : QString());
    } else {
        lblScale_->setText(scaleText(coverageView(v), scale_));
    }
    QString summary =
        S("Coverage: %1 hits, %2 with WBo2.").arg(coverage_.hits()).arg(coverage_.afrHits());
    if (!logsNote_.isEmpty()) summary += u' ' + logsNote_;
    lblCoverage_->setText(mapKnown_ ? summary : QString());
}

QString frmMapTrace::folder() const {
    return folder_;
}

void frmMapTrace::btnOpenMap_Click() {
    const QString path = host_.dialogs.openFileName(this, folder(), S(kCsvFilter));
    if (path.isEmpty()) return;
    folder_ = QFileInfo(path).absolutePath();
    const MapFileRead read = readMapFile(path);
    if (!read.map) {
        host_.dialogs.message(this, S("Cannot open the map '%1'.\n%2").arg(path, read.error),
                              MessageKind::Warning);
        return;
    }
    useMap(*read.map);
}

void frmMapTrace::btnSaveMap_Click() {
    if (mapKnown_) saveCsv(S("map.csv"), mapFileText(map_));
}

void frmMapTrace::btnExportCoverage_Click() {
    if (mapKnown_) saveCsv(S("coverage.csv"), coverageExportText(map_.scales, coverage_));
}

void frmMapTrace::saveCsv(const QString& preset, const QByteArray& text) {
    const QString path =
        host_.dialogs.saveFileName(this, folder(), preset, S(kCsvFilter), S("csv"));
    if (path.isEmpty()) return;
    folder_ = QFileInfo(path).absolutePath();
    const bool exists = QFileInfo::exists(path);
    if (!host_.dialogs.mayReplace(this, path)) return;
    if (const auto error =
            writeUserText(path, text, exists ? ExistingFile::Replace : ExistingFile::Refuse))
        host_.dialogs.message(this, *error, MessageKind::Warning);
}

void frmMapTrace::btnAddLogs_Click() {
    if (!mapKnown_ || adder_) return;
    const QStringList paths = host_.dialogs.openFileNames(this, folder(), S(kLogFilter));
    if (paths.isEmpty()) return;
    folder_ = QFileInfo(paths.constFirst()).absolutePath();
    btnAddLogs_->setEnabled(false);
    logsNote_ =
        S("Adding %1 %2...").arg(paths.size()).arg(paths.size() == 1 ? S("log") : S("logs"));
    showCoverage();
    adder_ = std::make_unique<LogAdder>(this, paths, map_.scales, ++addRun_);
}

void frmMapTrace::logsAdded(const LogFilesCoverage& result, int run) {
    // A run stopped (Clear Trace, other scales, closing) may have finished just before: its
    // counts no longer belong here.
    if (run != addRun_ || !adder_ || closing_) return;
    adder_.reset();
    btnAddLogs_->setEnabled(mapKnown_);
    coverage_.merge(result.coverage);
    logsNote_ = S("Logs: ") + logFilesSummary(result) + u'.';
    showCoverage();
    if (!result.failures.isEmpty())
        host_.dialogs.message(this, S("Not added:\n") + result.failures.join(u'\n'),
                              MessageKind::Warning);
}

void frmMapTrace::stopAddingLogs() {
    if (!adder_) return;
    ++addRun_;
    adder_.reset(); // waits for the reading to stop
    btnAddLogs_->setEnabled(mapKnown_);
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
    // The bare stop, as after a reply: the request's settle says it again if it was lost.
    LinkSequence s;
    s.write(ecu::StreamStop);
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
    stopAddingLogs();
    stage_ = Stage::Stopped;
    awaiting_ = false;
    // Closed before its set-up was done: nothing starts.
    if (setup_) setup_->close();
    event->accept();
    host_.launcher.toolClosed(this);
}

} // namespace kx
