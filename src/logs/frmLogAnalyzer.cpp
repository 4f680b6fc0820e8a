#include "logs/frmLogAnalyzer.h"

#include "app/Dialogs.h"
#include "link/EcuLink.h"
#include "app/ui_helpers.h"
#include "logs/AnalyserPlot.h"
#include "logs/analyser_layout.h"
#include "logs/log_format.h"
#include "logs/log_loading.h"
#include "util/colour.h"
#include "util/text.h"
#include "util/twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
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
            connect(check, &QCheckBox::clicked, this, [this, g] { Check_Click(g); });
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
    numbers_ = {};
    stepX_ = 0;
    cursor_ = 1;
    Label1_->clear();
    placeCursorLines(0);
    btnBrowse_->setEnabled(false);
    fraPosition_->setEnabled(false);
    scrollBar1_->setEnabled(false);
}

void frmLogAnalyzer::btnBrowse_Click() {
    const QString path = host_.dialogs.openFileName(this, QString(), S(kLogFileFilter));
    if (path.isEmpty()) return;
    setWindowTitle(S("Data Log - ") + path);
    loading_ = true;
    reset();
    const bool ok = load(path);
    loading_ = false;
    if (closeAsked_) {
        close();
        return;
    }
    btnBrowse_->setEnabled(true);
    fraPosition_->setEnabled(ok);
}

bool frmLogAnalyzer::load(const QString& path) {
    auto data = loadLogFromWindow(host_, this, path, closeAsked_);
    if (!data) return false;
    data_ = std::move(*data);
    gaugeColumns_ = data_.gaugeColumns();

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
    return true;
}

// ---------------------------------------------------------------- drawing

void frmLogAnalyzer::Check_Click(int graph) {
    if (loading_) return;
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

const LogNumbers& frmLogAnalyzer::numbers(int code) {
    auto& slot = numbers_[size_t(code)];
    if (!slot) slot = data_.numbersByCode(code);
    return *slot;
}

void frmLogAnalyzer::drawSeries(int k, int graph) {
    const uint32_t colour = analyserSeriesColour(k);
    setParamColours(k, colour, kWhite);
    if (size_t(k) >= gaugeColumns_.size()) return;
    const int code = data_.columns()[size_t(gaugeColumns_[size_t(k)])].code;
    const double maxVal = host_.state.setup.gaugeCatalogue[size_t(code)].maxVal();
    const double step = analyserStepX(plotWidth_, data_.recordCount());
    if (step <= 0 || maxVal == 0) {
        host_.dialogs.message(this, logInvalidDataMessage());
        return;
    }
    stepX_ = step;
    for (AnalyserPlot* plot : picGraph_)
        plot->setSurface(plotWidth_, stepX_);
    const LogNumbers* values = nullptr;
    {
        BusyCursor busy;
        values = &numbers(code);
    }
    picGraph_[size_t(graph)]->addSeries({values->values, colourFromBgr(colour), maxVal});
    // The records before a bad value stay drawn.
    if (!values->complete()) host_.dialogs.message(this, logInvalidDataMessage());
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

// ---------------------------------------------------------------- closing

void frmLogAnalyzer::closeEvent(QCloseEvent* event) {
    // A load in progress runs this window's events from inside its loop: finish it first.
    if (loading_) {
        closeAsked_ = true;
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace kx
