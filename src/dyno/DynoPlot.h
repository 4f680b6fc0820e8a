#pragma once
// The dyno's plot: power (solid) and torque (dashed) against engine speed, one colour per pull,
// value axes on both sides and a legend; the air/fuel ratio (dotted) where the pulls have one.
// Its accessible description reads each pull's peaks.
#include "dyno/dyno.h"

#include <QColor>
#include <QImage>
#include <QWidget>
#include <functional>
#include <vector>

namespace kx {

class DynoPlot : public QWidget {
    Q_OBJECT
public:
    struct Curve {
        QString name;
        QColor colour;
        DynoCurve curve;
    };
    explicit DynoPlot(QWidget* parent = nullptr);

    void setCurves(std::vector<Curve> curves, DynoUnits units);
    const std::vector<Curve>& curves() const { return curves_; }
    // The plot drawn afresh at `size`, for Export PNG.
    QImage renderImage(QSize size) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void draw(QPainter& p, QSize size) const;
    // The air/fuel ratio of the curves that have one, dotted, at engine speed X(rpm).
    void drawRatios(QPainter& p, const QRect& plot, const std::function<double(double)>& X) const;

    std::vector<Curve> curves_;
    DynoUnits units_;
};

} // namespace kx
