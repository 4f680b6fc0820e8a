#pragma once
// The map trace's fuel correction controls: the assumption it rests on, the target ratio table
// (Kestrix's default, or one opened), the filter switches with the records each kept out, and
// Save Suggested Map. The arithmetic is in map_correction; this panel only wires it.
#include "tools/MapTraceFiles.h"
#include "tools/MapTraceGrid.h"
#include "tools/map_correction.h"

#include <QGroupBox>
#include <array>
#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;

namespace kx {

class FuelCorrectionPanel : public QGroupBox {
    Q_OBJECT
public:
    FuelCorrectionPanel(const MapTraceModel& model, MapTraceFiles& files,
                        QWidget* parent = nullptr);

    // Whether the map is a fuel map (or of addresses no preset has); the panel stays but is
    // off for a timing map.
    void setOffered(bool offered, bool mapKnown);
    bool offered() const { return offered_; }
    // The map's scales: the default target follows them.
    void setScales(const MapScales& scales);
    CorrectionSettings settings() const;
    const TargetTable& target() const { return target_; }
    // The correction of the model's map from its samples, and the filter counts shown.
    FuelCorrection correct();

    void btnOpenTarget_Click();
    void btnSaveTarget_Click();
    void btnSaveSuggested_Click();

signals:
    // The target or a filter switch changed: the correction needs computing again.
    void changed();

private:
    const MapTraceModel& m_;
    MapTraceFiles& files_;
    bool offered_ = false;
    bool mapKnown_ = false;
    bool defaultTarget_ = true;
    TargetTable target_;
    QLabel* lblNote_;
    QLabel* lblTarget_;
    std::array<QCheckBox*, kFuelFilterCount> chkFilter_{};
    QLabel* lblCounts_;
    QPushButton* btnOpenTarget_;
    QPushButton* btnSaveTarget_;
    QPushButton* btnSaveSuggested_;
};

} // namespace kx
