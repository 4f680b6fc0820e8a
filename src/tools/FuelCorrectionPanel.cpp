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
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

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
        filters->addWidget(c, f, 0, 1, 2); // one a line: the panel sits beside the grid
        chkFilter_[size_t(f)] = c;
    }
    // Beside the switches: what a cell needs for a suggestion, and how far one pass may go.
    spnMinHits_ = new QSpinBox;
    spnMinHits_->setObjectName(S("spnMinHits"));
    spnMinHits_->setRange(1, 100000);
    spnMinHits_->setValue(int(defaults.minHits));
    spnMaxChange_ = new QSpinBox;
    spnMaxChange_->setObjectName(S("spnMaxChange"));
    spnMaxChange_->setRange(1, 100);
    spnMaxChange_->setSuffix(S(" %"));
    spnMaxChange_->setValue(int(std::lround(defaults.maxChange * 100)));
    int row = kFuelFilterCount;
    for (auto [box, caption] : {std::pair{spnMinHits_, "Minimum readings:"},
                                std::pair{spnMaxChange_, "Maximum change a pass:"}}) {
        auto* label = new QLabel(S(caption));
        label->setBuddy(box);
        filters->addWidget(label, row, 0, Qt::AlignRight);
        filters->addWidget(box, row++, 1, Qt::AlignLeft);
        connect(box, &QSpinBox::valueChanged, this, [this] {
            setMap(kind_, source_, known_); // the note says the figures
            emit changed();
        });
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
    setMap(std::nullopt);
}

void FuelCorrectionPanel::setMap(std::optional<MapKind> kind, const QString& source, bool known) {
    kind_ = kind;
    source_ = source;
    known_ = known;
    mapKnown_ = kind.has_value() && known;
    offered_ = kind && *kind != MapKind::Timing;
    const CorrectionSettings s = settings();
    QString note;
    if (!kind) {
        note = S("Read or open a fuel map: a suggestion is offered for fuel maps.");
    } else if (!known) {
        note = *kind == MapKind::Timing
                   ? S("Reading a timing map (%1): a suggestion is offered for fuel maps only.")
               : *kind == MapKind::Fuel
                   ? S("Reading a fuel map (%1): the suggestion follows once it is read.")
                   : S("Reading a map not known to be a fuel map (%1): it is taken for one once "
                       "read.");
        note = note.arg(source);
    } else if (*kind == MapKind::Timing) {
        note = S("A timing map (%1): a suggestion is offered for fuel maps only.").arg(source);
    } else {
        if (*kind == MapKind::Other)
            note = S("Not known to be a fuel map (%1): taken for one. ").arg(source);
        note += QStringLiteral(
                    "Assumes a fuel map value is proportional to the fuel delivered: suggested = "
                    "map value \u00D7 measured / target WBo2. A wideband value held over several "
                    "records is one reading. A cell is trusted from %1 kept readings, from two "
                    "visits or %2 s in it, and a standard error under %3 % of its target; a "
                    "change is held to \u00B1%4 % a pass. Click a cell in the Suggested or "
                    "Difference view to lock it: it keeps its value. Traced hits come without a "
                    "water temperature: trace a warm engine.")
                    .arg(s.minHits)
                    .arg(kOneVisitS)
                    .arg(s.maxUncertainty * 100)
                    .arg(s.maxChange * 100);
    }
    lblNote_->setText(note);
    const bool on = offered_ && mapKnown_;
    for (QCheckBox* c : chkFilter_)
        c->setEnabled(on);
    for (QWidget* w :
         std::initializer_list<QWidget*>{btnOpenTarget_, btnSaveTarget_, btnSaveSuggested_,
                                         lblCounts_, lblTarget_, spnMinHits_, spnMaxChange_})
        w->setEnabled(on);
    if (!offered_) lblCounts_->clear();
}

void FuelCorrectionPanel::toggleLock(int index) {
    if (!offered_ || !mapKnown_ || index < 0 || index > 255) return;
    const size_t at = size_t(mapCellOf(target_.scales, m_.map.scales.rpm[size_t(index / 16)],
                                       m_.map.scales.tp[size_t(index % 16)]));
    target_.locked.flip(at);
    emit changed();
}

void FuelCorrectionPanel::setScales(const MapScales& scales) {
    // The same scales keep the locks set on them.
    if (!defaultTarget_ || target_.scales == scales) return;
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
    s.minHits = uint64_t(spnMinHits_->value());
    s.maxChange = spnMaxChange_->value() / 100.0;
    s.locked = locksOnMap(target_.scales, target_.locked, m_.map.scales);
    return s;
}

FuelCorrection FuelCorrectionPanel::correct() {
    const CorrectionSettings s = settings();
    FuelCorrection c = correctMap(m_.map, targetOnMap(target_, m_.map.scales), m_.fuel, s);
    int trusted = 0;
    for (const CellCorrection& cell : c.cells)
        trusted += cell.trust == CellTrust::Trusted;
    lblCounts_->setText(filterCountsText(c.counts, s.filters) +
                        S(" %1 of 256 cells with a trusted suggestion; %2 locked.")
                            .arg(trusted)
                            .arg(s.locked.count()));
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
        files_.save(S("suggested fuel map.csv"), mapFileText(correct().suggested));
}

} // namespace kx
