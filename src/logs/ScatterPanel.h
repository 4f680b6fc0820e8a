#pragma once
// The analyser's scatter view: three column pickers (X, Y, colour) over the scatter plot. It
// keeps the pickers and knows when the plot is stale; the window gives it the columns' numbers.
#include "logs/ScatterPlot.h"

#include <QGroupBox>
#include <array>
#include <functional>
#include <vector>

class QComboBox;
class QDoubleSpinBox;

namespace kx {

class ScatterPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit ScatterPanel(QWidget* parent = nullptr);

    // The log's gauge columns, by their codes and names: each picker offers them all, set to the
    // usual choice (RPM, throttle, the wideband ratio where the log has them).
    void setColumns(const std::vector<int>& codes, const std::vector<QString>& names);
    void clear();
    // The column `k` (an index into setColumns' lists) as the plot reads it, and whether its
    // numbers are whole (false: the records before a bad value).
    struct Numbers {
        ScatterPlot::Column column;
        bool complete = true;
    };
    // Gives the plot the picked columns when the pickers changed since the last time and the
    // panel is shown; false when a column was not whole.
    bool refresh(const std::function<Numbers(int k)>& numbers, int64_t cursorRecord);
    // A picker changed: the plot is stale until the next refresh.
    void pickerChanged() { stale_ = true; }
    ScatterPlot* plot() const { return plot_; }

signals:
    void picked(); // the user chose another column in a picker

private:
    void rangeEdited();

    std::array<QComboBox*, 3> pickers_{}; // X, Y, colour
    // The colour scale's ends; set to the column's 1st and 99th percentiles when it is picked.
    std::array<QDoubleSpinBox*, 2> colourRange_{};
    int rangeColumn_ = -1; // the colour column the range was set for
    ScatterPlot* plot_;
    bool stale_ = true;
};

} // namespace kx
