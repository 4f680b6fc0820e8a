#include "settings/Form3.h"

#include "link/EcuLink.h"
#include "settings/settings_rules.h"
#include "ui/Dialogs.h"
#include "ui/ui_helpers.h"
#include "util/numbers.h"
#include "util/settings.h"
#include "util/text.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QVBoxLayout>

namespace kx {

namespace {

QLineEdit* lineEdit(const char* name, int maxLength = 32) {
    auto* e = new QLineEdit;
    e->setObjectName(S(name));
    e->setMaxLength(maxLength);
    return e;
}

QCheckBox* checkBox(const char* caption, const char* name) {
    auto* c = new QCheckBox(S(caption));
    c->setObjectName(S(name));
    return c;
}

// A port path too long for its box shows its start (the kind of device) and its end (which
// adapter), with the middle cut, until it is edited (a key or a click in it); the text itself
// stays whole.
class MiddleElidedEdit : public QLineEdit {
protected:
    void keyPressEvent(QKeyEvent* event) override {
        editing_ = true;
        QLineEdit::keyPressEvent(event);
    }
    void mousePressEvent(QMouseEvent* event) override {
        editing_ = true;
        QLineEdit::mousePressEvent(event);
    }
    void focusOutEvent(QFocusEvent* event) override {
        editing_ = false;
        QLineEdit::focusOutEvent(event);
    }
    void paintEvent(QPaintEvent* event) override {
        QStyleOptionFrame option;
        initStyleOption(&option);
        const QRect room = style()
                               ->subElementRect(QStyle::SE_LineEditContents, &option, this)
                               .adjusted(2, 0, -2, 0);
        if (editing_ || fontMetrics().horizontalAdvance(text()) <= room.width())
            return QLineEdit::paintEvent(event);
        QPainter p(this);
        style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &p, this);
        p.setPen(
            palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
        p.drawText(room, Qt::AlignVCenter | Qt::AlignLeft,
                   fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width()));
    }

private:
    bool editing_ = false;
};

bool storedOn(const Settings& settings, const char* section, const char* key) {
    const auto v = parseNumber(settings.read(S(section), S(key)));
    return v && *v == 1;
}
} // namespace

QComboBox* makePortField(const QString& objectName) {
    auto* c = new QComboBox;
    c->setObjectName(objectName);
    c->setEditable(true);
    c->setLineEdit(new MiddleElidedEdit);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setMinimumContentsLength(24);
    c->view()->setTextElideMode(Qt::ElideMiddle);
    // The whole path, however it is shown.
    QObject::connect(c, &QComboBox::editTextChanged, c, [c](const QString& text) {
        c->setToolTip(text);
        c->lineEdit()->setToolTip(text);
    });
    QStringList devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        devices << info.systemLocation();
    for (const QFileInfo& f :
         QDir(S("/dev/serial/by-id")).entryInfoList(QDir::System | QDir::Files))
        devices << f.absoluteFilePath();
    devices.removeDuplicates();
    devices.sort();
    c->addItems(devices);
    return c;
}

QString portFieldText(const QComboBox* field) {
    return field->currentText().trimmed();
}

void setPortFieldText(QComboBox* field, const QString& text) {
    field->setEditText(text);
}

Form3::Form3(const Host& host) : QWidget(host.window, Qt::Window), host_(host) {
    setObjectName(S("Form3"));
    setWindowTitle(S("Communication"));
    setAttribute(Qt::WA_DeleteOnClose);

    txtComPort_ = makePortField(S("txtComPort"));
    txtSpeed_ = lineEdit("txtSpeed", 7);
    txtRomComm_ = lineEdit("txtRomComm", 2);
    txtECUid_ = lineEdit("txtECUid", 2);
    chkOBDIImodel_ = checkBox("96 model z32", "chkOBDIImodel");
    chkAutoConnect_ = checkBox("Auto Connect to ECU", "chkAutoConnect");
    chkDebug_ = checkBox("Save Debug Data", "chkDebug");
    auto* btnECUfind = new QPushButton(S("Find ECU"));
    btnECUfind->setObjectName(S("btnECUfind"));
    connect(btnECUfind, &QPushButton::clicked, this, [this] { btnECUfind_Click(); });

    auto* ecu = new QGroupBox(S("ECU"));
    ecu->setObjectName(S("fraECU"));
    auto* ef = new QFormLayout(ecu);
    ef->addRow(S("COM Port :"), txtComPort_);
    ef->addRow(S("Port Speed:"), txtSpeed_);
    ef->addRow(S("Address read\ncommand (Hex):"), txtRomComm_);
    ef->addRow(S("ECU Id (Hex):"), txtECUid_);
    ef->addRow(chkOBDIImodel_);
    ef->addRow(chkAutoConnect_);
    ef->addRow(chkDebug_);
    ef->addRow(btnECUfind);

    txtComPort2_ = makePortField(S("txtComPort2"));
    txtSpeed2_ = lineEdit("txtSpeed2", 7);
    auto* wb = new QGroupBox(S("WBO2"));
    wb->setObjectName(S("fraWBO2"));
    auto* wf = new QFormLayout(wb);
    wf->addRow(S("COM Port :"), txtComPort2_);
    wf->addRow(S("Port Speed:"), txtSpeed2_);

    auto* buttons = saveCancelRow(this, [this] { btnSave_Click(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ecu);
    layout->addWidget(wb);
    layout->addLayout(buttons);

    fill();
    closeOnEscape(this);
    nameForAccessibility(this);
}

void Form3::fill() {
    auto& s = host_.settings;
    setPortFieldText(txtComPort_, s.read(S("Comms"), S("ComPort")));
    txtSpeed_->setText(s.read(S("Comms"), S("Speed")));
    txtRomComm_->setText(s.read(S("Comms"), S("RomComm")));
    txtECUid_->setText(s.read(S("Comms"), S("ECUid")));
    chkOBDIImodel_->setChecked(storedOn(host_.settings, "Comms", "OBDIImodel"));
    chkAutoConnect_->setChecked(storedOn(host_.settings, "Comms", "AutoConnect"));
    chkDebug_->setChecked(storedOn(host_.settings, "Comms", "Debug"));
    setPortFieldText(txtComPort2_, s.read(S("WBO2"), S("ComPort")));
    txtSpeed2_->setText(s.read(S("WBO2"), S("Speed")));
}

void Form3::btnSave_Click() {
    const CommsEntry e{portFieldText(txtComPort_), txtSpeed_->text(),           txtRomComm_->text(),
                       txtECUid_->text(),          portFieldText(txtComPort2_), txtSpeed2_->text()};
    if (const auto problem = checkCommsEntry(e)) {
        host_.dialogs.message(this, *problem, MessageKind::Warning);
        return;
    }
    auto& s = host_.settings;
    const auto flag = [](QCheckBox* c) { return c->isChecked() ? S("1") : S("0"); };
    s.save(S("Comms"), S("ComPort"), e.comPort);
    s.save(S("Comms"), S("Speed"), e.speed);
    s.save(S("Comms"), S("RomComm"), e.romComm);
    s.save(S("Comms"), S("OBDIImodel"), flag(chkOBDIImodel_));
    s.save(S("Comms"), S("AutoConnect"), flag(chkAutoConnect_));
    s.save(S("Comms"), S("ECUid"), e.ecuId);
    s.save(S("Comms"), S("Debug"), flag(chkDebug_));
    s.save(S("WBO2"), S("ComPort"), e.comPort2);
    s.save(S("WBO2"), S("Speed"), e.speed2);
    host_.launcher.setStatusBar();
    close();
}

QWidget* Form3::btnECUfind_Click() {
    // A window of the main window: closing these settings does not cut the search short. One
    // finder at a time, and only once the link is free.
    return host_.launcher.openEcuFinder();
}

} // namespace kx
