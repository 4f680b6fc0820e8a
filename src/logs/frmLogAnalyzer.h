#pragma once
// The log analyser: loads a data log, plots its gauge columns on two graphs against record
// number, zooms and scrolls them together and reads out every column at a cursor. A scatter
// view plots one column against another in place of the graphs; either view can be saved as a
// picture.
#include "live/gauge_setup.h"
#include "logs/analyser_axes.h"
#include "logs/analyser_plot.h"
#include "logs/log_loading.h"
#include "logs/log_reader.h"
#include "ui/host.h"

#include <QWidget>
#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QImage;
class QLabel;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace kx {

struct AnalyserLayout;

class AnalyserPlot;
class ScatterPanel;
class ScatterPlot;

class frmLogAnalyzer : public QWidget {
    Q_OBJECT
public:
    explicit frmLogAnalyzer(const Host& host);
    ~frmLogAnalyzer() override;
    // The log shown, "" before one is opened (the Dyno window takes it).
    const QString& path() const { return path_; }

    // The handlers, by control.
    void btnBrowse_Click();
    void Check_Click(int graph); // a "Graph 1" (0) or "Graph 2" (1) box changed
    void btnZoomIn_Click();
    void btnZoomOut_Click();
    void btnPlus1_Click();
    void btnMinus1_Click();
    void scrollBar1_Change(int value);
    void picGraph_MouseDown(double xTwips); // left button on a graph, x on its surface
    void optView_Click(bool scatter);       // "Graphs" or "Scatter"
    void cboScatter_Change();               // a column picker of the scatter changed
    void picScatter_Click(int64_t record);  // a dot of record (from 0) was clicked
    void btnExport_Click();                 // "Export View..."

    // State, for tests and the bench.
    int64_t records() const { return data_.recordCount(); }
    int64_t cursorRecord() const { return cursor_; }
    double stepX() const { return stepX_; }
    int64_t plotWidth() const { return plotWidth_; }
    int64_t containerWidth() const; // twips
    int64_t scrollScale() const { return scroll_.scale; }
    AnalyserPlot* graph(int g) const { return picGraph_[static_cast<size_t>(g)]; }
    ScatterPlot* scatter() const;
    // A log is being read (on a thread of its own).
    bool isLoading() const { return load_ && load_->running(); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildUi();
    void applyLayout();
    // Fits the cells' titles and readouts to their frames.
    void fitCells(const AnalyserLayout& l);
    void reset();
    void clearCells();
    // A readout's colours: green on black, and a series' colour on white.
    static constexpr uint32_t kGreen = 65280, kBlack = 0, kWhite = 0xFFFFFF;
    // A log has been read (nothing: it could not be).
    void loaded(std::optional<LogData> data, const QString& path);
    void redrawGraph(int graph);
    void drawSeries(int k, int graph);
    // A column's numbers, read when first needed, and its ranges.
    struct ColumnNumbers {
        LogNumbers numbers;
        RangeIndex ranges;
    };
    const ColumnNumbers& numbers(int code);
    int gaugeCode(int k) const;
    QString gaugeName(int k) const;
    void fillScatterPickers();
    void showScatter();
    QImage graphsImage(QSize size) const;
    void setScrollRange();
    void afterZoom();
    void setCursor(int64_t record);
    void placeCursorLines(double xTwips);
    void showReadout();
    void setParamColours(int cell, uint32_t text, uint32_t back);
    QCheckBox* box(int graph, int k) const;

    Host host_;
    LogData data_;
    std::vector<int> gaugeColumns_;                                 // column of gauge column k
    std::array<std::optional<ColumnNumbers>, kGaugeCount> numbers_; // by code, read when drawn
    std::vector<double> times_; // seconds of each record from the first
    QString path_;
    std::unique_ptr<LogLoad> load_;
    int64_t plotWidth_ = 0;
    double stepX_ = 0;
    int64_t cursor_ = 1;
    ScrollRange scroll_;
    double valueFont_ = 0; // readout font size of the current layout

    std::array<QGroupBox*, kAnalyserSeries + kAnalyserIndicators> Frame1_{};
    std::array<QLabel*, kAnalyserSeries + kAnalyserIndicators> lblParam_{};
    std::array<QCheckBox*, kAnalyserSeries> Check1_{};
    std::array<QCheckBox*, kAnalyserSeries> Check2_{};
    std::array<QGroupBox*, 2> fraGraph_{};
    std::array<AnalyserPlot*, 2> picGraph_{};
    QGroupBox* fraPosition_ = nullptr;
    QPushButton* btnMinus1_ = nullptr;
    QPushButton* btnPlus1_ = nullptr;
    QPushButton* btnZoomOut_ = nullptr;
    QPushButton* btnZoomIn_ = nullptr;
    QLabel* Label1_ = nullptr;
    QScrollBar* scrollBar1_ = nullptr;
    QPushButton* btnBrowse_ = nullptr;
    QGroupBox* fraView_ = nullptr;
    QRadioButton* optGraphs_ = nullptr;
    QRadioButton* optScatter_ = nullptr;
    QPushButton* btnExport_ = nullptr;
    ScatterPanel* fraScatter_ = nullptr;
};

} // namespace kx
