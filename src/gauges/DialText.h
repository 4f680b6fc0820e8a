#pragma once
// A text that changes often among a few values (a dial's name, value and peak; an indicator's
// state): a plain label that keeps its last few renderings and copies them, rather than laying
// out and drawing its glyphs at every paint. On a dial, the dial's picture draws it instead of
// itself once told so (GaugePicture::drawOverlays), so that a new value costs one paint of the
// dial rather than one for each widget it crosses.
#include <QLabel>
#include <QPixmap>
#include <vector>

class QPainter;

namespace kx {

class DialText : public QLabel {
    Q_OBJECT
public:
    DialText(const QString& text, QWidget* parent);

    void setDrawnByDial(bool drawn);
    bool drawnByDial() const { return drawnByDial_; }
    // Draws the text as the label would, onto a painter in the parent's coordinates.
    void draw(QPainter& painter);
    // How many texts and characters were laid out and rendered (copies not counted).
    int renderCount() const { return renders_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // What a rendering depends on besides its text and size; a change of any drops them all.
    struct Look {
        QFont font;
        QRgb colour = 0; // of the text only: a label's background can change without it
        bool enabled = true;
        qreal ratio = 1;
        bool operator==(const Look&) const = default;
    };
    struct Rendering {
        QString text;
        QSize size;
        QPixmap image;
    };
    // One character of a number as the look draws it, and how far it moves the next one.
    struct Glyph {
        QChar c;
        qreal advance = 0;
        QPixmap image;
    };
    Look look() const;
    // A change of look drops what was rendered in the old one.
    void refreshLook();
    void paintOn(QPainter& painter, QPoint origin);
    const QPixmap& rendering(const QString& text);
    const Glyph& glyph(QChar c);
    void compose(QPainter& painter, const QString& text, QPoint origin);

    bool drawnByDial_ = false;
    Look look_;
    // The last few texts shown, the latest first: a live value mostly moves among a few.
    std::vector<Rendering> kept_;
    std::vector<Glyph> glyphs_; // the characters of the numbers shown, in the current look
    int renders_ = 0;
};

} // namespace kx
