#include "tools/frmMapTData.h"

#include "ui/Dialogs.h"
#include "ui/ui_helpers.h"
#include "util/settings.h"
#include "util/text.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kx {

namespace {
const char* const kSection = "MapTrace";
// The boxes' names, in field order.
const char* const kBoxNames[] = {"txtRPMmsb", "txtRPMlsb",  "txtTPmsb",
                                 "txtMap",    "txtTPScale", "txtRPMScale"};
} // namespace

frmMapTData::frmMapTData(QWidget* owner, Settings& settings, Dialogs& dialogs)
    : QWidget(owner, Qt::Dialog), settings_(settings), dialogs_(dialogs) {
    setObjectName(S("frmMapTData"));
    setWindowTitle(S("Map Tracing Data"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* fraMap = new QGroupBox(S("Select ECU map"));
    cmbECUmap_ = new QComboBox;
    cmbECUmap_->setObjectName(S("cmbECUmap"));
    for (const MapPreset& p : mapPresets())
        cmbECUmap_->addItem(S(p.name));
    // Nothing chosen yet: the boxes show what is stored.
    cmbECUmap_->setCurrentIndex(-1);
    auto* mapBox = new QVBoxLayout(fraMap);
    mapBox->addWidget(cmbECUmap_);

    auto* form = new QFormLayout;
    for (int f = 0; f < MapFieldCount; ++f) {
        auto* box = new QLineEdit(settings_.read(S(kSection), mapSettingKey(MapField(f))));
        box->setObjectName(S(kBoxNames[f]));
        box->setMaxLength(4);
        box->setFixedWidth(70);
        boxes_[size_t(f)] = box;
        auto* label = new QLabel(mapFieldName(MapField(f)) + S(":"));
        label->setBuddy(box);
        form->addRow(label, box);
    }

    btnOK_ = new QPushButton(S("OK"));
    btnOK_->setObjectName(S("btnOK"));
    btnOK_->setDefault(true);
    btnCancel_ = namedButton(nullptr, S("btnCancel"), S("Cancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK_);
    buttons->addWidget(btnCancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fraMap);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(cmbECUmap_, &QComboBox::activated, this, &frmMapTData::cmbECUmap_Click);
    connect(btnOK_, &QPushButton::clicked, this, &frmMapTData::btnOK_Click);
    connect(btnCancel_, &QPushButton::clicked, this, &QWidget::close);
    closeOnEscape(this);
    nameForAccessibility(this);
}

MapAddressTexts frmMapTData::texts() const {
    MapAddressTexts t;
    for (size_t f = 0; f < t.size(); ++f)
        t[f] = boxes_[f]->text();
    return t;
}

void frmMapTData::cmbECUmap_Click(int index) {
    if (index < 0 || index >= int(mapPresets().size())) return;
    const MapPreset& p = mapPresets()[size_t(index)];
    for (size_t f = 0; f < boxes_.size(); ++f)
        boxes_[f]->setText(S(p.addresses[f]));
}

void frmMapTData::btnOK_Click() {
    const MapAddressTexts t = texts();
    if (const auto bad = firstInvalidEntry(t)) {
        dialogs_.message(this, invalidAddressMessage(*bad), MessageKind::Warning);
        boxes_[size_t(*bad)]->setFocus();
        return;
    }
    for (int f = 0; f < MapFieldCount; ++f)
        settings_.save(S(kSection), mapSettingKey(MapField(f)), t[size_t(f)]);
    accepted_ = true;
    close();
}

void frmMapTData::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closed(accepted_);
}

} // namespace kx
