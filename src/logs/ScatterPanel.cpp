#include "logs/ScatterPanel.h"

#include "logs/analyser_scatter.h"
#include "util/text.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>

namespace kx {

ScatterPanel::ScatterPanel(QWidget* parent) : QGroupBox(S("Scatter"), parent) {
    setObjectName(S("fraScatter"));
    auto* grid = new QGridLayout(this);
    const char* const names[3][2] = {
        {"X", "cboScatterX"}, {"Y", "cboScatterY"}, {"Colour", "cboScatterColour"}};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(S(names[i][0]), this);
        auto* combo = new QComboBox(this);
        combo->setObjectName(S(names[i][1]));
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        label->setBuddy(combo);
        grid->addWidget(label, 0, 2 * i, Qt::AlignRight);
        grid->addWidget(combo, 0, 2 * i + 1, Qt::AlignLeft);
        connect(combo, &QComboBox::activated, this, [this] {
            stale_ = true;
            emit picked();
        });
        pickers_[size_t(i)] = combo;
    }
    const char* const ends[2][2] = {{"Colours from", "spnColourLow"}, {"to", "spnColourHigh"}};
    for (int i = 0; i < 2; ++i) {
        auto* label = new QLabel(S(ends[i][0]), this);
        auto* spin = new QDoubleSpinBox(this);
        spin->setObjectName(S(ends[i][1]));
        // Numbers as everywhere else in the program, whatever the desktop's language.
        spin->setLocale(QLocale::c());
        spin->setRange(-1e6, 1e6);
        spin->setDecimals(2);
        spin->setKeyboardTracking(false);
        spin->setEnabled(false);
        spin->setToolTip(S("The values the colour scale spans; values beyond take its end "
                           "colours. Picking a colour column sets its 1st to 99th percentile."));
        label->setBuddy(spin);
        grid->addWidget(label, 0, 6 + 2 * i, Qt::AlignRight);
        grid->addWidget(spin, 0, 7 + 2 * i, Qt::AlignLeft);
        connect(spin, &QDoubleSpinBox::valueChanged, this, &ScatterPanel::rangeEdited);
        colourRange_[size_t(i)] = spin;
    }
    grid->setColumnStretch(10, 1);
    plot_ = new ScatterPlot(this);
    plot_->setObjectName(S("picScatter"));
    plot_->setAccessibleName(S("Scatter"));
    grid->addWidget(plot_, 1, 0, 1, 11);
    grid->setRowStretch(1, 1);
}

void ScatterPanel::setColumns(const std::vector<int>& codes, const std::vector<QString>& names) {
    rangeColumn_ = -1;
    const ScatterChoice choice = scatterDefaults(codes);
    const std::array<int, 3> chosen = {choice.x, choice.y, choice.colour};
    for (size_t i = 0; i < pickers_.size(); ++i) {
        QComboBox* combo = pickers_[i];
        for (const QString& name : names)
            combo->addItem(name);
        combo->setCurrentIndex(codes.empty() ? -1 : chosen[i]);
        combo->setEnabled(!codes.empty());
    }
    stale_ = true;
}

void ScatterPanel::clear() {
    plot_->clear();
    plot_->setColourRange({});
    rangeColumn_ = -1;
    plot_->setCursorRecord(-1);
    for (QDoubleSpinBox* spin : colourRange_)
        spin->setEnabled(false);
    for (QComboBox* combo : pickers_) {
        combo->clear();
        combo->setEnabled(false);
    }
    stale_ = true;
}

bool ScatterPanel::refresh(const std::function<Numbers(int k)>& numbers, int64_t cursorRecord) {
    if (!stale_ || pickers_[0]->count() == 0 || isHidden()) return true;
    stale_ = false;
    std::array<ScatterPlot::Column, 3> columns;
    bool complete = true;
    for (size_t i = 0; i < columns.size(); ++i) {
        const Numbers n = numbers(std::max(pickers_[i]->currentIndex(), 0));
        columns[i] = n.column;
        complete = complete && n.complete;
    }
    plot_->setColumns(columns[0], columns[1], columns[2]);
    const int colourColumn = std::max(pickers_[2]->currentIndex(), 0);
    if (colourColumn == rangeColumn_) {
        plot_->setCursorRecord(cursorRecord);
        return complete;
    }
    rangeColumn_ = colourColumn;
    const ScatterRange range = scatterColourRange(columns[2].values);
    for (size_t i = 0; i < colourRange_.size(); ++i) {
        const QSignalBlocker quiet(colourRange_[i]);
        colourRange_[i]->setValue(i == 0 ? range.low : range.high);
        colourRange_[i]->setEnabled(true);
    }
    plot_->setColourRange(range);
    plot_->setCursorRecord(cursorRecord);
    return complete;
}

void ScatterPanel::rangeEdited() {
    const ScatterRange range{colourRange_[0]->value(), colourRange_[1]->value()};
    // Ends the wrong way round wait for the other end to be edited.
    if (range.usable()) plot_->setColourRange(range);
}

} // namespace kx
