#include "tools/frmMapTrace.h"

#include "link/EcuLink.h"
#include "link/ecu_protocol.h"
#include "live/live_state.h"
#include "logs/log_format.h"
#include "tools/frmMapTData.h"
#include "tools/map_file.h"
#include "tools/memory_read.h"
#include "tools/read_command.h"
#include "ui/Dialogs.h"
#include "ui/link_claim.h"
#include "ui/ui_helpers.h"
#include "util/colour.h"
#include "util/hex.h"
#include "util/settings.h"
#include "util/text.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace kx {

namespace {
constexpr int kCoverageRefreshMs = 250;
} // namespace

frmMapTrace::frmMapTrace(const Host& host)
    : QWidget(host.window, Qt::Window), tap_(host.link, host.settings, maptrace::TraceMode),
      host_(host), command_(0), files_(this, host.dialogs,
                                       host.settings.read(S("DataLog"), S("Path")).isEmpty()
                                           ? QDir::currentPath()
                                           : host.settings.read(S("DataLog"), S("Path"))) {
    setObjectName(S("frmMapTrace"));
    setWindowTitle(S("Map Tracing"));
    setAttribute(Qt::WA_DeleteOnClose);

    buildWindow();
    coverageTimer_.setSingleShot(true);
    coverageTimer_.setInterval(kCoverageRefreshMs);
    connect(&coverageTimer_, &QTimer::timeout, this, &frmMapTrace::refreshCoverage);
    showCoverage();

    openSetup();

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
    tap_.listen(this, [this](uint32_t at, const FrameReadings& r) { traceFrame(at, r); });
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
        lblStatus_->clear(); // no longer waiting for another tool
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
    claimLink(host_, this, std::move(claim), {}, [this](const QString& holder) {
        lblStatus_->setText(waitingNote(holder, S("the map trace")));
    });
}

frmMapTrace::~frmMapTrace() = default;

void frmMapTrace::openSetup() {
    if (setup_ || setupDone_) return;
    btnSetup_->setEnabled(false);
    setup_ = new frmMapTData(this, host_.settings, host_.dialogs);
    connect(setup_, &frmMapTData::closed, this, [this](bool accepted) {
        if (closing_) return;
        if (!accepted) {
            btnSetup_->setEnabled(true);
            lblStatus_->setText(S("Set-up cancelled: nothing is read from the ECU. \"Set Up...\" "
                                  "opens it again; a saved map and logs work without it."));
            return;
        }
        setupDone_ = true;
        startForm();
    });
    // Once the launch has shown this window: the set-up goes over it.
    QTimer::singleShot(0, this, &frmMapTrace::showSetup);
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
    if (m_.mapKnown) {
        read_->skipToTrace(); // an opened map: nothing to read
    } else {
        kind_ = mapKindOf(texts);
        const QString preset = mapPresetName(texts);
        kindSource_ = preset.isEmpty() ? S("read from addresses of no preset")
                                       : S("read from the stored addresses of %1").arg(preset);
        correction_->setMap(kind_, kindSource_, false);
    }
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
    LinkSequence arming;
    arming.threshold(ecu::ArmThreshold)
        .ask(watchRequest(command_, read_->liveAddresses()))
        .wait(maptrace::TracePauseMs)
        .settle()
        .discard()
        .threshold(maptrace::TraceThreshold)
        .frames(memread::WatchBytes);
    LinkSequence s = tap_.armed(std::move(arming), traceLayout_);
    s.then([this] { traceFirst_ = true; }).startStream();
    return s;
}

void frmMapTrace::getMap(const QByteArray& bytes) {
    if (!awaiting_ || stage_ != Stage::Reading || !inFlight_) return;
    const auto value = single_.take(bytes);
    if (!value) return askAgain(); // its bytes disagree: a spoiled request or a spoiled frame
    awaiting_ = false;
    replyWatch_->answered();
    const int cell = inFlight_->cell;
    grid_->showRead(cell, *value);
    if (cell >= maptrace::FirstMapCell) {
        m_.map.values[size_t(cell - maptrace::FirstMapCell)] = *value;
    } else if (cell >= maptrace::FirstColumnHeader) {
        m_.map.scales.tp[size_t(cell - maptrace::FirstColumnHeader)] = *value;
    } else {
        m_.map.scales.rpm[size_t(cell - maptrace::FirstRowHeader)] = 50 * int(*value);
    }
    LinkSequence s;
    s.write(ecu::StreamStop).wait(maptrace::StopPauseMs).discard();
    sendComm(std::move(s));
}

void frmMapTrace::getTraceData(const QByteArray& frame) {
    if (stage_ != Stage::Tracing) return;
    const float afr = host_.state.live.wbValues[0];
    // A ratio that no longer streams, or of a sensor not ready, is not a reading (NaN or 0).
    const std::optional<float> ratioNow =
        host_.launcher.afrDisplayEnabled() && std::isfinite(afr) && afr > 0.0f
            ? std::optional<float>(afr)
            : std::nullopt;
    passingRatio_ = traceFirst_ ? ratioNow : heldRatio_;
    traceFirst_ = false;
    heldRatio_ = ratioNow;
    ratioNow_ = ratioNow;
    tap_.take(frame);
}

void frmMapTrace::traceFrame(uint32_t at, const FrameReadings& readings) {
    const auto engine = readings.rawOf(channel::Rpm);
    const auto throttle = readings.rawOf(channel::Throttle);
    if (!engine || !throttle) return;
    const std::optional<float> ratio = passingRatio_;
    const std::optional<float> ratioNow = ratioNow_;
    const int rpm = engineSpeed(uint8_t(*engine >> 8), uint8_t(*engine & 0xFF));
    const uint8_t tp = uint8_t(*throttle);
    const int index = mapCellOf(m_.map.scales, rpm, int(tp));
    const int cell = maptrace::FirstMapCell + index;
    const TraceTrail::Move move = trail_.moveTo(cell);
    if (move.left) m_.trailed.set(size_t(move.left - maptrace::FirstMapCell));
    if (move.now) m_.shownCurrent = move.now;
    if (move.left) grid_->showCell(move.left);
    if (move.now) grid_->showCell(move.now);

    // The frame's own time: it was held back one frame by the spike filter.
    m_.addHit(index, ratio, double(at) / 1000.0, tp * 0.02);
    coverageChanged(index);

    readouts_->show(rpm, tp, ratioNow);
}

void frmMapTrace::btnClear_Click() {
    // The marked cell keeps its place: it shows its map colour until the engine moves on.
    m_.clearTrail();
    clearCoverage();
    showCoverage();
}

void frmMapTrace::clearCoverage() {
    stopAddingLogs();
    m_.clearCoverage();
    logsNote_.clear();
}

void frmMapTrace::mapKnown() {
    m_.mapKnown = true;
    for (QPushButton* b : {btnClear_, btnSaveMap_, btnAddLogs_, btnExportCoverage_})
        b->setEnabled(b != btnAddLogs_ || !adder_);
    correction_->setScales(m_.map.scales);
    correction_->setMap(kind_, kindSource_);
    showCoverage();
}

void frmMapTrace::useMap(const EngineMap& map, const QString& path) {
    // The kind of the map shown: the file's, whatever addresses are stored.
    kind_ = mapKindOfFile(path);
    kindSource_ = S("opened from %1").arg(QFileInfo(path).fileName());
    if (map.scales != m_.map.scales || !m_.mapKnown) {
        // The cells of other scales are other cells: what was counted no longer applies.
        clearCoverage();
        m_.clearTrail();
        trail_ = TraceTrail();
    }
    m_.map = map;
    grid_->showHeaders();
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

void frmMapTrace::coverageChanged(int index) {
    grid_->changed(index);
    if (!coverageTimer_.isActive()) coverageTimer_.start();
}

void frmMapTrace::showCoverage() {
    refreshCoverage();
    grid_->showAll();
}

void frmMapTrace::refreshCoverage() {
    coverageTimer_.stop();
    m_.settings = correction_->settings();
    m_.correction.reset();
    if (m_.mapKnown && correction_->offered()) m_.correction = correction_->correct();
    grid_->refresh();
    QString summary =
        S("Coverage: %1 hits, %2 with WBo2.").arg(m_.coverage.hits()).arg(m_.coverage.afrHits());
    if (!logsNote_.isEmpty()) summary += u' ' + logsNote_;
    lblCoverage_->setText(m_.mapKnown ? summary : QString());
}

void frmMapTrace::btnOpenMap_Click() {
    const QString path = files_.open(S(kMapFileFilter));
    if (path.isEmpty()) return;
    const MapFileRead read = readMapFile(path);
    if (!read.map) return files_.refused(S("map"), path, read.error);
    useMap(*read.map, path);
}

void frmMapTrace::btnSaveMap_Click() {
    // The name says the kind, so that Open Map knows it again.
    const QString name = kind_ == MapKind::Timing ? S("timing map.csv")
                         : kind_ == MapKind::Fuel ? S("fuel map.csv")
                                                  : S("map.csv");
    if (m_.mapKnown) files_.save(name, mapFileText(m_.map));
}

void frmMapTrace::btnExportCoverage_Click() {
    if (m_.mapKnown) files_.save(S("coverage.csv"), coverageExportText(m_.map.scales, m_.coverage));
}

void frmMapTrace::btnAddLogs_Click() {
    if (!m_.mapKnown || adder_) return;
    const QStringList paths = files_.openMany(S(kLogFileFilter));
    if (paths.isEmpty()) return;
    btnAddLogs_->setEnabled(false);
    logsNote_ =
        S("Adding %1 %2...").arg(paths.size()).arg(paths.size() == 1 ? S("log") : S("logs"));
    showCoverage();
    const int run = ++addRun_;
    adder_ = std::make_unique<LogAdder>(
        this, paths, m_.map.scales, [this, run](const LogFilesCoverage& r) { logsAdded(r, run); });
}

void frmMapTrace::logsAdded(const LogFilesCoverage& result, int run) {
    // A run stopped (Clear Trace, other scales, closing) may have finished just before: its
    // counts no longer belong here.
    if (run != addRun_ || !adder_ || closing_) return;
    adder_.reset();
    btnAddLogs_->setEnabled(m_.mapKnown);
    m_.addLogs(result);
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
    btnAddLogs_->setEnabled(m_.mapKnown);
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
