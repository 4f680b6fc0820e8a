#include "live/GaugeGrid.h"

#include "gauges/DialText.h"
#include "gauges/GaugePicture.h"
#include "gauges/NeedleLine.h"
#include "live/GaugeInfo.h"
#include "live/channels.h"
#include "ui/ui_helpers.h"
#include "util/colour.h"
#include "util/twips.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QWidget>
#include <algorithm>

namespace kx {

namespace {

void setFontPoints(QWidget* w, int points) {
    QFont f = w->font();
    // Below one point nothing would be legible anyway; one is the smallest we set.
    f.setPointSize(std::max(points, 1));
    w->setFont(f);
}

} // namespace

QString indicatorCaption(int indicator) {
    return QStringLiteral(" - ") + QString::fromLatin1(indicators()[size_t(indicator)].name);
}

GaugeGrid::GaugeGrid(QWidget* window) : QObject(window) {
    for (int i = 0; i < 12; ++i) {
        const QString n = QString::number(i);
        auto* pic = new GaugePicture(window);
        pic->setObjectName(QStringLiteral("picGauge") + n);
        // Tab reaches every dial, so a screen reader reads each in turn; Space or Delete
        // resets its peak, as a click on the peak does.
        pic->setFocusPolicy(Qt::TabFocus);
        pic->installEventFilter(this);
        pictures_[size_t(i)] = pic;
        auto* needle = new NeedleLine(pic);
        needle->setObjectName(QStringLiteral("Line1") + n);
        needles_[size_t(i)] = needle;
        const auto text = [pic](const QString& name, const QString& caption) {
            auto* t = new DialText(caption, pic);
            t->setObjectName(name);
            return t;
        };
        auto* peak = text(QStringLiteral("lblMax") + n, QStringLiteral("0"));
        peak->setToolTip(QStringLiteral("Peak value: click to reset"));
        peak->installEventFilter(this);
        peak->setCursor(Qt::PointingHandCursor);
        auto* value = text(QStringLiteral("lblValue") + n, QStringLiteral("0"));
        auto* name = text(QStringLiteral("lblName") + n, QString());
        // In the order the gauge stacks them, the value on top.
        pic->drawOverlays(needle, {name, peak, value});
        maxLabels_[size_t(i)] = peak;
        valueLabels_[size_t(i)] = value;
        nameLabels_[size_t(i)] = name;
    }
    for (int i = 0; i < 12; ++i) {
        const QString n = QString::number(i);
        const QString caption = indicatorCaption(i);
        registerLabels_[size_t(i)] = namedLabel(window, QStringLiteral("lblRegister") + n, caption);
        // A state goes back and forth among a few texts: kept rendered, as a dial's are.
        auto* state = new DialText(i == 10 ? QStringLiteral("Rich") : QStringLiteral("Off"), window);
        state->setObjectName(QStringLiteral("lblOnOff") + n);
        state->setAlignment(Qt::AlignCenter);
        state->setAutoFillBackground(true);
        showsValue(state, caption.mid(3), Context::InName);
        onOffLabels_[size_t(i)] = state;
    }
}

GaugeGrid::~GaugeGrid() = default;

void GaugeGrid::applyColours(const DisplayColours& c) {
    colours_ = c;
    for (auto& g : gauges_)
        if (g) g->setColours(scaleColours(c));
    for (int i = 0; i < 12; ++i) {
        auto* pic = pictures_[size_t(i)];
        QPalette p = pic->palette();
        p.setColor(QPalette::Window, colourFromBgr(c.back));
        p.setColor(QPalette::WindowText, colourFromBgr(c.digits));
        pic->setPalette(p);
        setColour(maxLabels_[size_t(i)], QPalette::WindowText, c.max);
        setColour(valueLabels_[size_t(i)], QPalette::WindowText, c.value);
        setColour(nameLabels_[size_t(i)], QPalette::WindowText, c.name);
        needles_[size_t(i)]->setColour(colourFromBgr(c.needle));
        setColour(registerLabels_[size_t(i)], QPalette::WindowText, c.registers);
        setColour(onOffLabels_[size_t(i)], QPalette::WindowText, c.registers);
    }
}

void GaugeGrid::setStale(bool stale) {
    if (stale == stale_) return;
    stale_ = stale;
    constexpr uint32_t grey = 0x808080;
    DisplayColours shown = colours_;
    if (stale) shown.value = shown.max = shown.needle = shown.registers = grey;
    const DisplayColours own = colours_;
    applyColours(shown);
    colours_ = own;
    if (!stale) return;
    // Nothing that is not live reads as a value: "--" on the dials, the indicators blank. The
    // next frame writes them all again.
    for (auto& g : gauges_)
        if (g) g->showNoValue();
    for (QLabel* l : onOffLabels_) {
        l->setText(QString());
        l->setAutoFillBackground(false);
    }
}

void GaugeGrid::place(const DisplayLayout& l) {
    for (int i = 0; i < 12; ++i) {
        pictures_[size_t(i)]->setGeometry(pixelRect(l.gauges[size_t(i)]));
        auto* reg = registerLabels_[size_t(i)];
        reg->setGeometry(pixelRect(l.registerLabel[size_t(i)]));
        setFontPoints(reg, l.registerFont);
        auto* state = onOffLabels_[size_t(i)];
        setFontPoints(state, l.onOffFont);
        // The state label is as wide as its longest text needs, from its place onwards.
        const QRect r = pixelRect(l.onOffLabel[size_t(i)]);
        const int wide = state->fontMetrics().horizontalAdvance(QStringLiteral("High")) + 4;
        // Of fixed size, so that a new state asks the window for no new layout.
        state->setFixedSize(std::max(r.width(), wide), r.height());
        state->move(r.topLeft());
        state->raise();
    }
}

void GaugeGrid::setupGauge(int slot, const GaugeInfo& info) {
    auto& g = gauges_[size_t(slot)];
    if (!g) g = std::make_unique<SpeedometerGauge>(scaleColours(colours_));
    g->setup(pictures_[size_t(slot)], needles_[size_t(slot)], maxLabels_[size_t(slot)],
             valueLabels_[size_t(slot)], nameLabels_[size_t(slot)], info.minVal(), info.maxVal(),
             info.tickerNum(), info.subTickerNum(), int16_t(info.decPointNum()));
    // A dial set up afresh shows its minimum: not a value while nothing is live.
    if (stale_) g->showNoValue();
}

void GaugeGrid::setValue(int slot, float value) {
    if (auto& g = gauges_[size_t(slot)]) g->setValue(value);
}

void GaugeGrid::ChangelblOnOff(int indicator, const QString& state) {
    QLabel* l = onOffLabels_[size_t(indicator)];
    if (l->text() == state) return;
    const StateColour c = stateColour(state);
    if (!c.known) return;
    l->setText(state);
    l->setAutoFillBackground(true);
    QPalette p = l->palette();
    p.setColor(QPalette::Window, colourFromBgr(c.colour));
    l->setPalette(p);
}

void GaugeGrid::setIndicatorEnabled(int indicator, bool enabled) {
    registerLabels_[size_t(indicator)]->setEnabled(enabled);
    onOffLabels_[size_t(indicator)]->setEnabled(enabled);
}

void GaugeGrid::lblMax_Click(int slot) {
    maxLabels_[size_t(slot)]->setText(QStringLiteral("0"));
}

bool GaugeGrid::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        for (int i = 0; i < 12; ++i)
            if (watched == maxLabels_[size_t(i)]) lblMax_Click(i);
    } else if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Space || key == Qt::Key_Delete)
            for (int i = 0; i < 12; ++i)
                if (watched == pictures_[size_t(i)]) lblMax_Click(i);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kx
