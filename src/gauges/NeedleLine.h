#pragma once
// The dial's needle: a transparent overlay over the whole picture that draws one line, so
// moving it repaints only the strip it leaves and the strip it enters.
#include <QColor>
#include <QLineF>
#include <QWidget>

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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect area() const;

    QLineF line_;
    QColor colour_{Qt::red};
    int width_ = 1;
};

} // namespace kx
