#pragma once
// The twelve dials and twelve on/off indicators of the data display, which the replay shows
// too: the controls, their colours, their placement and their updates.
#include "gauges/SpeedometerGauge.h"
#include "gauges/display_colours.h"
#include "live/display_layout.h"

#include <QObject>
#include <array>
#include <memory>
#include <optional>

class QLabel;
class QWidget;

namespace kx {

class GaugeInfo;
class GaugePicture;
class NeedleLine;

class GaugeGrid : public QObject {
    Q_OBJECT
public:
    // Creates the controls as children of `window`.
    explicit GaugeGrid(QWidget* window);
    ~GaugeGrid() override;

    // Colours of the dials, their texts and the indicators (the window's own background and
    // buttons are the window's).
    void applyColours(const DisplayColours& colours);
    // Places dials and indicators and sizes the indicator fonts.
    void place(const DisplayLayout& layout);
    // Sets up (or again, after a resize) the dial of a slot with a catalogue entry's scale.
    void setupGauge(int slot, const GaugeInfo& info);
    bool isSetUp(int slot) const { return gauges_[size_t(slot)] != nullptr; }
    void setValue(int slot, float value);
    // Sets an indicator's state text and colour; nothing happens when the label already
    // shows the text or the text is not a state.
    void ChangelblOnOff(int indicator, const QString& state);
    void setIndicatorEnabled(int indicator, bool enabled);
    // Values that no longer come in (the link was lost) are greyed, so nothing stale looks live.
    void setStale(bool stale);
    bool isStale() const { return stale_; }
    // A click on a peak label starts the peak afresh.
    void lblMax_Click(int slot);

    GaugePicture* picGauge(int i) const { return pictures_[size_t(i)]; }
    NeedleLine* Line1(int i) const { return needles_[size_t(i)]; }
    QLabel* lblMax(int i) const { return maxLabels_[size_t(i)]; }
    QLabel* lblValue(int i) const { return valueLabels_[size_t(i)]; }
    QLabel* lblName(int i) const { return nameLabels_[size_t(i)]; }
    QLabel* lblRegister(int i) const { return registerLabels_[size_t(i)]; }
    QLabel* lblOnOff(int i) const { return onOffLabels_[size_t(i)]; }
    const SpeedometerGauge* gauge(int slot) const { return gauges_[size_t(slot)].get(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::array<GaugePicture*, 12> pictures_{};
    std::array<NeedleLine*, 12> needles_{};
    std::array<QLabel*, 12> maxLabels_{}, valueLabels_{}, nameLabels_{};
    std::array<QLabel*, 12> registerLabels_{}, onOffLabels_{};
    std::array<std::unique_ptr<SpeedometerGauge>, 12> gauges_;
    DisplayColours colours_;
    bool stale_ = false;
};

// An indicator's name as the display shows it (" - Closed TPS" ...).
QString indicatorCaption(int indicator);

} // namespace kx
