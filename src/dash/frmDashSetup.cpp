#include "dash/frmDashSetup.h"

#include "dash/dashboard.h"
#include "ui/Dialogs.h"
#include "ui/ui_helpers.h"
#include "util/numbers.h"
#include "util/settings.h"
#include "util/text.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kx {

frmDashSetup::frmDashSetup(const Host& host) : QWidget(host.window, Qt::Window), host_(host) {
    setObjectName(S("frmDashSetup"));
    setWindowTitle(S("Dashboard Settings"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* gauges = new QHBoxLayout;
    for (int i = 0; i < 2; ++i) {
        auto* frame = new QGroupBox(S("Gauge ") + QString::number(i + 1));
        auto* list = new QComboBox;
        list->setObjectName(S("cmbGauge") + QString::number(i));
        const QStringList& items = dashSetupItems();
        for (int g = 0; g < items.size(); ++g)
            list->addItem(items[g], g);
        // The stored gauge number is the position in the list; anything else selects nothing.
        const auto stored =
            parseWhole(host_.settings.read(S("Dashboard"), S("Gauge") + QString::number(i)));
        list->setCurrentIndex(stored && *stored >= 0 && *stored < items.size() ? int(*stored) : -1);
        (new QVBoxLayout(frame))->addWidget(list);
        cmbGauge_[size_t(i)] = list;
        gauges->addWidget(frame);
    }

    auto* alerts = new QGroupBox(S("Alerts - enter value"));
    txtRPM_ = new QLineEdit(host_.settings.read(S("Dashboard"), S("RPM")));
    txtRPM_->setObjectName(S("txtRPM"));
    txtSpeed_ = new QLineEdit(host_.settings.read(S("Dashboard"), S("Speed")));
    txtSpeed_->setObjectName(S("txtSpeed"));
    auto* form = new QFormLayout(alerts);
    form->addRow(S("RPM :"), txtRPM_);
    form->addRow(S("Speed :"), txtSpeed_);

    auto* buttons = saveCancelRow(this, [this] { btnSave_Click(); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(gauges);
    layout->addWidget(alerts);
    layout->addLayout(buttons);
    closeOnEscape(this);
    nameForAccessibility(this);
}

void frmDashSetup::btnSave_Click() {
    if (!validRpmText(txtRPM_->text())) {
        host_.dialogs.message(this, S("Invalid RPM entered"), MessageKind::Warning);
        return;
    }
    if (!validSpeedText(txtSpeed_->text())) {
        host_.dialogs.message(this, S("Invalid Speed entered"), MessageKind::Warning);
        return;
    }
    for (int i = 0; i < 2; ++i) {
        const QComboBox* list = cmbGauge_[size_t(i)];
        if (list->currentIndex() < 0) {
            host_.dialogs.message(this, S("Please select parameter for every gauge"));
            return;
        }
        host_.settings.save(S("Dashboard"), S("Gauge") + QString::number(i),
                            QString::number(list->currentData().toInt()));
    }
    host_.settings.save(S("Dashboard"), S("RPM"), txtRPM_->text());
    host_.settings.save(S("Dashboard"), S("Speed"), txtSpeed_->text());
    host_.launcher.getSetup();
    close();
}

} // namespace kx
