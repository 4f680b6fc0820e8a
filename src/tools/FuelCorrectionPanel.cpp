#include "tools/FuelCorrectionPanel.h"

#include "tools/fuel_target.h"
#include "ui/Dialogs.h"
#include "ui/ui_helpers.h"
#include "util/text.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kx {

FuelCorrectionPanel::FuelCorrectionPanel(const MapTraceModel& model, MapTraceFiles& files,
                                         QWidget* parent)
    : QGroupBox(S("Fuel Correction"), parent), m_(model), files_(files) {
    setObjectName(S("fraCorrection"));
    const CorrectionSettings defaults;
    lblNote_ = new QLabel;
    lblNote_->setObjectName(S("lblCorrectionNote"));
    lblNote_->setWordWrap(true);
    showsValue(lblNote_, S("Fuel correction"));
    lblTarget_ = new QLabel;
    lblTarget_->setObjectName(S("lblTarget"));
    lblTarget_->setWordWrap(true);
    showsValue(lblTarget_, S("Target"));
    btnOpenTarget_ = namedButton(nullptr, S("btnOpenTarget"), S("Open Target..."));
    btnSaveTarget_ = namedButton(nullptr, S("btnSaveTarget"), S("Save Target..."));
    btnSaveSuggested_ = namedButton(nullptr, S("btnSaveSuggested"), S("Save Suggested Map..."));
    connect(btnOpenTarget_, &QPushButton::clicked, this, &FuelCorrectionPanel::btnOpenTarget_Click);
    connect(btnSaveTarget_, &QPushButton::clicked, this, &FuelCorrectionPanel::btnSaveTarget_Click);
    connect(btnSaveSuggested_, &QPushButton::clicked, this,
            &FuelCorrectionPanel::btnSaveSuggested_Click);

    auto* filters = new QGridLayout;
    const char* const names[] = {"chkRange", "chkCold", "chkThrottle", "chkSettle", "chkGap"};
    for (int f = 0; f < kFuelFilterCount; ++f) {
        auto* c = new QCheckBox(S("Keep out: ") + filterCaption(FuelFilter(f)));
        c->setObjectName(S(names[f]));
        c->setChecked(defaults.filters.test(size_t(f)));
        connect(c, &QCheckBox::toggled, this, &FuelCorrectionPanel::changed);
        filters->addWidget(c, f / 2, f % 2);
        chkFilter_[size_t(f)] = c;
    }
    lblCounts_ = new QLabel;
    lblCounts_->setObjectName(S("lblFilterCounts"));
    lblCounts_->setWordWrap(true);
    showsValue(lblCounts_, S("Records for the correction"));

    auto* box = new QVBoxLayout(this);
    box->addWidget(lblNote_);
    box->addLayout(filters);
    box->addWidget(lblCounts_);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {btnOpenTarget_, btnSaveTarget_, btnSaveSuggested_})
        buttons->addWidget(b);
    buttons->addStretch();
    box->addWidget(lblTarget_);
    box->addLayout(buttons);
    setOffered(false, false);
}

void FuelCorrectionPanel::setOffered(bool offered, bool mapKnown) {
    offered_ = offered;
    mapKnown_ = mapKnown;
    const CorrectionSettings s;
    lblNote_->setText(
        offered ? QStringLiteral(
                      "Assumes a fuel map value is proportional to the fuel delivered: suggested "
                      "= map value \u00D7 measured / target WBo2. A cell is trusted from %1 kept "
                      "hits and a standard error under %2 % of its target; a change is held to "
                      "\u00B1%3 % a pass.")
                      .arg(s.minHits)
                      .arg(s.maxUncertainty * 100)
                      .arg(s.maxChange * 100)
                : S("The stored addresses are a timing map's: a suggestion is offered for fuel "
                    "maps only."));
    if (offered)
        lblNote_->setText(lblNote_->text() +
                          S(" Traced hits come without a water temperature: trace a warm engine."));
    for (QCheckBox* c : chkFilter_)
        c->setEnabled(offered && mapKnown);
    for (QWidget* w : std::initializer_list<QWidget*>{btnOpenTarget_, btnSaveTarget_,
                                                      btnSaveSuggested_, lblCounts_, lblTarget_})
        w->setEnabled(offered && mapKnown);
    if (!offered) lblCounts_->clear();
}

void FuelCorrectionPanel::setScales(const MapScales& scales) {
    if (!defaultTarget_) return;
    target_ = defaultTarget(scales);
    lblTarget_->setText(S("Target: Kestrix's default, 14.70 up to a throttle of %1 raw, down "
                          "to 12.50 at %2 and above, 12.00 there from %3 rpm.")
                            .arg(kTargetLightLoadTp)
                            .arg(kTargetFullLoadTp)
                            .arg(kTargetHighRpmTo));
}

CorrectionSettings FuelCorrectionPanel::settings() const {
    CorrectionSettings s;
    for (int f = 0; f < kFuelFilterCount; ++f)
        s.filters.set(size_t(f), chkFilter_[size_t(f)]->isChecked());
    return s;
}

FuelCorrection FuelCorrectionPanel::correct() {
    const CorrectionSettings s = settings();
    FuelCorrection c = correctMap(m_.map, targetOnMap(target_, m_.map.scales), m_.fuel, s);
    int trusted = 0;
    for (const CellCorrection& cell : c.cells)
        trusted += cell.trust == CellTrust::Trusted;
    lblCounts_->setText(filterCountsText(c.counts, s.filters) +
                        S(" %1 of 256 cells with a trusted suggestion.").arg(trusted));
    return c;
}

void FuelCorrectionPanel::btnOpenTarget_Click() {
    const QString path = files_.open(S(kMapFileFilter));
    if (path.isEmpty()) return;
    const TargetFileRead read = readTargetFile(path);
    if (!read.target) return files_.refused(S("target"), path, read.error);
    target_ = *read.target;
    defaultTarget_ = false;
    lblTarget_->setText(S("Target: %1").arg(QFileInfo(path).fileName()));
    emit changed();
}

void FuelCorrectionPanel::btnSaveTarget_Click() {
    if (offered_ && mapKnown_) files_.save(S("target.csv"), targetFileText(target_));
}

void FuelCorrectionPanel::btnSaveSuggested_Click() {
    if (offered_ && mapKnown_)
        files_.save(S("suggested map.csv"), mapFileText(correct().suggested));
}

} // namespace kx
