#pragma once
// The dial's needle: a transparent overlay over the whole picture that draws one line, so
// moving it repaints only the strip it leaves and the strip it enters.
#include <QColor>
#include <QLineF>
#include <QWidget>

class QPainter;

namespace kx {

class NeedleLine : public QWidget {
    Q_OBJECT
public:
    explicit NeedleLine(QWidget* parent = nullptr);

    // End points in the parent's pixel coordinates.
    void setLine(const QLineF& line);
    const QLineF& line() const { return line_; }
    void setColour(const QColor& colour);
    const QColor& colour() const { return colour_; }
    void setPenWidth(int pixels);
    int penWidth() const { return width_; }

    // Drawn by the dial's picture (GaugePicture::drawOverlays) rather than by itself: it then
    // covers nothing of its own (the window's painting passes it by) and a move repaints the
    // picture where the needle was and where it is.
    void setDrawnByDial(bool drawn);
    bool drawnByDial() const { return drawnByDial_; }
    // Draws the needle onto a painter in the parent's coordinates.
    void draw(QPainter& painter) const;
    // The box the needle covers now, in this widget's coordinates (the parent's: it sits at 0,0).
    QRect area() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Repaints a box given in this widget's coordinates, on the picture when it draws the needle.
    void repaintArea(const QRect& box);

    QLineF line_;
    QColor colour_{Qt::red};
    int width_ = 1;
    bool drawnByDial_ = false;
};

} // namespace kx
