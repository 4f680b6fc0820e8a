#include "logs/frmLogAnalyzer.h"

#include "link/EcuLink.h"
#include "live/live_state.h"
#include "logs/AnalyserPlot.h"
#include "logs/ScatterPanel.h"
#include "logs/analyser_layout.h"
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
#include <QScrollBar>

namespace kx {

namespace {

constexpr int kCells = kAnalyserSeries + kAnalyserIndicators;

const char* const kIndicatorCaptions[kAnalyserIndicators] = {
    "Closed TPS", "Power Steer", "Air Con sw", "Start Signal", "Neutral",   "Air Con rly",
    "Fuel Pump",  "Thermo Fan",  "VCT",        "Waste Gate",   "A/F ratio", "EGR sol"};

} // namespace

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
    showsValue(Label1_, S("Cursor"));
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

    fraScatter_ = new ScatterPanel(this);
    connect(fraScatter_, &ScatterPanel::picked, this, &frmLogAnalyzer::cboScatter_Change);
    connect(fraScatter_->plot(), &ScatterPlot::recordClicked, this,
            &frmLogAnalyzer::picScatter_Click);
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
        Frame1_[size_t(i)]->setGeometry(pixelRect(c.box));
        lblParam_[size_t(i)]->setGeometry(pixelRect(c.value));
        if (i >= kAnalyserSeries) continue;
        Check1_[size_t(i)]->setGeometry(pixelRect(c.graph1));
        Check2_[size_t(i)]->setGeometry(pixelRect(c.graph2));
        setFontSize(Check1_[size_t(i)], l.checkFont);
        setFontSize(Check2_[size_t(i)], l.checkFont);
    }
    fitCells(l);
    btnBrowse_->setGeometry(pixelRect(l.open));
    setFontSize(btnBrowse_, l.checkFont);
    fraPosition_->setGeometry(pixelRect(l.position));
    setFontSize(fraPosition_, l.positionFont);
    const std::array<QWidget*, 5> row = {btnMinus1_, btnPlus1_, btnZoomOut_, btnZoomIn_, Label1_};
    for (size_t i = 0; i < row.size(); ++i)
        row[i]->setGeometry(pixelRect(l.positionRow[i]));
    for (size_t g = 0; g < 2; ++g) {
        fraGraph_[g]->setGeometry(pixelRect(l.graphFrame[g]));
        setFontSize(fraGraph_[g], l.graphFont);
        picGraph_[g]->setGeometry(pixelRect(l.container[g]));
    }
    scrollBar1_->setGeometry(pixelRect(l.scrollBar));
    fraView_->setGeometry(pixelRect(l.view));
    setFontSize(fraView_, l.positionFont);
    optGraphs_->setGeometry(pixelRect(l.viewRow[0]));
    optScatter_->setGeometry(pixelRect(l.viewRow[1]));
    btnExport_->setGeometry(pixelRect(l.exportButton));
    setFontSize(btnExport_, l.checkFont);
    fraScatter_->setGeometry(pixelRect(l.scatter));
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
        QRect value = pixelRect(l.cells[size_t(i)].value);
        value.moveTop(std::max(value.top(), QFontMetrics(frame->font()).height()));
        value.setBottom(std::min(value.bottom(), frame->height() - 3));
        lblParam_[size_t(i)]->setGeometry(value);
        fitLabelFont(lblParam_[size_t(i)], l.valueFont);
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

void frmLogAnalyzer::clearCells() {
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
}

} // namespace kx
