#pragma once
// The map trace's grid: the 16 x 16 cells with their headers, the "Show" choice of what the
// cells hold (map values, hits, mean WBo2, and for fuel maps the target, the change and the
// suggested map), the line that explains the colours, and the read-outs beside the grid. It paints
// what the window's model holds; the window says when that changed.
#include "tools/MapTraceModel.h"
#include "tools/map_coverage.h"
#include "tools/map_trace.h"

#include <QGroupBox>
#include <array>
#include <bitset>
#include <optional>

class QLabel;
class QRadioButton;

namespace kx {

class MapTraceGrid : public QGroupBox {
    Q_OBJECT
public:
    enum class View { MapValues, Hits, MeanAfr, Target, ChangePct, Suggested, Difference };
    explicit MapTraceGrid(const MapTraceModel& model, QWidget* parent = nullptr);

    // Laid out by the window: the "Show" box above the grid, the colour line under it.
    QGroupBox* showBox() const { return fraShow_; }
    QLabel* scaleLabel() const { return lblScale_; }
    View view() const;

    // A byte read from the ECU into grid label `cell`, while the map is being read.
    void showRead(int cell, uint8_t value);
    void showHeaders();
    // A grid label's caption and colour for the view shown.
    void showCell(int cell);
    // Map cell `index` (0 to 255) has new coverage; refresh() paints it.
    void changed(int index) { changed_.set(size_t(index)); }
    // The changed cells, and every cell when the scale or the correction moved.
    void refresh();
    // Everything again (another view, other scales, a cleared coverage).
    void showAll();

signals:
    void viewChanged();
    // Map cell `index` (0 to 255) was clicked in the Suggested or Difference view: lock or
    // unlock it.
    void lockToggled(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool correctionView(View v) const { return v >= View::Target; }
    bool lockView(View v) const { return v == View::Suggested || v == View::Difference; }
    void showDetails(int cell);
    void paintCell(int cell, uint32_t colour);
    std::optional<double> figure(int index, View v) const;
    QString scaleText(View v) const;

    const MapTraceModel& m_;
    std::array<QLabel*, maptrace::CellCount> lblMapCell_{};
    std::array<uint32_t, maptrace::CellCount> painted_{};
    CoverageScale scale_;
    std::bitset<256> changed_;
    QGroupBox* fraShow_;
    std::array<QRadioButton*, 7> opt_{};
    QLabel* lblScale_;
};

// Beside the grid: engine speed, throttle and the wideband ratio of the frame traced last.
class MapTraceReadouts : public QWidget {
public:
    explicit MapTraceReadouts(QWidget* parent = nullptr);
    // The ratio is nothing while the wideband does not stream.
    void show(int rpm, int tp, std::optional<float> afr);

private:
    QLabel* lblRPM_;
    QLabel* lblTP_;
    QGroupBox* fraWBo2_;
    QLabel* lblWBo2_;
};

} // namespace kx
