#include "gauges/DialText.h"

#include <QPainter>
#include <QStyle>
#include <algorithm>

namespace kx {

DialText::DialText(const QString& text, QWidget* parent) : QLabel(text, parent) {}

DialText::Look DialText::look() const {
    return {font(), palette().cacheKey(), isEnabled(), devicePixelRatioF()};
}

const QPixmap& DialText::rendering() {
    constexpr size_t kKept = 16;
    const Look now = look();
    if (!(now == look_)) {
        kept_.clear();
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
    // The call QLabel makes for a plain text without frame or indent, so the pixels are the same.
    const int m = margin();
    painter.setFont(now.font);
    style()->drawItemText(&painter, contentsRect().adjusted(m, m, -m, -m),
                          int(QStyle::visualAlignment(layoutDirection(), alignment())), palette(),
                          now.enabled, t, foregroundRole());
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
    if (!drawnByDial_) QLabel::paintEvent(event);
}

} // namespace kx
