#pragma once
// One dial: a 270-degree scale drawn once into its picture, and a needle plus value, peak and
// name texts that a new value only moves or re-captions.
#include "gauges/gauge_geometry.h"

#include <QLabel>
#include <QPointer>
#include <cstdint>
#include <optional>

namespace kx {

class GaugePicture;
class NeedleLine;
struct DialScale;

class SpeedometerGauge {
public:
    // The ring and tick colours drawn at each set-up.
    explicit SpeedometerGauge(const ScaleColours& colours = {}) : colours_(colours) {}
    void setColours(const ScaleColours& colours) { colours_ = colours; }

    // Binds the picture and the overlays (all owned by the window; the overlays should be
    // children of the picture), works out the geometry, draws the scale and shows value 0. A
    // scale that cannot be drawn (equal ends, no divisions) ends set-up quietly.
    void setup(GaugePicture* picture, NeedleLine* needle, QLabel* maximum, QLabel* newValue,
               QLabel* name, int32_t minVal, int32_t maxVal, int32_t tickerNum,
               int32_t subTickerNum, int16_t decPoint);

    // Clamps to the scale, moves the needle, shows the value and raises the peak text.
    void setValue(float value);
    // No live value: the figure reads "--" (to a screen reader too) until the next setValue,
    // and so does the peak while no value has come since set-up.
    void showNoValue();
    float value() const { return value_; }

    const std::optional<DialGeometry>& geometry() const { return geometry_; }
    // How many times the scale was drawn (set-ups only, never value updates).
    int scaleRenderCount() const { return scaleRenders_; }

private:
    void renderScale(const DialScale& scale);
    void styleOverlays();
    void placeOverlays();
    void centre(QLabel* label);
    // Sets a read-out's text, centring it again only when its width can have changed.
    void show(QLabel* label, const QString& text);

    ScaleColours colours_;
    QPointer<GaugePicture> picture_;
    QPointer<NeedleLine> needle_;
    QPointer<QLabel> maximum_;
    QPointer<QLabel> newValue_;
    QPointer<QLabel> name_;
    int32_t minVal_ = 0;
    int32_t maxVal_ = 0;
    int32_t tickerNum_ = 0;
    int32_t subTickerNum_ = 0;
    int16_t decPoint_ = 0;
    float value_ = 0.0f;
    bool valueShown_ = false; // a value came since set-up: the peak text is one
    std::optional<DialGeometry> geometry_;
    std::optional<float> placed_; // the value the needle and valueText_ were worked out for
    QString valueText_;
    PeakHold peak_;
    int scaleRenders_ = 0;
};

} // namespace kx
