#pragma once
// The dial's drawing surface: shows the scale image its gauge rendered and, when asked to, the
// needle and texts on top of it. The owner sets its background (palette Window), digit colour
// (WindowText) and font face.
#include "gauges/announce_gate.h"
#include "gauges/gauge_accessible.h"

#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <vector>

namespace kx {

class DialText;
class NeedleLine;

class GaugePicture : public QWidget {
    Q_OBJECT
public:
    explicit GaugePicture(QWidget* parent = nullptr);

    void setScaleImage(const QPixmap& image);
    // The picture draws these children itself, over the scale, the needle first and the texts
    // in the order given (as they are stacked): a new value then repaints one widget, not four.
    void drawOverlays(NeedleLine* needle, const std::vector<DialText*>& texts);
    const QPixmap& scaleImage() const { return scale_; }

    // What screen readers read of the dial. A new value is announced a few times a second at
    // most: values arrive with every frame, far faster than anyone can listen.
    void setReading(const DialReading& reading);
    const DialReading& reading() const { return reading_; }

    static constexpr uint32_t kAnnounceIntervalMs = 250;

signals:
    // A value change told to screen readers.
    void announced(double value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void announce();
    void announceHeld();

    QPixmap scale_;
    QPointer<NeedleLine> needle_;
    std::vector<QPointer<DialText>> texts_;
    DialReading reading_;
    AnnounceGate gate_{kAnnounceIntervalMs};
    QTimer heldTimer_;
};

} // namespace kx
