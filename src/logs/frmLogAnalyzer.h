#pragma once
// The log analyser: loads a data log, plots its gauge columns on two graphs against record
// number, zooms and scrolls them together and reads out every column at a cursor.
#include "app/host.h"
#include "live/gauge_setup.h"
#include "logs/analyser_plot.h"
#include "logs/log_reader.h"

#include <QWidget>
#include <array>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace kx {

struct AnalyserLayout;

class AnalyserPlot;

class frmLogAnalyzer : public QWidget {
    Q_OBJECT
public:
    explicit frmLogAnalyzer(const Host& host);
    ~frmLogAnalyzer() override;

    // The handlers, by control.
    void btnBrowse_Click();
    void Check_Click(int graph); // a "Graph 1" (0) or "Graph 2" (1) box changed
    void btnZoomIn_Click();
    void btnZoomOut_Click();
    void btnPlus1_Click();
    void btnMinus1_Click();
    void scrollBar1_Change(int value);
    void picGraph_MouseDown(double xTwips); // left button on a graph, x on its surface

    // State, for tests and the bench.
    int64_t records() const { return data_.recordCount(); }
    int64_t cursorRecord() const { return cursor_; }
    double stepX() const { return stepX_; }
    int64_t plotWidth() const { return plotWidth_; }
    int64_t containerWidth() const; // twips
    int64_t scrollScale() const { return scroll_.scale; }
    AnalyserPlot* graph(int g) const { return picGraph_[static_cast<size_t>(g)]; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildUi();
    void applyLayout();
    // Fits the cells' titles and readouts to their frames.
    void fitCells(const AnalyserLayout& l);
    void reset();
    bool load(const QString& path);
    void redrawGraph(int graph);
    void drawSeries(int k, int graph);
    const LogNumbers& numbers(int code);
    void setScrollRange();
    void afterZoom();
    void setCursor(int64_t record);
    void placeCursorLines(double xTwips);
    void showReadout();
    void setParamColours(int cell, uint32_t text, uint32_t back);
    QCheckBox* box(int graph, int k) const;

    Host host_;
    LogData data_;
    std::vector<int> gaugeColumns_;                              // column of gauge column k
    std::array<std::optional<LogNumbers>, kGaugeCount> numbers_; // by code, read when drawn
    bool loading_ = false;
    bool closeAsked_ = false;
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
};

} // namespace kx
