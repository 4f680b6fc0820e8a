#pragma once
// One graph of the log analyser (picContainer with its plot surface picGraph). The surface is
// as wide as the zoom makes it but exists only as numbers: the widget paints the part that the
// scroll offset shows, from the series it was given, so covering or scrolling it needs no
// redraw by the window. Under the plot runs a time axis; at its right edge each series' range
// over the records in view; its accessible description says both.
#include <QColor>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <span>
#include <vector>

namespace kx {

class RangeIndex;
struct PlotView;

class AnalyserPlot : public QWidget {
    Q_OBJECT
public:
    struct Series {
        std::span<const float> values; // by record from record 1; owned by the window
        QColor colour;
        double maxVal = 1;
        QString name;
        const RangeIndex* ranges = nullptr; // over `values`; owned by the window
    };

    explicit AnalyserPlot(QWidget* parent = nullptr);

    // The plot surface's width and the step X between records, in twips.
    void setSurface(int64_t widthTwips, double stepX);
    int64_t surfaceWidth() const { return surfaceWidth_; }
    // The surface's left edge sits at -offset inside the container.
    void setOffset(int64_t offsetTwips);
    int64_t offset() const { return offset_; }
    // Seconds of every record from the first (owned by the window): the time axis, and the
    // record count.
    void setTimes(std::span<const double> seconds);

    void clearSeries();
    void addSeries(const Series& series);
    int seriesCount() const { return static_cast<int>(series_.size()); }

    // The cursor line, in twips from the surface's left edge.
    void setCursorX(double xTwips);
    double cursorX() const { return cursorX_; }

    // Rows of the plot above the time axis.
    int plotHeight() const { return plotHeight(height()); }
    // What the widget shows, cursor included, drawn afresh at another size: the same records
    // fill the width.
    QImage renderImage(QSize size) const;

signals:
    // The left button went down, or moved while held, `xTwips` from the surface's left edge.
    void pressed(double xTwips);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void invalidate();
    int plotHeight(int height) const;
    // The view of a target `width` x `plotHeight` pixels, the records spread as on screen.
    PlotView view(int width, int plotHeight, double axisStep) const;
    // Pixels per record of the time axis: the series' X, or the surface spread over the
    // records before any series is drawn.
    double axisStepPixels() const;
    void draw(QPainter& p, QSize size, bool withCursor) const;
    void drawTimeAxis(QPainter& p, const PlotView& axisView, int width, int top) const;
    void drawRanges(QPainter& p, const PlotView& v) const;
    void describe();
    double offsetPixels() const;

    int64_t surfaceWidth_ = 0;
    double stepX_ = 0;
    int64_t offset_ = 0;
    double cursorX_ = 0;
    std::span<const double> times_;
    std::vector<Series> series_;
    QImage cache_;
    bool dirty_ = true;
};

} // namespace kx
