#include "gauges/SpeedometerGauge.h"

#include "gauges/GaugePicture.h"
#include "gauges/NeedleLine.h"
#include "util/colour.h"
#include "util/twips.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QtMath>
#include <cmath>

namespace kx {

namespace {

QPointF toPixels(QPointF twips) {
    return {twipsToPixels(twips.x()), twipsToPixels(twips.y())};
}

QFont fontOfPoints(QFont font, double points) {
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pointsToPixels(points)))));
    return font;
}

QPen pixelPen(uint32_t colour, int width) {
    QPen pen(colourFromBgr(colour));
    pen.setWidth(width);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

int widthTwips(const QWidget* w) {
    return pixelsToTwips(w->width());
}
int heightTwips(const QWidget* w) {
    return pixelsToTwips(w->height());
}

} // namespace

void SpeedometerGauge::setup(GaugePicture* picture, NeedleLine* needle, QLabel* maximum,
                             QLabel* newValue, QLabel* name, int32_t minVal, int32_t maxVal,
                             int32_t tickerNum, int32_t subTickerNum, int16_t decPoint) {
    placed_.reset();
    picture_ = picture;
    needle_ = needle;
    maximum_ = maximum;
    newValue_ = newValue;
    name_ = name;
    minVal_ = minVal;
    maxVal_ = maxVal;
    if (!picture) return;
    geometry_ = dialGeometry(widthTwips(picture), heightTwips(picture), minVal, maxVal);
    if (!geometry_) return;
    tickerNum_ = tickerNum;
    subTickerNum_ = subTickerNum;
    decPoint_ = decPoint;
    const auto scale = dialScale(*geometry_, minVal, maxVal, tickerNum, subTickerNum);
    if (!scale) return;
    renderScale(*scale);
    styleOverlays();
    placeOverlays();
    setValue(0.0f);
    valueShown_ = false;
}

void SpeedometerGauge::renderScale(const DialScale& scale) {
    ++scaleRenders_;
    const DialGeometry& g = *geometry_;
    const QSize size = picture_->size();
    if (size.isEmpty()) {
        picture_->setScaleImage(QPixmap());
        return;
    }
    const ScaleColours& colours = colours_;
    const qreal ratio = picture_->devicePixelRatioF();
    QPixmap image(size * ratio);
    image.setDevicePixelRatio(ratio);
    image.fill(picture_->palette().color(picture_->backgroundRole()));

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = toPixels(QPointF(g.centerX, g.centerY));

    painter.setPen(pixelPen(colours.circle, 4));
    const int start = qRound(qRadiansToDegrees(kArcStartRadians) * 16);
    const int span = qRound(qRadiansToDegrees(kArcEndRadians + 2 * M_PI - kArcStartRadians) * 16);
    for (const int32_t r : arcRadii(g.radius)) {
        const double rp = twipsToPixels(r);
        painter.drawArc(QRectF(centre.x() - rp, centre.y() - rp, 2 * rp, 2 * rp), start, span);
    }

    painter.setPen(pixelPen(colours.subTicker, 1));
    for (const MinorTick& t : scale.minor)
        painter.drawLine(toPixels(t.inner), toPixels(t.outer));

    const QFont labelFont = fontOfPoints(picture_->font(), dialStyle(g.radius).labelPoints);
    const QFontMetricsF metrics(labelFont, &image);
    painter.setFont(labelFont);
    const QPen digits(picture_->palette().color(picture_->foregroundRole()));
    for (const MajorTick& t : scale.major) {
        painter.setPen(pixelPen(colours.ticker, 2));
        painter.drawLine(toPixels(t.outer), toPixels(t.inner));
        const QString text = QString::number(t.label);
        const QSizeF textTwips(pixelsToTwips(1) * metrics.horizontalAdvance(text),
                               pixelsToTwips(1) * metrics.height());
        const QPointF topLeft = toPixels(labelPosition(t.inner, t.sweep, textTwips));
        painter.setPen(digits);
        painter.drawText(topLeft + QPointF(0, metrics.ascent()), text);
    }
    painter.end();
    picture_->setScaleImage(image);
}

void SpeedometerGauge::styleOverlays() {
    const DialStyle style = dialStyle(geometry_->radius);
    if (newValue_) newValue_->setFont(fontOfPoints(newValue_->font(), style.valuePoints));
    if (maximum_) maximum_->setFont(fontOfPoints(maximum_->font(), style.peakPoints));
    if (name_) name_->setFont(fontOfPoints(name_->font(), style.namePoints));
    if (needle_) {
        if (!needle_->drawnByDial()) needle_->setGeometry(picture_->rect());
        needle_->setPenWidth(style.needleWidth);
        needle_->raise();
    }
}

void SpeedometerGauge::centre(QLabel* label) {
    // A label of fixed size asks its parent for no new layout when its text changes: with a
    // free size, every new value posted the dial a layout request, an event loop wake-up each.
    // Its size hint never falls below its minimum size, so that goes first.
    label->setMinimumSize(0, 0);
    label->setFixedSize(label->sizeHint());
    const int left = overlayLeft(*geometry_, widthTwips(label));
    label->move(static_cast<int>(std::lround(twipsToPixels(left))), label->y());
}

void SpeedometerGauge::placeOverlays() {
    const DialGeometry& g = *geometry_;
    const auto place = [this](QLabel* label, auto top) {
        if (!label) return;
        centre(label);
        label->move(label->x(), static_cast<int>(std::lround(twipsToPixels(top(label)))));
        label->raise();
    };
    place(name_, [&g](QLabel* l) { return double(nameTop(g, heightTwips(l))); });
    place(maximum_, [&g](QLabel* l) { return peakTop(g, heightTwips(l)); });
    place(newValue_, [&g](QLabel* l) { return double(valueTop(g, heightTwips(l))); });
}

void SpeedometerGauge::show(QLabel* label, const QString& text) {
    // Texts grow and shrink with their captions; keeping them centred is a move, not a redraw,
    // and is needed only when the text's width can have changed.
    if (!label || label->text() == text) return;
    const bool sameWidth = sameDigitShape(label->text(), text);
    label->setText(text);
    if (!sameWidth) centre(label);
}

void SpeedometerGauge::showNoValue() {
    if (!geometry_) return;
    show(newValue_, QStringLiteral("--"));
    if (!valueShown_) show(maximum_, QStringLiteral("--"));
    if (picture_)
        picture_->setReading(
            {name_, newValue_, maximum_, value_, double(minVal_), double(maxVal_)});
}

void SpeedometerGauge::setValue(float value) {
    // No reading (a wideband that does not measure): no figure, the needle where it was.
    if (std::isnan(value)) return showNoValue();
    value_ = clampToScale(value, minVal_, maxVal_);
    valueShown_ = true;
    if (!geometry_) return;
    // Most dials hold their value from one frame to the next: the needle and the text are
    // worked out again only for a new one.
    if (!placed_ || *placed_ != value_) {
        placed_ = value_;
        valueText_ = valueText(value_, decPoint_);
        if (needle_) {
            const DialGeometry& g = *geometry_;
            const QPoint end = needleEnd(g, value_, minVal_);
            needle_->setLine(QLineF(toPixels(QPointF(g.centerX, g.centerY)), toPixels(end)));
        }
    }
    if (newValue_) show(newValue_, valueText_);
    if (maximum_) show(maximum_, peak_.next(maximum_->text(), value_, decPoint_));
    if (picture_)
        picture_->setReading(
            {name_, newValue_, maximum_, value_, double(minVal_), double(maxVal_)});
}

} // namespace kx
