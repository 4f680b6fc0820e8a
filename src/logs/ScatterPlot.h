#pragma once
// The analyser's scatter view: one column across, another up, each record a dot coloured by a
// third column on the legend's scale, axes with values, the cursor's record ringed. The dots
// are drawn into an off-screen image once per change; a click on a dot names its record.
#include "logs/analyser_scatter.h"

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <span>

namespace kx {

class ScatterPlot : public QWidget {
    Q_OBJECT
public:
    struct Column {
        QString name;
        std::span<const float> values; // by record from record 1; owned by the window
    };

    explicit ScatterPlot(QWidget* parent = nullptr);

    void setColumns(const Column& x, const Column& y, const Column& colour);
    // The values the colour scale spans (unusable: all of the colour column's).
    void setColourRange(ScatterRange range);
    ScatterRange colourRange() const { return colourRange_; }
    void clear();
    // Records with a value in all three columns.
    int64_t records() const { return records_; }

    // The cursor's record, from 0; -1 for none.
    void setCursorRecord(int64_t record);
    int64_t cursorRecord() const { return cursor_; }
    // Where a record's dot is, in widget pixels; none when it has no dot.
    std::optional<QPoint> dotOf(int64_t record);

    // The view drawn afresh at another size, the cursor's ring included.
    QImage renderImage(QSize size) const;

signals:
    // A click landed on (or next to) the dot of `record`, from 0.
    void recordClicked(int64_t record);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    struct Frame {
        ScatterLayout layout;
        ScatterMapping mapping;
        ScatterIndex index;
    };
    Frame makeFrame(QSize size) const;
    const Frame& frame();
    void draw(QImage& image, const Frame& f) const;
    void drawAxes(QPainter& p, const Frame& f) const;
    void drawDots(QImage& image, const Frame& f) const;
    void drawCursor(QPainter& p, const Frame& f) const;
    void describe();

    Column x_, y_, colour_;
    ScatterRange colourRange_;
    int64_t records_ = 0;
    int64_t cursor_ = -1;
    std::optional<Frame> frame_; // for the widget's size; none after a change
    QImage cache_;
    bool imageDirty_ = true;
};

} // namespace kx
