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

ScatterPlot* frmLogAnalyzer::scatter() const {
    return fraScatter_->plot();
}

// ---------------------------------------------------------------- Open

void frmLogAnalyzer::reset() {
    clearCells();
    for (AnalyserPlot* plot : picGraph_)
        plot->clearSeries();
    data_ = LogData();
    gaugeColumns_.clear();
    fraScatter_->clear();
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
        fitLabelFont(label, valueFont_);
    }
    Label1_->setText(analyserCursorText(times_, cursor_));
    fraScatter_->plot()->setCursorRecord(cursor_ - 1);
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
    std::vector<QString> names;
    for (int k = 0; k < int(gaugeColumns_.size()); ++k) {
        codes.push_back(gaugeCode(k));
        names.push_back(gaugeName(k));
    }
    fraScatter_->setColumns(codes, names);
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
    fraScatter_->pickerChanged();
    showScatter();
}

void frmLogAnalyzer::showScatter() {
    bool complete = true;
    {
        BusyCursor busy;
        complete = fraScatter_->refresh(
            [this](int k) {
                const ColumnNumbers& column = numbers(gaugeCode(k));
                return ScatterPanel::Numbers{{gaugeName(k), column.numbers.values},
                                             column.numbers.complete()};
            },
            cursor_ - 1);
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
    const bool exists = QFileInfo::exists(path);
    if (!host_.dialogs.mayReplace(this, path)) return;
    const QImage image = scatter ? fraScatter_->plot()->renderImage(size()) : graphsImage(size());
    if (const auto error =
            savePng(image, path, exists ? ExistingFile::Replace : ExistingFile::Refuse))
        host_.dialogs.message(this, S("The view could not be saved to '%1'. %2").arg(path, *error),
                              MessageKind::Warning);
}

// ---------------------------------------------------------------- closing

void frmLogAnalyzer::closeEvent(QCloseEvent* event) {
    load_.reset(); // a read in progress is cancelled
    event->accept();
}

} // namespace kx
