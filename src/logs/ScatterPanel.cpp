#include "logs/ScatterPanel.h"

#include "logs/analyser_scatter.h"
#include "util/text.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>

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
    grid->setColumnStretch(5, 1);
    plot_ = new ScatterPlot(this);
    plot_->setObjectName(S("picScatter"));
    plot_->setAccessibleName(S("Scatter"));
    grid->addWidget(plot_, 1, 0, 1, 6);
    grid->setRowStretch(1, 1);
}

void ScatterPanel::setColumns(const std::vector<int>& codes, const std::vector<QString>& names) {
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
    plot_->setCursorRecord(-1);
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
    plot_->setCursorRecord(cursorRecord);
    return complete;
}

} // namespace kx
