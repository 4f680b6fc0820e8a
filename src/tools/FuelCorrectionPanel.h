#pragma once
// The map trace's fuel correction controls: the assumption it rests on, the target ratio table
// (Kestrix's default, or one opened), the filter switches with the records each kept out, and
// Save Suggested Map. The arithmetic is in map_correction; this panel only wires it.
#include "tools/MapTraceFiles.h"
#include "tools/MapTraceModel.h"
#include "tools/map_correction.h"

#include <QGroupBox>
#include <array>
#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace kx {

class FuelCorrectionPanel : public QGroupBox {
    Q_OBJECT
public:
    FuelCorrectionPanel(const MapTraceModel& model, MapTraceFiles& files,
                        QWidget* parent = nullptr);

    // The map's kind, and where it came from in words ("read from the stored addresses of
    // RB25DET - fuel", "opened from map.csv"); nothing before a map is known. The panel stays
    // but is off for a timing map.
    // While the map is still being read, `known` is false.
    void setMap(std::optional<MapKind> kind, const QString& source = {}, bool known = true);
    bool offered() const { return offered_; }
    // Locks or unlocks map cell `index` (0 to 255): it keeps the map's value. The lock is the
    // target's (saved with it), on the target's cell that the map cell falls in.
    void toggleLock(int index);
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
    std::optional<MapKind> kind_;
    QString source_;
    bool known_ = false;
    TargetTable target_;
    QLabel* lblNote_;
    QLabel* lblTarget_;
    std::array<QCheckBox*, kFuelFilterCount> chkFilter_{};
    QSpinBox* spnMinHits_;
    QSpinBox* spnMaxChange_;
    QLabel* lblCounts_;
    QPushButton* btnOpenTarget_;
    QPushButton* btnSaveTarget_;
    QPushButton* btnSaveSuggested_;
};

} // namespace kx
