#include "gauges/DialText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <cmath>

namespace kx {

DialText::DialText(const QString& text, QWidget* parent) : QLabel(text, parent) {}

void DialText::setDrawnByDial(bool drawn) {
    drawnByDial_ = drawn;
    // A dial is read through itself, its texts not apart (they are no children of its
    // accessible interface); a label without a name of its own tells every new text as a new
    // name, to no one here, at a cost in every frame.
    if (drawn && accessibleName().isEmpty()) setAccessibleName(QStringLiteral("Dial text"));
}

DialText::Look DialText::look() const {
    return {font(), palette().brush(foregroundRole()).color().rgba(), isEnabled(),
            devicePixelRatioF()};
}

namespace {
// The characters a number is written with: a text of these alone is put together from the
// characters' own renderings.
bool composable(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || c == u'.' || c == u'-' || c == u'+' || c == u' ';
    });
}
} // namespace

void DialText::refreshLook() {
    const Look now = look();
    if (now == look_) return;
    kept_.clear();
    glyphs_.clear();
    look_ = now;
}

const DialText::Glyph& DialText::glyph(QChar c) {
    for (const Glyph& g : glyphs_)
        if (g.c == c) return g;
    ++renders_;
    const QFontMetricsF metrics(look_.font);
    Glyph g{c, metrics.horizontalAdvance(c), {}};
    // A pixel of room each side for the antialiased edges.
    const QSize size(int(std::ceil(g.advance)) + 2, int(std::ceil(metrics.height())));
    g.image = QPixmap(size * look_.ratio);
    g.image.setDevicePixelRatio(look_.ratio);
    g.image.fill(Qt::transparent);
    QPainter painter(&g.image);
    painter.setFont(look_.font);
    painter.setPen(QColor::fromRgba(look_.colour));
    painter.drawText(QPointF(1, metrics.ascent()), QString(c));
    painter.end();
    glyphs_.push_back(std::move(g));
    return glyphs_.back();
}

void DialText::compose(QPainter& painter, const QString& text, QPoint origin) {
    // Placed in the label's contents as QLabel places a line: by its alignment, whole pixels.
    const QFontMetricsF metrics(look_.font);
    qreal width = 0;
    for (const QChar c : text)
        width += glyph(c).advance;
    const int m = margin();
    const QRectF r = contentsRect().adjusted(m, m, -m, -m).translated(origin);
    const Qt::Alignment a = QStyle::visualAlignment(layoutDirection(), alignment());
    qreal x = r.left();
    if (a & Qt::AlignRight)
        x = r.right() - width;
    else if (a & Qt::AlignHCenter)
        x = r.left() + (r.width() - width) / 2;
    qreal y = r.top();
    if (a & Qt::AlignBottom)
        y = r.bottom() - metrics.height();
    else if (a & Qt::AlignVCenter)
        y = r.top() + (r.height() - metrics.height()) / 2;
    for (const QChar c : text) {
        const Glyph& g = glyph(c);
        painter.drawPixmap(QPoint(int(std::lround(x)) - 1, int(std::lround(y))), g.image);
        x += g.advance;
    }
}

const QPixmap& DialText::rendering(const QString& t) {
    constexpr size_t kKept = 16;
    const QSize s = size();
    const auto found = std::find_if(kept_.begin(), kept_.end(),
                                    [&](const Rendering& r) { return r.size == s && r.text == t; });
    if (found != kept_.end()) {
        std::rotate(kept_.begin(), found, found + 1);
        return kept_.front().image;
    }
    ++renders_;
    QPixmap image(s * look_.ratio);
    image.setDevicePixelRatio(look_.ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    // The call QLabel makes for a plain text without frame or indent, so the pixels are the same.
    const int m = margin();
    painter.setFont(look_.font);
    style()->drawItemText(&painter, contentsRect().adjusted(m, m, -m, -m),
                          int(QStyle::visualAlignment(layoutDirection(), alignment())), palette(),
                          look_.enabled, t, foregroundRole());
    painter.end();
    if (kept_.size() == kKept) kept_.pop_back();
    kept_.insert(kept_.begin(), {t, s, image});
    return kept_.front().image;
}

void DialText::paintOn(QPainter& painter, QPoint origin) {
    const QString t = text();
    if (size().isEmpty() || t.isEmpty()) return;
    // A text is drawn far more often than it is laid out anew: a number is put together from
    // its characters (a live value is a new text at most frames), any other text is copied
    // from its rendering (a needle passing over it repaints it).
    refreshLook();
    if (look_.enabled && composable(t))
        compose(painter, t, origin);
    else
        painter.drawPixmap(origin, rendering(t));
}

void DialText::draw(QPainter& painter) {
    if (isVisible()) paintOn(painter, pos());
}

void DialText::paintEvent(QPaintEvent* event) {
    if (drawnByDial_) return;
    if (frameShape() != NoFrame) return QLabel::paintEvent(event);
    QPainter painter(this);
    paintOn(painter, QPoint());
}

} // namespace kx
