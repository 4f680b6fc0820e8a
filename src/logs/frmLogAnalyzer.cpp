#include "logs/frmLogAnalyzer.h"

#include "link/EcuLink.h"
#include "live/live_state.h"
#include "logs/AnalyserPlot.h"
#include "logs/ScatterPlot.h"
#include "logs/analyser_layout.h"
#include "logs/analyser_scatter.h"
#include "logs/log_format.h"
#include "logs/log_loading.h"
#include "ui/Dialogs.h"
#include "ui/ui_helpers.h"
#include "util/colour.h"
#include "util/text.h"
#include "util/twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QScrollBar>

namespace kx {

namespace {

constexpr int kCells = kAnalyserSeries + kAnalyserIndicators;
constexpr uint32_t kGreen = 65280, kBlack = 0, kWhite = 0xFFFFFF;

const char* const kIndicatorCaptions[kAnalyserIndicators] = {
    "Closed TPS", "Power Steer", "Air Con sw", "Start Signal", "Neutral",   "Air Con rly",
    "Fuel Pump",  "Thermo Fan",  "VCT",        "Waste Gate",   "A/F ratio", "EGR sol"};

QRect pixels(const QRect& twips) {
    return QRect(twips.x() / kTwipsPerPixel, twips.y() / kTwipsPerPixel,
                 twips.width() / kTwipsPerPixel, twips.height() / kTwipsPerPixel);
}

void setFontSize(QWidget* w, double points) {
    QFont f = w->font();
    f.setPointSizeF(std::max(points, 1.0));
    w->setFont(f);
}

// `points`, made smaller when `text` would not fit `room` pixels.
QFont fittedFont(QFont f, const QString& text, double points, int room) {
    f.setPointSizeF(std::max(points, 1.0));
    const int wide = QFontMetrics(f).horizontalAdvance(text);
    if (wide > room && room > 0) f.setPointSizeF(std::max(points * room / wide, 1.0));
    return f;
}

// The layout's font size, made smaller when a long value would not fit the readout.
void fitValueFont(QLabel* label, double points) {
    label->setFont(fittedFont(label->font(), label->text(), points, label->width() - 4));
}

// Writes `image` as a PNG in one step: the file is replaced only once the whole picture is
// written. The reason when it fails.
std::optional<QString> savePng(const QImage& image, const QString& path) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && file.commit())
        return std::nullopt;
    const QString reason = file.errorString();
    return S("The view could not be saved to '%1': %2").arg(path, reason);
}

} // namespace

frmLogAnalyzer::frmLogAnalyzer(const Host& host) : QWidget(host.window, Qt::Window), host_(host) {
    setObjectName(S("frmLogAnalyzer"));
    setWindowTitle(S("Data Log Analyser"));
    setAttribute(Qt::WA_DeleteOnClose);
    buildUi();
    closeOnEscape(this);
    nameForAccessibility(this);
    setMinimumSize(760, 520);
    resize(1000, 700);
    applyLayout(); // a hidden window gets its resize event only when shown
    reset();
    btnBrowse_->setEnabled(true);
}

frmLogAnalyzer::~frmLogAnalyzer() = default;

// ---------------------------------------------------------------- building

void frmLogAnalyzer::buildUi() {
    // Created in Tab order: the cells column by column, then Open, the position row, the graphs.
    for (int i = 0; i < kCells; ++i) {
        auto* frame = new QGroupBox(this);
        frame->setObjectName(QStringLiteral("Frame1_%1").arg(i));
        auto* value = new QLabel(frame);
        value->setObjectName(QStringLiteral("lblParam_%1").arg(i));
        value->setAlignment(Qt::AlignCenter);
        value->setAutoFillBackground(true);
        Frame1_[size_t(i)] = frame;
        lblParam_[size_t(i)] = value;
        if (i >= kAnalyserSeries) {
            frame->setTitle(S(kIndicatorCaptions[i - kAnalyserSeries]));
            showsValue(value, frame->title(), Context::InName);
            continue;
        }
        for (int g = 0; g < 2; ++g) {
            auto* check = new QCheckBox(g == 0 ? S("Graph 1") : S("Graph 2"), this);
            check->setObjectName(QStringLiteral("Check%1_%2").arg(g + 1).arg(i));
            // The state, not a click: an accessible Toggle action sends no click.
            connect(check, &QCheckBox::toggled, this, [this, g] { Check_Click(g); });
            (g == 0 ? Check1_ : Check2_)[size_t(i)] = check;
        }
    }
    btnBrowse_ = new QPushButton(S("Open"), this);
    btnBrowse_->setObjectName(S("btnBrowse"));
    connect(btnBrowse_, &QPushButton::clicked, this, &frmLogAnalyzer::btnBrowse_Click);

    fraPosition_ = new QGroupBox(S("Position"), this);
    fraPosition_->setObjectName(S("fraPosition"));
    const auto button = [this](const char* caption, const char* name) {
        auto* b = new QPushButton(S(caption), fraPosition_);
        b->setObjectName(S(name));
        return b;
    };
    btnMinus1_ = button("-1", "btnMinus1");
    btnPlus1_ = button("+1", "btnPlus1");
    btnZoomOut_ = button("Zoom Out", "btnZoomOut");
    btnZoomIn_ = button("Zoom In", "btnZoomIn");
    btnMinus1_->setAccessibleName(S("Previous record"));
    btnPlus1_->setAccessibleName(S("Next record"));
    Label1_ = new QLabel(fraPosition_);
    Label1_->setObjectName(S("Label1"));
    showsValue(Label1_, S("Cursor record"));
    Label1_->setAlignment(Qt::AlignCenter);
    connect(btnMinus1_, &QPushButton::clicked, this, &frmLogAnalyzer::btnMinus1_Click);
    connect(btnPlus1_, &QPushButton::clicked, this, &frmLogAnalyzer::btnPlus1_Click);
    connect(btnZoomOut_, &QPushButton::clicked, this, &frmLogAnalyzer::btnZoomOut_Click);
    connect(btnZoomIn_, &QPushButton::clicked, this, &frmLogAnalyzer::btnZoomIn_Click);
    btnZoomOut_->setEnabled(false);

    fraView_ = new QGroupBox(S("View"), this);
    fraView_->setObjectName(S("fraView"));
    optGraphs_ = new QRadioButton(S("Graphs"), fraView_);
    optGraphs_->setObjectName(S("optGraphs"));
    optGraphs_->setChecked(true);
    optScatter_ = new QRadioButton(S("Scatter"), fraView_);
    optScatter_->setObjectName(S("optScatter"));
    connect(optScatter_, &QRadioButton::toggled, this, &frmLogAnalyzer::optView_Click);
    btnExport_ = new QPushButton(S("Export View..."), this);
    btnExport_->setObjectName(S("btnExport"));
    connect(btnExport_, &QPushButton::clicked, this, &frmLogAnalyzer::btnExport_Click);

    for (int g = 0; g < 2; ++g) {
        auto* frame = new QGroupBox(g == 0 ? S("Graph 1") : S("Graph 2"), this);
        frame->setObjectName(QStringLiteral("fraGraph%1").arg(g + 1));
        auto* plot = new AnalyserPlot(frame);
        plot->setObjectName(QStringLiteral("picContainer%1").arg(g));
        plot->setAccessibleName(frame->title());
        connect(plot, &AnalyserPlot::pressed, this, &frmLogAnalyzer::picGraph_MouseDown);
        fraGraph_[size_t(g)] = frame;
        picGraph_[size_t(g)] = plot;
    }
    // Under the two graphs, which it scrolls together.
    scrollBar1_ = new QScrollBar(Qt::Horizontal, this);
    scrollBar1_->setObjectName(S("scrollBar1"));
    scrollBar1_->setAccessibleName(S("Position"));
    scrollBar1_->setFocusPolicy(Qt::StrongFocus); // scroll bars take no focus by default
    connect(scrollBar1_, &QScrollBar::valueChanged, this, &frmLogAnalyzer::scrollBar1_Change);

    fraScatter_ = new QGroupBox(S("Scatter"), this);
    fraScatter_->setObjectName(S("fraScatter"));
    auto* grid = new QGridLayout(fraScatter_);
    const char* const pickers[3][2] = {
        {"X", "cboScatterX"}, {"Y", "cboScatterY"}, {"Colour", "cboScatterColour"}};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(S(pickers[i][0]), fraScatter_);
        auto* combo = new QComboBox(fraScatter_);
        combo->setObjectName(S(pickers[i][1]));
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        label->setBuddy(combo);
        grid->addWidget(label, 0, 2 * i, Qt::AlignRight);
        grid->addWidget(combo, 0, 2 * i + 1, Qt::AlignLeft);
        connect(combo, &QComboBox::activated, this, &frmLogAnalyzer::cboScatter_Change);
        cboScatter_[size_t(i)] = combo;
    }
    grid->setColumnStretch(5, 1);
    picScatter_ = new ScatterPlot(fraScatter_);
    picScatter_->setObjectName(S("picScatter"));
    picScatter_->setAccessibleName(S("Scatter"));
    connect(picScatter_, &ScatterPlot::recordClicked, this, &frmLogAnalyzer::picScatter_Click);
    grid->addWidget(picScatter_, 1, 0, 1, 6);
    grid->setRowStretch(1, 1);
    fraScatter_->hide();
}

void frmLogAnalyzer::resizeEvent(QResizeEvent*) {
    applyLayout();
}

void frmLogAnalyzer::applyLayout() {
    const AnalyserLayout l = analyserLayout(pixelsToTwips(width()), pixelsToTwips(height()));
    valueFont_ = l.valueFont;
    for (int i = 0; i < kCells; ++i) {
        const auto& c = l.cells[size_t(i)];
        Frame1_[size_t(i)]->setGeometry(pixels(c.box));
        lblParam_[size_t(i)]->setGeometry(pixels(c.value));
        if (i >= kAnalyserSeries) continue;
        Check1_[size_t(i)]->setGeometry(pixels(c.graph1));
        Check2_[size_t(i)]->setGeometry(pixels(c.graph2));
        setFontSize(Check1_[size_t(i)], l.checkFont);
        setFontSize(Check2_[size_t(i)], l.checkFont);
    }
    fitCells(l);
    btnBrowse_->setGeometry(pixels(l.open));
    setFontSize(btnBrowse_, l.checkFont);
    fraPosition_->setGeometry(pixels(l.position));
    setFontSize(fraPosition_, l.positionFont);
    const std::array<QWidget*, 5> row = {btnMinus1_, btnPlus1_, btnZoomOut_, btnZoomIn_, Label1_};
    for (size_t i = 0; i < row.size(); ++i)
        row[i]->setGeometry(pixels(l.positionRow[i]));
    for (size_t g = 0; g < 2; ++g) {
        fraGraph_[g]->setGeometry(pixels(l.graphFrame[g]));
        setFontSize(fraGraph_[g], l.graphFont);
        picGraph_[g]->setGeometry(pixels(l.container[g]));
    }
    scrollBar1_->setGeometry(pixels(l.scrollBar));
    fraView_->setGeometry(pixels(l.view));
    setFontSize(fraView_, l.positionFont);
    optGraphs_->setGeometry(pixels(l.viewRow[0]));
    optScatter_->setGeometry(pixels(l.viewRow[1]));
    btnExport_->setGeometry(pixels(l.exportButton));
    setFontSize(btnExport_, l.checkFont);
    fraScatter_->setGeometry(pixels(l.scatter));
    setFontSize(fraScatter_, l.graphFont);
    if (fraPosition_->isEnabled()) {
        // Keep the view where it was while the container's width changes the range.
        const int64_t offset = picGraph_[0]->offset();
        setScrollRange();
        scrollBar1_->setValue(static_cast<int>(offset / scroll_.scale));
        scrollBar1_Change(scrollBar1_->value()); // S may have changed under the same value
        scrollBar1_->setEnabled(plotWidth_ > containerWidth());
    }
}

void frmLogAnalyzer::fitCells(const AnalyserLayout& l) {
    for (int i = 0; i < kCells; ++i) {
        // A title wider than its frame is made smaller, and the readout sits below the title,
        // whatever the style's title height.
        QGroupBox* frame = Frame1_[size_t(i)];
        frame->setFont(
            fittedFont(frame->font(), frame->title(), l.captionFont, frame->width() - 10));
        QRect value = pixels(l.cells[size_t(i)].value);
        value.moveTop(std::max(value.top(), QFontMetrics(frame->font()).height()));
        value.setBottom(std::min(value.bottom(), frame->height() - 3));
        lblParam_[size_t(i)]->setGeometry(value);
        fitValueFont(lblParam_[size_t(i)], l.valueFont);
    }
}

int64_t frmLogAnalyzer::containerWidth() const {
    return pixelsToTwips(picGraph_[0]->width());
}

QCheckBox* frmLogAnalyzer::box(int graph, int k) const {
    return (graph == 0 ? Check1_ : Check2_)[size_t(k)];
}

void frmLogAnalyzer::setParamColours(int cell, uint32_t text, uint32_t back) {
    QPalette p = lblParam_[size_t(cell)]->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::WindowText, colourFromBgr(text));
        p.setColor(group, QPalette::Window, colourFromBgr(back));
    }
    lblParam_[size_t(cell)]->setPalette(p);
}

// ---------------------------------------------------------------- Open

void frmLogAnalyzer::reset() {
    for (int i = 0; i < kCells; ++i) {
        if (i < kAnalyserSeries) {
            Frame1_[size_t(i)]->setTitle(QString());
            for (int g = 0; g < 2; ++g) {
                box(g, i)->setChecked(false);
                box(g, i)->setEnabled(false);
                box(g, i)->setAccessibleName(
                    QStringLiteral("Column %1 on Graph %2").arg(i + 1).arg(g + 1));
            }
            showsValue(lblParam_[size_t(i)], QStringLiteral("Column %1").arg(i + 1),
                       Context::InName);
        }
        lblParam_[size_t(i)]->clear();
        setParamColours(i, kGreen, kBlack);
        Frame1_[size_t(i)]->setEnabled(false);
    }
    for (AnalyserPlot* plot : picGraph_)
        plot->clearSeries();
    data_ = LogData();
    gaugeColumns_.clear();
    picScatter_->clear();
    picScatter_->setCursorRecord(-1);
    for (QComboBox* combo : cboScatter_) {
        combo->clear();
        combo->setEnabled(false);
    }
    numbers_ = {};
    times_.clear();
    for (AnalyserPlot* plot : picGraph_)
        plot->setTimes({});
    stepX_ = 0;
    cursor_ = 1;
    Label1_->clear();
    placeCursorLines(0);
    btnBrowse_->setEnabled(false);
    fraPosition_->setEnabled(false);
    scrollBar1_->setEnabled(false);
    btnExport_->setEnabled(false);
}

void frmLogAnalyzer::btnBrowse_Click() {
    const QString path = host_.dialogs.openFileName(this, QString(), S(kLogFileFilter));
    if (path.isEmpty()) return;
    setWindowTitle(S("Data Log - ") + path);
    reset();
    load_ = std::make_unique<LogLoad>(host_, this, path, [this, path](std::optional<LogData> data) {
        loaded(std::move(data), path);
    });
}

void frmLogAnalyzer::loaded(std::optional<LogData> data, const QString& path) {
    btnBrowse_->setEnabled(true);
    fraPosition_->setEnabled(data.has_value());
    btnExport_->setEnabled(data.has_value());
    if (!data) return;
    data_ = std::move(*data);
    gaugeColumns_ = data_.gaugeColumns();
    path_ = path;
    times_ = analyserElapsedSeconds(data_);
    for (AnalyserPlot* plot : picGraph_)
        plot->setTimes(times_);

    const int64_t n = data_.recordCount();
    plotWidth_ = analyserPlotWidth(n, containerWidth());
    for (AnalyserPlot* plot : picGraph_)
        plot->setSurface(plotWidth_, stepX_);
    setScrollRange();
    scrollBar1_->setEnabled(containerWidth() < n);
    // A new log starts at its narrowest: only Zoom In is of use.
    btnZoomIn_->setEnabled(true);
    btnZoomOut_->setEnabled(false);
    btnMinus1_->setEnabled(true);
    btnPlus1_->setEnabled(true);
    setCursor(1);

    for (int c = 0; c < data_.columnCount(); ++c) {
        const LogColumn& column = data_.columns()[size_t(c)];
        if (column.kind == LogColumnKind::Indicator) {
            Frame1_[size_t(kAnalyserSeries + column.number)]->setEnabled(true);
            continue;
        }
        if (column.kind != LogColumnKind::Gauge) continue;
        const auto k = static_cast<size_t>(
            std::find(gaugeColumns_.begin(), gaugeColumns_.end(), c) - gaugeColumns_.begin());
        const QString name = host_.state.setup.gaugeCatalogue[size_t(column.number)].name();
        Frame1_[k]->setTitle(name);
        Frame1_[k]->setEnabled(true);
        showsValue(lblParam_[k], name, Context::InName);
        for (int g = 0; g < 2; ++g) {
            box(g, int(k))->setEnabled(true);
            box(g, int(k))->setAccessibleName(name + QStringLiteral(" on Graph %1").arg(g + 1));
        }
    }
    fitCells(analyserLayout(pixelsToTwips(width()), pixelsToTwips(height())));
    fillScatterPickers();
    if (optScatter_->isChecked()) showScatter();
}

// ---------------------------------------------------------------- drawing

void frmLogAnalyzer::Check_Click(int graph) {
    if (isLoading()) return;
    redrawGraph(graph);
    placeCursorLines(static_cast<double>(cursor_ - 1) * stepX_);
}

void frmLogAnalyzer::redrawGraph(int graph) {
    picGraph_[size_t(graph)]->clearSeries();
    for (int k = 0; k < kAnalyserSeries; ++k) {
        if (box(graph, k)->isChecked())
            drawSeries(k, graph);
        else if (!box(1 - graph, k)->isChecked())
            setParamColours(k, kGreen, kBlack);
    }
}

const frmLogAnalyzer::ColumnNumbers& frmLogAnalyzer::numbers(int code) {
    auto& slot = numbers_[size_t(code)];
    if (!slot) {
        slot.emplace();
        slot->numbers = data_.numbersByCode(code);
        slot->ranges = RangeIndex(slot->numbers.values);
    }
    return *slot;
}

int frmLogAnalyzer::gaugeCode(int k) const {
    return data_.columns()[size_t(gaugeColumns_[size_t(k)])].code;
}

QString frmLogAnalyzer::gaugeName(int k) const {
    return host_.state.setup.gaugeCatalogue[size_t(gaugeCode(k))].name();
}

void frmLogAnalyzer::drawSeries(int k, int graph) {
    const uint32_t colour = analyserSeriesColour(k);
    setParamColours(k, colour, kWhite);
    if (size_t(k) >= gaugeColumns_.size()) return;
    const int code = gaugeCode(k);
    const double maxVal = host_.state.setup.gaugeCatalogue[size_t(code)].maxVal();
    const double step = analyserStepX(plotWidth_, data_.recordCount());
    if (step <= 0 || maxVal == 0) {
        host_.dialogs.message(this, logInvalidDataMessage());
        return;
    }
    stepX_ = step;
    for (AnalyserPlot* plot : picGraph_)
        plot->setSurface(plotWidth_, stepX_);
    const ColumnNumbers* column = nullptr;
    {
        BusyCursor busy;
        column = &numbers(code);
    }
    picGraph_[size_t(graph)]->addSeries(
        {column->numbers.values, colourFromBgr(colour), maxVal, gaugeName(k), &column->ranges});
    // The records before a bad value stay drawn.
    if (!column->numbers.complete()) host_.dialogs.message(this, logInvalidDataMessage());
}

// ---------------------------------------------------------------- zoom and scroll

void frmLogAnalyzer::setScrollRange() {
    scroll_ = analyserScrollRange(plotWidth_, containerWidth());
    scrollBar1_->setMinimum(0);
    scrollBar1_->setMaximum(scroll_.maximum);
    scrollBar1_->setPageStep(scroll_.largeStep);
    scrollBar1_->setSingleStep(scroll_.singleStep);
}

void frmLogAnalyzer::btnZoomIn_Click() {
    const ZoomIn z = analyserZoomIn(plotWidth_, data_.recordCount(), containerWidth());
    if (!z.accepted) {
        host_.dialogs.message(this, S("Maximum Zoom achieved!"));
        btnZoomIn_->setEnabled(false);
        return;
    }
    plotWidth_ = z.width;
    scrollBar1_->setEnabled(true);
    btnZoomOut_->setEnabled(true);
    afterZoom();
}

void frmLogAnalyzer::btnZoomOut_Click() {
    const ZoomOut z = analyserZoomOut(plotWidth_, data_.recordCount(), containerWidth());
    plotWidth_ = z.width;
    if (z.atLimit) btnZoomOut_->setEnabled(false);
    scrollBar1_->setEnabled(plotWidth_ > containerWidth());
    btnZoomIn_->setEnabled(true);
    afterZoom();
}

void frmLogAnalyzer::afterZoom() {
    // Once a series has set X, X follows the width so that the cursor stays on its record.
    if (stepX_ > 0) stepX_ = analyserStepX(plotWidth_, data_.recordCount());
    for (AnalyserPlot* plot : picGraph_)
        plot->setSurface(plotWidth_, stepX_);
    setScrollRange();
    scrollBar1_->setValue(0);
    scrollBar1_Change(0);
    redrawGraph(0);
    redrawGraph(1);
    placeCursorLines(static_cast<double>(cursor_ - 1) * stepX_);
}

void frmLogAnalyzer::scrollBar1_Change(int value) {
    for (AnalyserPlot* plot : picGraph_)
        plot->setOffset(static_cast<int64_t>(value) * scroll_.scale);
}

// ---------------------------------------------------------------- cursor

void frmLogAnalyzer::placeCursorLines(double xTwips) {
    for (AnalyserPlot* plot : picGraph_)
        plot->setCursorX(xTwips);
}

void frmLogAnalyzer::setCursor(int64_t record) {
    cursor_ = record;
    placeCursorLines(static_cast<double>(cursor_ - 1) * stepX_);
    showReadout();
}

void frmLogAnalyzer::showReadout() {
    const qsizetype record = cursor_ - 1;
    int k = 0;
    for (const LogColumn& column : data_.columns()) {
        if (column.kind == LogColumnKind::Ignored) continue;
        const int cell =
            column.kind == LogColumnKind::Gauge ? k++ : kAnalyserSeries + column.number;
        QLabel* label = lblParam_[size_t(cell)];
        label->setText(logDisplayText(data_.fieldByCode(record, column.code)));
        fitValueFont(label, valueFont_);
    }
    Label1_->setText(QString::number(cursor_));
    picScatter_->setCursorRecord(cursor_ - 1);
}

void frmLogAnalyzer::picGraph_MouseDown(double xTwips) {
    if (!fraPosition_->isEnabled() || !(stepX_ > 0)) return;
    placeCursorLines(xTwips);
    cursor_ = analyserRecordAt(xTwips, stepX_, data_.recordCount());
    showReadout();
}

void frmLogAnalyzer::btnPlus1_Click() {
    if (cursor_ >= data_.recordCount()) {
        btnPlus1_->setEnabled(false);
        return;
    }
    setCursor(cursor_ + 1);
    btnMinus1_->setEnabled(true);
}

void frmLogAnalyzer::btnMinus1_Click() {
    if (cursor_ <= 1) {
        btnMinus1_->setEnabled(false);
        return;
    }
    setCursor(cursor_ - 1);
    btnPlus1_->setEnabled(true);
}

// ---------------------------------------------------------------- scatter and export

void frmLogAnalyzer::fillScatterPickers() {
    std::vector<int> codes;
    for (int k = 0; k < int(gaugeColumns_.size()); ++k)
        codes.push_back(gaugeCode(k));
    const ScatterChoice choice = scatterDefaults(codes);
    const std::array<int, 3> chosen = {choice.x, choice.y, choice.colour};
    for (size_t i = 0; i < cboScatter_.size(); ++i) {
        QComboBox* combo = cboScatter_[i];
        for (int k = 0; k < int(codes.size()); ++k)
            combo->addItem(gaugeName(k));
        combo->setCurrentIndex(codes.empty() ? -1 : chosen[i]);
        combo->setEnabled(!codes.empty());
    }
    scatterStale_ = true;
}

void frmLogAnalyzer::optView_Click(bool scatter) {
    for (QGroupBox* frame : fraGraph_)
        frame->setVisible(!scatter);
    scrollBar1_->setVisible(!scatter);
    // Zoom acts on the graphs' span: no use on the scatter, which shows every record.
    btnZoomOut_->setVisible(!scatter);
    btnZoomIn_->setVisible(!scatter);
    fraScatter_->setVisible(scatter);
    if (scatter) showScatter();
}

void frmLogAnalyzer::cboScatter_Change() {
    scatterStale_ = true;
    showScatter();
}

void frmLogAnalyzer::showScatter() {
    if (!scatterStale_ || gaugeColumns_.empty() || fraScatter_->isHidden()) return;
    scatterStale_ = false;
    std::array<ScatterPlot::Column, 3> columns;
    bool complete = true;
    {
        BusyCursor busy;
        for (size_t i = 0; i < columns.size(); ++i) {
            const int k = std::max(cboScatter_[i]->currentIndex(), 0);
            const ColumnNumbers& column = numbers(gaugeCode(k));
            columns[i] = {gaugeName(k), column.numbers.values};
            complete = complete && column.numbers.complete();
        }
        picScatter_->setColumns(columns[0], columns[1], columns[2]);
        picScatter_->setCursorRecord(cursor_ - 1);
    }
    // The records before a bad value are plotted, as the graphs draw them.
    if (!complete) host_.dialogs.message(this, logInvalidDataMessage());
}

void frmLogAnalyzer::picScatter_Click(int64_t record) {
    if (!fraPosition_->isEnabled()) return;
    setCursor(std::clamp<int64_t>(record + 1, 1, data_.recordCount()));
    btnMinus1_->setEnabled(true);
    btnPlus1_->setEnabled(true);
    // The graphs keep the cursor in sight, for when the user turns back to them.
    if (stepX_ > 0) {
        const int value =
            analyserScrollToShow(static_cast<double>(cursor_ - 1) * stepX_, picGraph_[0]->offset(),
                                 containerWidth(), scroll_, scrollBar1_->value());
        scrollBar1_->setValue(value);
    }
}

QImage frmLogAnalyzer::graphsImage(QSize size) const {
    QImage image(size, QImage::Format_RGB32);
    image.fill(palette().color(QPalette::Window));
    QPainter p(&image);
    p.setFont(fraGraph_[0]->font());
    p.setPen(palette().color(QPalette::WindowText));
    const int margin = 8, title = p.fontMetrics().height() + 4;
    const int half = size.height() / 2;
    for (int g = 0; g < 2; ++g) {
        const int top = g * half;
        p.drawText(margin, top + margin + p.fontMetrics().ascent(), fraGraph_[size_t(g)]->title());
        const QSize plot(size.width() - 2 * margin, half - title - 2 * margin);
        if (plot.isEmpty()) continue;
        p.drawImage(margin, top + margin + title, picGraph_[size_t(g)]->renderImage(plot));
    }
    return image;
}

void frmLogAnalyzer::btnExport_Click() {
    const bool scatter = optScatter_->isChecked();
    const QFileInfo log(path_);
    const QString preset =
        log.completeBaseName() + (scatter ? S("-scatter.png") : S("-graphs.png"));
    const QString path = host_.dialogs.saveFileName(this, log.absolutePath(), preset,
                                                    S("PNG Images|*.png|All Files|*.*"), S("png"));
    if (path.isEmpty()) return;
    if (!host_.dialogs.mayReplace(this, path)) return;
    const QImage image = scatter ? picScatter_->renderImage(size()) : graphsImage(size());
    if (const auto error = savePng(image, path))
        host_.dialogs.message(this, *error, MessageKind::Warning);
}

// ---------------------------------------------------------------- closing

void frmLogAnalyzer::closeEvent(QCloseEvent* event) {
    load_.reset(); // a read in progress is cancelled
    event->accept();
}

} // namespace kx
