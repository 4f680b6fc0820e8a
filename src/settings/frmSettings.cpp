#include "settings/frmSettings.h"

#include "link/EcuLink.h"
#include "live/gauge_setup.h"
#include "settings/display_settings.h"
#include "ui/Dialogs.h"
#include "ui/ui_helpers.h"
#include "util/text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kx {

namespace {
constexpr int kColumns = 3;
} // namespace

frmSettings::frmSettings(const Host& host) : QWidget(host.window, Qt::Window), host_(host) {
    setObjectName(S("frmSettings"));
    setWindowTitle(S("Data Display Settings"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* gauges = new QGridLayout;
    for (int k = 0; k < kDisplaySlots; ++k) {
        const QString title = S("Gauge ") + QString::number(k + 1);
        auto* frame = new QGroupBox(title);
        frame->setObjectName(S("fraGauge") + QString::number(k));
        auto* list = new QComboBox;
        list->setObjectName(S("cmbGauge") + QString::number(k));
        list->setAccessibleName(title);
        list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        (new QVBoxLayout(frame))->addWidget(list);
        gauges->addWidget(frame, k / kColumns, k % kColumns);
        cmbGauge_[size_t(k)] = list;
    }

    const char* regCaptions[] = {"Register 13", "Register 1E", "Register 1F", "Register 21"};
    auto* registers = new QGroupBox(S("Registers"));
    registers->setObjectName(S("fraRegisters"));
    auto* rl = new QHBoxLayout(registers);
    for (int i = 0; i < kSwitchFlagCount; ++i) {
        auto* c = new QCheckBox(S(regCaptions[i]));
        c->setObjectName(S("chkReg") + QString::number(i));
        rl->addWidget(c);
        chkReg_[size_t(i)] = c;
    }
    rl->addStretch();

    btnActTest_ = new QPushButton(S("Test for live registers"));
    btnActTest_->setObjectName(S("btnActTest"));
    auto* note = new QLabel(S("* The test takes about 15 seconds at 9600 baud"));
    note->setObjectName(S("lblNote"));
    connect(btnActTest_, &QPushButton::clicked, this, [this] { btnActTest_Click(); });

    auto* bottom = saveCancelRow(this, [this] { btnSave_Click(); });
    bottom->insertWidget(0, btnActTest_);
    bottom->insertWidget(1, note);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(gauges);
    layout->addWidget(registers);
    layout->addLayout(bottom);

    std::vector<int> all;
    for (int g = 0; g < kGaugeCount; ++g)
        all.push_back(g);
    const DisplaySelectionEntry stored = loadDisplaySelection(host_.settings);
    for (int k = 0; k < kDisplaySlots; ++k) {
        QComboBox* list = cmbGauge_[size_t(k)];
        for (int g : all)
            list->addItem(gaugeListName(g), g);
        const auto& slot = stored.gauges[size_t(k)];
        list->setCurrentIndex(slot ? list->findData(*slot) : -1);
    }
    for (int i = 0; i < kSwitchFlagCount; ++i)
        chkReg_[size_t(i)]->setChecked(stored.registers[size_t(i)]);
    btnActTest_->setEnabled(host_.link.connected());

    closeOnEscape(this);
    nameForAccessibility(this);
}

void frmSettings::setGaugeChoices(const std::vector<int>& gauges) {
    for (QComboBox* list : cmbGauge_) {
        const QVariant chosen = list->currentData();
        list->clear();
        for (int g : gauges)
            list->addItem(gaugeListName(g), g);
        list->setCurrentIndex(chosen.isValid() ? list->findData(chosen) : -1);
    }
}

void frmSettings::btnSave_Click() {
    DisplaySelectionEntry entry;
    for (int k = 0; k < kDisplaySlots; ++k) {
        const QVariant g = cmbGauge_[size_t(k)]->currentData();
        if (g.isValid()) entry.gauges[size_t(k)] = g.toInt();
    }
    for (int i = 0; i < kSwitchFlagCount; ++i)
        entry.registers[size_t(i)] = chkReg_[size_t(i)]->isChecked();
    if (const auto problem = saveDisplaySelection(host_.settings, entry)) {
        host_.dialogs.message(this, *problem, MessageKind::Warning);
        return;
    }
    host_.launcher.getSetup();
    close();
}

QWidget* frmSettings::btnActTest_Click() {
    // A window of the main window, so that closing these settings does not cut the test short;
    // it starts once the link is free.
    QPointer<frmSettings> self(this);
    return host_.launcher.openRegTest([self](const std::vector<int>& gauges) {
        if (self) self->setGaugeChoices(gauges);
    });
}

} // namespace kx
