#include "tools/MapTraceGrid.h"

#include "ui/ui_helpers.h"
#include "util/colour.h"
#include "util/numbers.h"
#include "util/text.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kx {

namespace {
constexpr uint32_t kUnpainted = 0xFFFFFFFFu;
constexpr uint32_t kBlack = 0x000000u;
constexpr uint32_t kWhite = 0xFFFFFFu;
constexpr uint32_t kFaintText = 0x707070u;
constexpr uint32_t kLockedColour = 0xB0B0B0u; // grey: a locked cell keeps the map's value

// Black text on light cells, white on dark ones.
uint32_t textOn(uint32_t bgr) {
    const int r = int(bgr & 0xFF), g = int(bgr >> 8 & 0xFF), b = int(bgr >> 16 & 0xFF);
    return 299 * r + 587 * g + 114 * b >= 128000 ? kBlack : kWhite;
}

// What a screen reader and the tooltip say of a cell's coverage beyond its caption.
QString coverageDetails(const CoverageCell& c, uint64_t fewHits) {
    if (c.hits == 0) return S("No hits");
    QString text = S("%1 %2").arg(c.hits).arg(c.hits == 1 ? S("hit") : S("hits"));
    if (const auto mean = c.meanAfr()) {
        text += S("; WBo2 mean %1 from %2, lowest %3, highest %4")
                    .arg(meanAfrText(*mean))
                    .arg(c.afrCount)
                    .arg(meanAfrText(c.afrMin), meanAfrText(c.afrMax));
    }
    if (c.hits < fewHits) text += S(" (few hits)");
    return text;
}

QLabel* readout(const QString& name, const QString& context) {
    auto* l = new QLabel;
    l->setObjectName(name);
    l->setAlignment(Qt::AlignCenter);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    QFont f = l->font();
    f.setPointSize(f.pointSize() + 4);
    f.setBold(true);
    l->setFont(f);
    // Opaque and of a fixed size: a new value repaints the read-out alone, without its group
    // beneath or a layout pass.
    l->setAutoFillBackground(true);
    const QFontMetrics m(f);
    l->setFixedSize(m.horizontalAdvance(S("888888")) + 12, m.height() + 12);
    showsValue(l, context);
    return l;
}

QGroupBox* group(const char* caption, QWidget* content) {
    auto* g = new QGroupBox(S(caption));
    auto* box = new QVBoxLayout(g);
    box->addWidget(content);
    return g;
}

QString oneDecimal(double v) {
    return QString::number(roundHalfEven(v, 1), 'f', 1);
}
} // namespace

MapTraceGrid::MapTraceGrid(const MapTraceModel& model, QWidget* parent)
    : QGroupBox(S("Engine Map"), parent), m_(model) {
    painted_.fill(kUnpainted);
    auto* grid = new QGridLayout(this);
    grid->setSpacing(1);
    for (int i = 0; i < maptrace::CellCount; ++i) {
        auto* cell = new QLabel;
        cell->setObjectName(S("lblMapCell") + QString::number(i));
        cell->setFixedSize(38, 20);
        if (i >= maptrace::FirstMapCell) {
            cell->installEventFilter(this);
            // Tab reaches the grid at its first cell; the arrows go on from there.
            cell->setFocusPolicy(i == maptrace::FirstMapCell ? Qt::StrongFocus : Qt::ClickFocus);
        }
        cell->setAlignment(Qt::AlignCenter);
        const GridPlace at = gridPlace(i);
        if (i >= maptrace::FirstRowHeader) {
            cell->setFrameShape(QFrame::Box);
            const QString where = at.row == 0 ? S("TP column %1").arg(at.column)
                                  : at.column == 0
                                      ? S("RPM row %1").arg(at.row)
                                      : S("Row %1, column %2").arg(at.row).arg(at.column);
            showsValue(cell, where, Context::InName);
        }
        grid->addWidget(cell, at.row, at.column);
        lblMapCell_[size_t(i)] = cell;
    }
    auto* rpmCaption = new QLabel(S("RPM"));
    rpmCaption->setAlignment(Qt::AlignCenter);
    grid->addWidget(rpmCaption, 17, 0);
    grid->addWidget(new QLabel(S("TP")), 0, 17);

    fraShow_ = new QGroupBox(S("Show"));
    fraShow_->setObjectName(S("fraShow"));
    auto* showRow = new QHBoxLayout(fraShow_);
    const char* const captions[] = {"Map Values", "Hits",      "Mean WBo2", "Target",
                                    "Change %",   "Suggested", "Difference"};
    const char* const names[] = {"optMap",    "optHits",      "optWBo2",      "optTarget",
                                 "optChange", "optSuggested", "optDifference"};
    for (size_t i = 0; i < opt_.size(); ++i) {
        opt_[i] = new QRadioButton(S(captions[i]));
        opt_[i]->setObjectName(S(names[i]));
        showRow->addWidget(opt_[i]);
        connect(opt_[i], &QRadioButton::toggled, this, [this](bool on) {
            if (on) emit viewChanged();
        });
    }
    opt_[0]->setChecked(true);
    showRow->addStretch();

    lblScale_ = new QLabel;
    lblScale_->setObjectName(S("lblScale"));
    lblScale_->setWordWrap(true);
    showsValue(lblScale_, S("Colour scale"));
}

MapTraceGrid::View MapTraceGrid::view() const {
    for (size_t i = 0; i < opt_.size(); ++i)
        if (opt_[i]->isChecked()) return View(i);
    return View::MapValues;
}

void MapTraceGrid::showRead(int cell, uint8_t value) {
    lblMapCell_[size_t(cell)]->setText(cellCaption(cell, value));
    if (cell >= maptrace::FirstMapCell) paintCell(cell, mapColour(value));
}

void MapTraceGrid::showHeaders() {
    for (int i = 0; i < 16; ++i) {
        lblMapCell_[size_t(maptrace::FirstRowHeader + i)]->setText(
            QString::number(m_.map.scales.rpm[size_t(i)]));
        lblMapCell_[size_t(maptrace::FirstColumnHeader + i)]->setText(
            QString::number(m_.map.scales.tp[size_t(i)]));
    }
}

std::optional<double> MapTraceGrid::figure(int index, View v) const {
    if (v == View::Hits || v == View::MeanAfr) {
        return coverageFigure(m_.coverage.cell(index),
                              v == View::Hits ? CoverageView::Hits : CoverageView::MeanAfr);
    }
    if (!m_.correction) return std::nullopt;
    const CellCorrection& c = m_.correction->cells[size_t(index)];
    if (v == View::Target) return c.target;
    if (v == View::ChangePct) return c.change;
    if (v == View::Difference) return double(c.suggested) - double(m_.map.values[size_t(index)]);
    return std::nullopt;
}

void MapTraceGrid::showCell(int cell) {
    if (!m_.mapKnown) return; // the reading paints each byte as it comes
    const int index = cell - maptrace::FirstMapCell;
    QLabel* l = lblMapCell_[size_t(cell)];
    const View v = view();
    const uint8_t value = m_.map.values[size_t(index)];
    QString caption;
    uint32_t colour = kWhite;
    bool faint = false;
    const CellCorrection* c =
        m_.correction && correctionView(v) ? &m_.correction->cells[size_t(index)] : nullptr;
    if (v == View::MapValues) {
        caption = QString::number(value);
        colour = m_.trailed.test(size_t(index)) ? kTrailColour : mapColour(value);
    } else if (v == View::Suggested) {
        const uint8_t s = c ? c->suggested : value;
        caption = QString::number(s);
        colour = mapColour(s);
        faint = !c || c->trust != CellTrust::Trusted;
    } else if (const auto f = figure(index, v)) {
        if (v == View::Hits || v == View::MeanAfr) {
            const CoverageCell& cc = m_.coverage.cell(index);
            caption =
                coverageCaption(cc, v == View::Hits ? CoverageView::Hits : CoverageView::MeanAfr);
            faint = (v == View::Hits ? cc.hits : cc.afrCount) < m_.settings.minHits;
        } else if (v == View::Difference) {
            caption = *f > 0 ? u'+' + QString::number(*f) : QString::number(*f);
            faint = c->trust != CellTrust::Trusted;
        } else {
            caption = v == View::Target ? oneDecimal(*f) : changePercentText(*f);
            faint = v == View::ChangePct && c->trust != CellTrust::Trusted;
        }
        colour = scale_.colourOf(*f);
    }
    if (faint) colour = dimmed(colour);
    if (c && lockView(v) && c->trust == CellTrust::Locked) {
        colour = kLockedColour;
        faint = false;
    }
    // Over a figure's colour the cell the engine is in gets a thick frame, so both show.
    const bool current = cell == m_.shownCurrent;
    if (current && v == View::MapValues) colour = kCurrentCellColour;
    const int frame = current && v != View::MapValues ? 3 : 1;
    if (l->lineWidth() != frame) l->setLineWidth(frame);
    if (l->text() != caption) l->setText(caption);
    paintCell(cell, colour);
    const uint32_t text = faint ? kFaintText : textOn(colour);
    if (l->palette().color(QPalette::WindowText) != colourFromBgr(text))
        setColour(l, QPalette::WindowText, text);
}

void MapTraceGrid::showDetails(int cell) {
    QLabel* l = lblMapCell_[size_t(cell)];
    const int index = cell - maptrace::FirstMapCell;
    const QString details =
        m_.correction && correctionView(view())
            ? correctionDetails(m_.correction->cells[size_t(index)], m_.settings)
            : coverageDetails(m_.coverage.cell(index), m_.settings.minHits);
    if (l->toolTip() == details) return;
    l->setToolTip(details);
    l->setAccessibleDescription(details);
}

void MapTraceGrid::showAll() {
    changed_.set();
    scale_ = CoverageScale();
    refresh();
}

void MapTraceGrid::refresh() {
    // No longer a fuel map: back to its values.
    if (correctionView(view()) && !m_.correction) opt_[0]->setChecked(true);
    const View v = view();
    for (size_t i = 1; i < opt_.size(); ++i)
        opt_[i]->setEnabled(m_.mapKnown && (i < 3 || m_.correction));
    std::bitset<256> repaint = changed_;
    // The correction of any cell may move with each hit (the filters look back and forth).
    if (correctionView(v)) changed_.set();
    if (v != View::MapValues && v != View::Suggested) {
        CoverageScale scale;
        if (v == View::Hits || v == View::MeanAfr) {
            scale = coverageScale(m_.coverage,
                                  v == View::Hits ? CoverageView::Hits : CoverageView::MeanAfr,
                                  m_.settings.minHits);
        } else {
            for (int i = 0; i < 256; ++i) {
                const auto f = figure(i, v);
                if (!f) continue;
                scale.low = scale.any ? std::min(scale.low, *f) : *f;
                scale.high = scale.any ? std::max(scale.high, *f) : *f;
                scale.any = true;
            }
        }
        if (!(scale == scale_)) repaint.set(); // every colour moves with the scale
        scale_ = scale;
    }
    repaint |= changed_;
    for (int i = 0; i < 256; ++i) {
        if (changed_.test(size_t(i))) showDetails(maptrace::FirstMapCell + i);
        if (repaint.test(size_t(i))) showCell(maptrace::FirstMapCell + i);
    }
    changed_.reset();
    lblScale_->setText(m_.mapKnown ? scaleText(v) : QString());
}

QString MapTraceGrid::scaleText(View v) const {
    const QString current = S(" Thick frame: the cell the engine is in.");
    const QString untrusted = S(" Faint: no trusted suggestion, the map value stays (the "
                                "cell's tooltip says why).");
    const QString locks =
        S(" Grey: locked (a click, or Space on the cell the arrows reach, locks or unlocks it).");
    switch (v) {
    case View::MapValues:
        return S("Map values: red at 0, blue at 255. Yellow: cells the engine has left; green: "
                 "the cell it is in.");
    case View::Suggested:
        return S("Suggested map: red at 0, blue at 255.") + untrusted + locks + current;
    case View::Difference:
        if (!scale_.any) return S("No suggestion yet.") + current;
        return S("Suggested minus map, in counts: blue at %1 to red at %2.")
                   .arg(QString::number(scale_.low), QString::number(scale_.high)) +
               untrusted + locks + current;
    case View::Target:
        return S("Target WBo2: blue at %1 to red at %2.")
                   .arg(meanAfrText(scale_.low), meanAfrText(scale_.high)) +
               current;
    case View::ChangePct:
        if (!scale_.any) return S("No kept hits yet.") + current;
        return S("Change: blue at %1 % (richer than the target: less fuel) to red at %2 % "
                 "(leaner: more fuel).")
                   .arg(changePercentText(scale_.low), changePercentText(scale_.high)) +
               untrusted + current;
    default:
        break;
    }
    const bool hits = v == View::Hits;
    const auto text = [hits](double f) {
        return hits ? QString::number(qint64(f)) : meanAfrText(f);
    };
    const QString name = hits ? S("Hits") : S("Mean WBo2");
    QString out;
    if (!scale_.any)
        out = S("No hits yet.");
    else if (scale_.high > scale_.low)
        out = S("%1: blue at %2 to red at %3%4.")
                  .arg(name, text(scale_.low), text(scale_.high),
                       scale_.logarithmic ? S(" (logarithmic)") : QString());
    else
        out = S("%1: green at %2 (one level).").arg(name, text(scale_.low));
    if (scale_.any)
        out += S(" Faint: fewer than %1 %2.")
                   .arg(m_.settings.minHits)
                   .arg(hits ? S("hits") : S("hits with WBo2"));
    return out + current;
}

bool MapTraceGrid::eventFilter(QObject* watched, QEvent* event) {
    const auto* l = qobject_cast<QLabel*>(watched);
    int cell = 0;
    for (int i = maptrace::FirstMapCell; l && i < maptrace::CellCount && !cell; ++i)
        if (lblMapCell_[size_t(i)] == l) cell = i;
    if (!cell) return QGroupBox::eventFilter(watched, event);
    const bool locking = m_.correction && lockView(view());
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
        if (!locking) break;
        emit lockToggled(cell - maptrace::FirstMapCell);
        return true;
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        // The keyboard's place in the grid: a sunken panel.
        lblMapCell_[size_t(cell)]->setFrameShape(event->type() == QEvent::FocusIn ? QFrame::Panel
                                                                                  : QFrame::Box);
        break;
    case QEvent::KeyPress: {
        // The arrows move among the cells; Space locks or unlocks one, as a click does.
        const int key = static_cast<QKeyEvent*>(event)->key();
        const GridPlace at = gridPlace(cell);
        int row = at.row, column = at.column;
        if (key == Qt::Key_Space && locking) {
            emit lockToggled(cell - maptrace::FirstMapCell);
            return true;
        }
        if (key == Qt::Key_Up) --row;
        if (key == Qt::Key_Down) ++row;
        if (key == Qt::Key_Left) --column;
        if (key == Qt::Key_Right) ++column;
        if (row == at.row && column == at.column) break;
        if (row >= 1 && row <= 16 && column >= 1 && column <= 16)
            lblMapCell_[size_t(mapCellIndex(row, column))]->setFocus(Qt::OtherFocusReason);
        return true;
    }
    default:
        break;
    }
    return QGroupBox::eventFilter(watched, event);
}

void MapTraceGrid::paintCell(int cell, uint32_t colour) {
    if (painted_[size_t(cell)] == colour) return;
    QLabel* l = lblMapCell_[size_t(cell)];
    if (painted_[size_t(cell)] == kUnpainted) l->setAutoFillBackground(true);
    painted_[size_t(cell)] = colour;
    setColour(l, QPalette::Window, colour);
    setColour(l, QPalette::WindowText, textOn(colour));
}

MapTraceReadouts::MapTraceReadouts(QWidget* parent) : QWidget(parent) {
    lblRPM_ = readout(S("lblRPM"), S("RPM"));
    lblTP_ = readout(S("lblTP"), S("TP"));
    lblWBo2_ = readout(S("lblWBo2"), S("WBo2"));
    fraWBo2_ = group("WBo2", lblWBo2_);
    fraWBo2_->setObjectName(S("fraWBo2"));
    fraWBo2_->setEnabled(false);
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(group("RPM", lblRPM_));
    box->addWidget(group("TP", lblTP_));
    box->addWidget(fraWBo2_);
}

void MapTraceReadouts::show(int rpm, int tp, std::optional<float> afr) {
    const QString rpmText = QString::number(rpm);
    if (lblRPM_->text() != rpmText) lblRPM_->setText(rpmText);
    const QString tpText = QString::number(tp);
    if (lblTP_->text() != tpText) lblTP_->setText(tpText);
    if (fraWBo2_->isEnabled() != afr.has_value()) fraWBo2_->setEnabled(afr.has_value());
    if (!afr) {
        if (lblWBo2_->text() != S("--.--")) lblWBo2_->setText(S("--.--"));
        return;
    }
    const QString afrText = meanAfrText(*afr); // as every other ratio read-out writes it
    if (lblWBo2_->text() != afrText) lblWBo2_->setText(afrText);
    const uint32_t colour = afrColour(*afr);
    if (lblWBo2_->palette().color(QPalette::Window) != colourFromBgr(colour)) {
        setColour(lblWBo2_, QPalette::Window, colour);
        setColour(lblWBo2_, QPalette::WindowText, textOn(colour));
    }
}

} // namespace kx
