#pragma once
// One graph of the log analyser (picContainer with its plot surface picGraph). The surface is
// as wide as the zoom makes it but exists only as numbers: the widget paints the part that the
// scroll offset shows, from the series it was given, so covering or scrolling it needs no
// redraw by the window.
#include <QColor>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <span>
#include <vector>

namespace kx {

class AnalyserPlot : public QWidget {
    Q_OBJECT
public:
    struct Series {
        std::span<const float> values; // by record from record 1; owned by the window
        QColor colour;
        double maxVal = 1;
    };

    explicit AnalyserPlot(QWidget* parent = nullptr);

    // The plot surface's width and the step X between records, in twips.
    void setSurface(int64_t widthTwips, double stepX);
    int64_t surfaceWidth() const { return surfaceWidth_; }
    // The surface's left edge sits at -offset inside the container.
    void setOffset(int64_t offsetTwips);
    int64_t offset() const { return offset_; }

    void clearSeries();
    void addSeries(const Series& series);
    int seriesCount() const { return static_cast<int>(series_.size()); }

    // The cursor line, in twips from the surface's left edge.
    void setCursorX(double xTwips);
    double cursorX() const { return cursorX_; }

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
    void render(); // the surface's visible part into the cache, without the cursor
    double offsetPixels() const;

    int64_t surfaceWidth_ = 0;
    double stepX_ = 0;
    int64_t offset_ = 0;
    double cursorX_ = 0;
    std::vector<Series> series_;
    QImage cache_;
    bool dirty_ = true;
};

} // namespace kx
