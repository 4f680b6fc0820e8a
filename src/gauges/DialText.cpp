#include "gauges/DialText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <cmath>

namespace kx {

DialText::DialText(const QString& text, QWidget* parent) : QLabel(text, parent) {}

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

const DialText::Glyph& DialText::glyph(QChar c) {
    for (const Glyph& g : glyphs_)
        if (g.c == c) return g;
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

void DialText::compose(QPainter& painter, const QString& text) {
    // Placed in the label's contents as QLabel places a line: by its alignment, whole pixels.
    const QFontMetricsF metrics(look_.font);
    qreal width = 0;
    for (const QChar c : text)
        width += glyph(c).advance;
    const int m = margin();
    const QRectF r = contentsRect().adjusted(m, m, -m, -m);
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

const QPixmap& DialText::rendering() {
    constexpr size_t kKept = 16;
    const Look now = look();
    if (!(now == look_)) {
        kept_.clear();
        glyphs_.clear();
        look_ = now;
    }
    const QString t = text();
    const QSize s = size();
    const auto found = std::find_if(kept_.begin(), kept_.end(),
                                    [&](const Rendering& r) { return r.size == s && r.text == t; });
    if (found != kept_.end()) {
        std::rotate(kept_.begin(), found, found + 1);
        return kept_.front().image;
    }
    ++renders_;
    QPixmap image(s * now.ratio);
    image.setDevicePixelRatio(now.ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    if (composable(t) && now.enabled) {
        // A live value is a new text at most frames: copies of its characters cost a fraction
        // of laying the line out again.
        compose(painter, t);
    } else {
        // The call QLabel makes for a plain text without frame or indent, so the pixels are
        // the same.
        const int m = margin();
        painter.setFont(now.font);
        style()->drawItemText(&painter, contentsRect().adjusted(m, m, -m, -m),
                              int(QStyle::visualAlignment(layoutDirection(), alignment())),
                              palette(), now.enabled, t, foregroundRole());
    }
    painter.end();
    if (kept_.size() == kKept) kept_.pop_back();
    kept_.insert(kept_.begin(), {t, s, image});
    return kept_.front().image;
}

void DialText::draw(QPainter& painter) {
    if (!isVisible() || size().isEmpty() || text().isEmpty()) return;
    // A text is drawn far more often than it changes (a needle passing over it repaints it), and
    // a copy of its pixels costs a fraction of laying it out and drawing its glyphs again.
    painter.drawPixmap(pos(), rendering());
}

void DialText::paintEvent(QPaintEvent* event) {
    if (drawnByDial_) return;
    if (frameShape() != NoFrame) return QLabel::paintEvent(event);
    if (size().isEmpty() || text().isEmpty()) return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, rendering());
}

} // namespace kx
