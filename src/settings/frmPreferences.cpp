#include "settings/frmPreferences.h"

#include "link/EcuLink.h"
#include "settings/settings_rules.h"
#include "ui/Dialogs.h"
#include "ui/ui_helpers.h"
#include "util/numbers.h"
#include "util/settings.h"
#include "util/text.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kx {

namespace {

QLineEdit* sizeBox(const char* name, const QString& accessible) {
    auto* e = new QLineEdit;
    e->setObjectName(S(name));
    e->setAccessibleName(accessible);
    e->setMaxLength(4);
    e->setMaximumWidth(60);
    return e;
}

// A stored list position; anything unreadable shows the first entry.
int storedIndex(const QString& text) {
    const auto v = parseWhole(text);
    return v && *v == 1 ? 1 : 0;
}
} // namespace

frmPreferences::frmPreferences(const Host& host) : QWidget(host.window, Qt::Window), host_(host) {
    setObjectName(S("frmPreferences"));
    setWindowTitle(S("Preferences"));
    setAttribute(Qt::WA_DeleteOnClose);

    cmbTemp_ = new QComboBox;
    cmbTemp_->setObjectName(S("cmbTemp"));
    cmbTemp_->addItems({S("Celsius"), S("Fahrenheit")});
    cmbTemp_->setAccessibleName(S("Temperature Unit"));
    auto* temp = new QGroupBox(S("Temperature Unit"));
    (new QVBoxLayout(temp))->addWidget(cmbTemp_);

    cmbSpeed_ = new QComboBox;
    cmbSpeed_->setObjectName(S("cmbSpeed"));
    cmbSpeed_->addItems({S("KPH"), S("MPH")});
    cmbSpeed_->setAccessibleName(S("Speed Unit"));
    auto* speed = new QGroupBox(S("Speed Unit"));
    (new QVBoxLayout(speed))->addWidget(cmbSpeed_);

    txtSwidth_ = sizeBox("txtSwidth", S("OEM width"));
    txtShight_ = sizeBox("txtShight", S("OEM aspect ratio"));
    txtSsize_ = sizeBox("txtSsize", S("OEM rim diameter"));
    txtUwidth_ = sizeBox("txtUwidth", S("Current width"));
    txtUhight_ = sizeBox("txtUhight", S("Current aspect ratio"));
    txtUsize_ = sizeBox("txtUsize", S("Current rim diameter"));
    auto* tyre = new QGroupBox(S("Tyre Size Speed Correction"));
    auto* g = new QGridLayout(tyre);
    g->addWidget(new QLabel(S("W")), 0, 1, Qt::AlignHCenter);
    g->addWidget(new QLabel(S("H")), 0, 2, Qt::AlignHCenter);
    g->addWidget(new QLabel(S("D")), 0, 3, Qt::AlignHCenter);
    g->addWidget(new QLabel(S("OEM size:")), 1, 0);
    g->addWidget(txtSwidth_, 1, 1);
    g->addWidget(txtShight_, 1, 2);
    g->addWidget(txtSsize_, 1, 3);
    g->addWidget(new QLabel(S("Current size:")), 2, 0);
    g->addWidget(txtUwidth_, 2, 1);
    g->addWidget(txtUhight_, 2, 2);
    g->addWidget(txtUsize_, 2, 3);

    auto* buttons = saveCancelRow(this, [this] { btnSave_Click(); });

    auto* units = new QHBoxLayout;
    units->addWidget(temp);
    units->addWidget(speed);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(units);
    layout->addWidget(tyre);
    layout->addLayout(buttons);

    auto& s = host_.settings;
    cmbSpeed_->setCurrentIndex(storedIndex(s.read(S("Preferences"), S("Speed"))));
    cmbTemp_->setCurrentIndex(storedIndex(s.read(S("Preferences"), S("Temperature"))));
    txtSwidth_->setText(s.read(S("TyreSize"), S("Swidth")));
    txtShight_->setText(s.read(S("TyreSize"), S("Shight")));
    txtSsize_->setText(s.read(S("TyreSize"), S("Ssize")));
    txtUwidth_->setText(s.read(S("TyreSize"), S("Uwidth")));
    txtUhight_->setText(s.read(S("TyreSize"), S("Uhight")));
    txtUsize_->setText(s.read(S("TyreSize"), S("Usize")));

    closeOnEscape(this);
    nameForAccessibility(this);
}

void frmPreferences::btnSave_Click() {
    const TyreSize oem{txtSwidth_->text(), txtShight_->text(), txtSsize_->text()};
    const TyreSize current{txtUwidth_->text(), txtUhight_->text(), txtUsize_->text()};
    if (!isValidTyre(oem) || !isValidTyre(current)) {
        host_.dialogs.message(this, S("Invalid tyre size"), MessageKind::Warning);
        return;
    }
    auto& s = host_.settings;
    s.save(S("TyreSize"), S("Correction"), singleText(speedCorrection(oem, current)));
    s.save(S("TyreSize"), S("Swidth"), oem.width);
    s.save(S("TyreSize"), S("Shight"), oem.aspect);
    s.save(S("TyreSize"), S("Ssize"), oem.rim);
    s.save(S("TyreSize"), S("Uwidth"), current.width);
    s.save(S("TyreSize"), S("Uhight"), current.aspect);
    s.save(S("TyreSize"), S("Usize"), current.rim);
    s.save(S("Preferences"), S("Speed"), QString::number(cmbSpeed_->currentIndex()));
    s.save(S("Preferences"), S("Temperature"), QString::number(cmbTemp_->currentIndex()));
    host_.launcher.setStatusBar();
    close();
}

} // namespace kx
