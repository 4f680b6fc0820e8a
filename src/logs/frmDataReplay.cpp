#include "logs/frmDataReplay.h"

#include "live/GaugeGrid.h"
#include "live/live_state.h"
#include "logs/analyser_axes.h"
#include "logs/log_format.h"
#include "logs/log_loading.h"
#include "logs/replay_logic.h"
#include "ui/Dialogs.h"
#include "ui/ui_helpers.h"
#include "util/colour.h"
#include "util/text.h"
#include "util/ticks.h"
#include "util/twips.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>

namespace kx {

namespace {

// The slider's place in its frame, moved down below the frame's caption where the caption's
// font is taller than the room above it, and kept inside the frame.
QRect sliderInFrame(QRect slider, const QWidget* frame) {
    const int caption = frame->fontMetrics().height() + 3; // below the frame line too
    if (slider.top() < caption) slider.moveTop(caption);
    const int room = frame->height() - slider.top() - 2;
    if (slider.height() > room) slider.setHeight(std::max(room, 4));
    return slider;
}

void setFontPoints(QWidget* w, int points) {
    QFont f = w->font();
    f.setPointSize(std::max(points, 1)); // nothing smaller is legible
    w->setFont(f);
}
} // namespace

frmDataReplay::frmDataReplay(const Host& host) : QWidget(host.window, Qt::Window), host_(host) {
    setObjectName(S("frmDataReplay"));
    setWindowTitle(S("Data Replay"));
    setAttribute(Qt::WA_DeleteOnClose);
    playTimer_ = new QTimer(this);
    playTimer_->setSingleShot(true);
    playTimer_->setTimerType(Qt::PreciseTimer);
    connect(playTimer_, &QTimer::timeout, this, &frmDataReplay::playStep);
    setAutoFillBackground(true);
    grid_ = new GaugeGrid(this);
    buildUi();
    getColours();
    for (int i = 0; i < 12; ++i)
        grid_->lblName(i)->clear();
    closeOnEscape(this);
    nameForAccessibility(this);
    resize(960, 640);
    layoutWindow(); // a hidden window gets its resize event only when shown
    // Neutral dials until a log names them, as after each Open; a dial never set up would show
    // its bare value texts in the corner.
    for (int k = 0; k < 12; ++k)
        grid_->setupGauge(k, host_.state.setup.gaugeCatalogue[0]);
}

frmDataReplay::~frmDataReplay() = default;

void frmDataReplay::buildUi() {
    // Created in Tab order: the two sliders, then Play, Stop and Open.
    fraPosition_ = new QGroupBox(S("Position"), this);
    fraPosition_->setObjectName(S("fraPosition"));
    scrollBar1_ = new QScrollBar(Qt::Horizontal, fraPosition_);
    scrollBar1_->setObjectName(S("scrollBar1"));
    scrollBar1_->setAccessibleName(S("Position"));
    scrollBar1_->setFocusPolicy(Qt::StrongFocus); // scroll bars take no focus by default
    scrollBar1_->setRange(1, kReplaySliderSteps);
    scrollBar1_->setSingleStep(1);
    scrollBar1_->setPageStep(10);
    scrollBar1_->setValue(1);
    fraPosition_->setEnabled(false);

    fraSpeed_ = new QGroupBox(S("Replay speed"), this);
    fraSpeed_->setObjectName(S("fraSpeed"));
    scrollBar2_ = new QScrollBar(Qt::Horizontal, fraSpeed_);
    scrollBar2_->setObjectName(S("scrollBar2"));
    scrollBar2_->setAccessibleName(S("Replay speed"));
    scrollBar2_->setFocusPolicy(Qt::StrongFocus); // scroll bars take no focus by default
    scrollBar2_->setRange(1, 250);
    scrollBar2_->setSingleStep(1);
    scrollBar2_->setPageStep(20);
    scrollBar2_->setValue(63);
    scrollBar2_->setToolTip(S("63ms"));
    fraSpeed_->setEnabled(false);

    // A log with times plays at its own pace: the speed is a multiple of it, in place of the
    // delay slider.
    cmbSpeed_ = new QComboBox(this);
    cmbSpeed_->setObjectName(S("cmbSpeed"));
    cmbSpeed_->setAccessibleName(S("Replay speed"));
    for (double speed : kReplaySpeeds)
        cmbSpeed_->addItem(S("Speed ") + replaySpeedText(speed));
    cmbSpeed_->setCurrentIndex(kReplayDefaultSpeed);
    cmbSpeed_->setToolTip(S("Replay speed, a multiple of the pace the log was recorded at"));
    cmbSpeed_->setEnabled(false);
    cmbSpeed_->hide();

    btnPlay_ = new QPushButton(S("Play"), this);
    btnPlay_->setObjectName(S("btnPlay"));
    btnPlay_->setEnabled(false);
    btnStop_ = new QPushButton(S("Stop"), this);
    btnStop_->setObjectName(S("btnStop"));
    btnStop_->setEnabled(false);
    btnBrowse_ = new QPushButton(S("Open"), this);
    btnBrowse_->setObjectName(S("btnBrowse"));

    lblTime_ = new QLabel(this);
    lblTime_->setObjectName(S("lblTime"));
    showsValue(lblTime_, S("Record shown"));
    lblTime_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    // Shown over the position slider while a log loads.
    prgLoad_ = new QProgressBar(this);
    prgLoad_->setObjectName(S("prgLoad"));
    prgLoad_->setAccessibleName(S("Loading"));
    prgLoad_->setRange(0, 100);
    prgLoad_->setTextVisible(false);
    prgLoad_->hide();

    connect(scrollBar1_, &QScrollBar::valueChanged, this, &frmDataReplay::scrollBar1_Change);
    connect(scrollBar2_, &QScrollBar::valueChanged, this, &frmDataReplay::scrollBar2_Change);
    connect(cmbSpeed_, &QComboBox::currentIndexChanged, this, &frmDataReplay::cmbSpeed_Change);
    connect(btnPlay_, &QPushButton::clicked, this, &frmDataReplay::btnPlay_Click);
    connect(btnStop_, &QPushButton::clicked, this, &frmDataReplay::btnStop_Click);
    connect(btnBrowse_, &QPushButton::clicked, this, &frmDataReplay::btnBrowse_Click);
}

void frmDataReplay::getColours() {
    const DisplayColours c = readDisplayColours(host_.settings);
    windowColour_ = c.window;
    grid_->applyColours(c);
}

// ---------------------------------------------------------------- layout

void frmDataReplay::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutWindow();
}

void frmDataReplay::layoutWindow() {
    QPalette p = palette();
    p.setColor(QPalette::Window, colourFromBgr(windowColour_));
    p.setColor(QPalette::Button, colourFromBgr(windowColour_));
    setPalette(p);

    const ReplayLayout l = replayLayout(pixelsToTwips(width()), pixelsToTwips(height()));
    const DisplayLayout& d = l.display;
    if (d.column <= 0 || d.row <= 0) return; // too small (or minimised): the next resize lays out
    grid_->place(d);
    for (QGroupBox* frame : {fraPosition_, fraSpeed_})
        setFontPoints(frame, l.frameFont);
    fraPosition_->setGeometry(pixelRect(l.fraPosition));
    fraSpeed_->setGeometry(pixelRect(l.fraSpeed));
    cmbSpeed_->setGeometry(pixelRect(l.fraSpeed));
    lblTime_->setGeometry(pixelRect(l.lblTime));
    setFontPoints(lblTime_, l.buttonFont);
    const QRect slider = sliderInFrame(pixelRect(l.slider), fraPosition_);
    scrollBar1_->setGeometry(slider);
    scrollBar2_->setGeometry(slider);
    prgLoad_->setGeometry(slider.translated(fraPosition_->pos()));
    btnPlay_->setGeometry(pixelRect(l.btnPlay));
    btnStop_->setGeometry(pixelRect(l.btnStop));
    btnBrowse_->setGeometry(pixelRect(l.btnBrowse));
    for (QPushButton* b : {btnPlay_, btnStop_, btnBrowse_})
        setFontPoints(b, l.buttonFont);
    setupGaugeSlots();
}

void frmDataReplay::setupGaugeSlots() {
    const auto& catalogue = host_.state.setup.gaugeCatalogue;
    const std::vector<int> gauges = data_.gaugeColumns();
    for (int k = 0; k < 12; ++k) {
        if (size_t(k) < gauges.size()) {
            const int code = data_.columns()[size_t(gauges[size_t(k)])].code;
            grid_->setupGauge(k, catalogue[size_t(code)]);
        } else if (grid_->isSetUp(k)) {
            // The neutral dial of a slot the log does not use, redrawn at the slot's new size.
            grid_->setupGauge(k, catalogue[0]);
        }
    }
}

// ---------------------------------------------------------------- Open

void frmDataReplay::reset() {
    data_ = LogData();
    clock_ = ReplayClock();
    lblTime_->clear();
    scale_ = 1;
    const auto& catalogue = host_.state.setup.gaugeCatalogue;
    for (int k = 0; k < 12; ++k) {
        grid_->lblName(k)->clear();
        grid_->lblMax(k)->setText(S("0"));
        grid_->setIndicatorEnabled(k, false);
        grid_->setupGauge(k, catalogue[0]);
    }
    scrollBar1_->setValue(1);
    for (QWidget* w : {static_cast<QWidget*>(btnPlay_), static_cast<QWidget*>(btnBrowse_),
                       static_cast<QWidget*>(fraPosition_), static_cast<QWidget*>(fraSpeed_),
                       static_cast<QWidget*>(cmbSpeed_)})
        w->setEnabled(false);
}

void frmDataReplay::btnBrowse_Click() {
    if (playing_ || isLoading()) return;
    const QString path = host_.dialogs.openFileName(this, QString(), S(kLogFileFilter));
    if (path.isEmpty()) return;
    setWindowTitle(S("Data Replay - ") + path);
    reset();
    load_ = std::make_unique<LogLoad>(
        host_, this, path, [this](std::optional<LogData> data) { loaded(std::move(data)); },
        prgLoad_);
}

void frmDataReplay::loaded(std::optional<LogData> data) {
    btnBrowse_->setEnabled(true);
    if (!data) return;
    data_ = std::move(*data);
    const auto& catalogue = host_.state.setup.gaugeCatalogue;

    int k = 0;
    for (const LogColumn& column : data_.columns()) {
        if (column.kind == LogColumnKind::Indicator) {
            grid_->setIndicatorEnabled(column.number, true);
        } else if (column.kind == LogColumnKind::Gauge) {
            grid_->lblName(k)->setText(catalogue[size_t(column.code)].name());
            grid_->setupGauge(k, catalogue[size_t(column.code)]);
            ++k;
        }
    }
    const int64_t n = data_.recordCount();
    scale_ = replaySliderScale(n);
    scrollBar1_->setRange(1, std::max(1, replaySliderMaximum(n)));
    clock_ = ReplayClock(replayTimes(data_));
    fraSpeed_->setVisible(!clock_.timed());
    cmbSpeed_->setVisible(clock_.timed());
    for (QWidget* w : {static_cast<QWidget*>(btnPlay_), static_cast<QWidget*>(fraPosition_),
                       static_cast<QWidget*>(fraSpeed_), static_cast<QWidget*>(cmbSpeed_)})
        w->setEnabled(true);
    // The first record, rather than the dials' minimums, until Play.
    current_ = 1;
    showRecord();
}

// ---------------------------------------------------------------- playback

void frmDataReplay::setDataDisplay() {
    for (const ReplayUpdate& u : replayUpdates(data_, current_)) {
        if (u.kind == ReplayUpdate::Kind::Gauge)
            grid_->setValue(u.target, u.value);
        else
            grid_->ChangelblOnOff(u.target, u.state);
    }
}

void frmDataReplay::showPlaying(bool playing) {
    playing_ = playing;
    if (!playing) playTimer_->stop();
    btnPlay_->setEnabled(!playing);
    btnBrowse_->setEnabled(!playing);
    btnStop_->setEnabled(playing);
}

void frmDataReplay::showRecord() {
    {
        const QSignalBlocker quiet(scrollBar1_);
        scrollBar1_->setValue(replaySliderValue(current_, scale_));
    }
    scrollBar1_->setToolTip(QString::number(current_));
    setDataDisplay();
    lblTime_->setText(analyserCursorText(clock_.times(), current_) +
                      S(" of %1").arg(static_cast<qint64>(data_.recordCount())));
}

double frmDataReplay::speed() const {
    const int i = std::clamp(cmbSpeed_->currentIndex(), 0, int(kReplaySpeeds.size()) - 1);
    return kReplaySpeeds[size_t(i)];
}

void frmDataReplay::cmbSpeed_Change(int) {
    // From the record shown, at the new pace.
    if (playing_) clock_.start(current_, ticks(), speed());
}

void frmDataReplay::btnPlay_Click() {
    if (playing_ || isLoading() || !btnPlay_->isEnabled()) return;
    showPlaying(true);
    if (clock_.timed()) clock_.start(current_, ticks(), speed());
    playStep();
}

void frmDataReplay::playStep() {
    if (!playing_) return;
    if (clock_.timed()) {
        const uint32_t now = ticks();
        current_ = std::max(current_, clock_.recordAt(now));
        showRecord();
        if (current_ >= data_.recordCount()) return showPlaying(false);
        playTimer_->start(int(std::min<uint32_t>(clock_.msUntilNext(current_, now), 60000)));
        return;
    }
    const ReplayStep step = replayStep(current_, data_.recordCount(), scale_);
    setDataDisplay();
    if (!step.runs) {
        // The last record, which the slider cannot reach when S does not divide N.
        showPlaying(false);
        return;
    }
    current_ = step.next;
    scrollBar1_->setValue(step.slider); // shows the new record when the value changes
    playTimer_->start(scrollBar2_->value());
}

void frmDataReplay::btnStop_Click() {
    showPlaying(false);
}

void frmDataReplay::scrollBar1_Change(int value) {
    current_ = std::max<int64_t>(replayRecordAt(value, scale_), 1);
    showRecord();
    // Played on by the clock from the record moved to.
    if (playing_ && clock_.timed()) clock_.start(current_, ticks(), speed());
}

void frmDataReplay::scrollBar2_Change(int value) {
    scrollBar2_->setToolTip(QString::number(value) + S("ms"));
}

// ---------------------------------------------------------------- closing

void frmDataReplay::closeEvent(QCloseEvent* event) {
    load_.reset(); // a read in progress is cancelled
    if (playing_) {
        if (!host_.launcher.isUnloading()) {
            host_.dialogs.message(this, S("Stop data replay before closing window"));
            event->ignore();
            return;
        }
        btnStop_Click(); // the program is ending: nothing may hold it up
    }
    event->accept();
}

} // namespace kx
