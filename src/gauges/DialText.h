#pragma once
// A text on a dial (name, value, peak): a plain label that its dial's picture draws instead of
// itself once the picture is told so (GaugePicture::drawOverlays), so that a new value costs one
// paint of the dial rather than one for each widget it crosses.
#include <QLabel>
#include <QPixmap>
#include <vector>

class QPainter;

namespace kx {

class DialText : public QLabel {
    Q_OBJECT
public:
    DialText(const QString& text, QWidget* parent);

    void setDrawnByDial(bool drawn) { drawnByDial_ = drawn; }
    bool drawnByDial() const { return drawnByDial_; }
    // Draws the text as the label would, onto a painter in the parent's coordinates.
    void draw(QPainter& painter);
    // How many times a text was laid out and rendered (copies of a kept rendering not counted).
    int renderCount() const { return renders_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // What a rendering depends on besides its text and size; a change of any drops them all.
    struct Look {
        QFont font;
        qint64 palette = 0;
        bool enabled = true;
        qreal ratio = 1;
        bool operator==(const Look&) const = default;
    };
    struct Rendering {
        QString text;
        QSize size;
        QPixmap image;
    };
    Look look() const;
    const QPixmap& rendering();

    bool drawnByDial_ = false;
    Look look_;
    // The last few texts shown, the latest first: a live value mostly moves among a few.
    std::vector<Rendering> kept_;
    int renders_ = 0;
};

} // namespace kx
