#pragma once
// The strip-chart control: draws its datasets into an off-screen image (picDraw) and shows
// that image in one step, so a scrolling chart never flickers.
#include "gauges/graph_model.h"

#include <QFrame>
#include <QImage>

namespace kx {

class Graph : public QFrame {
    Q_OBJECT
public:
    explicit Graph(QWidget* parent = nullptr);

    const GraphProps& props() const { return model_.props(); }
    template <class T> void set(T GraphProps::*field, T value) { model_.set(field, value); }
    Datasets& datasets() { return model_.datasets(); }
    const GraphModel& model() const { return model_; }
    void Refresh() { model_.Refresh(); }
    // Applies Appearance and BorderStyle to the frame.
    void DrawControl();
    const QImage& picDraw() const { return picDraw_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void draw();

    GraphModel model_;
    QImage picDraw_;
};

} // namespace kx
