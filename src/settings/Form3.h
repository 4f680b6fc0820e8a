#pragma once
// The communication settings: ports and speeds of both links, ECU id, memory read command,
// model, auto-connect and the debug trace.
#include "ui/host.h"
#include <QPointer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace kx {

// An editable port list: takes a port number or a device path, and offers the serial devices
// present on this machine.
QComboBox* makePortField(const QString& objectName);
QString portFieldText(const QComboBox* field);
void setPortFieldText(QComboBox* field, const QString& text);

class Form3 : public QWidget {
    Q_OBJECT
public:
    explicit Form3(const Host& host);

    void btnSave_Click();
    // Stops the stream and opens the ECU finder, which starts its search at once.
    QWidget* btnECUfind_Click(); // the ECU finder window

private:
    void fill();

    Host host_;
    QComboBox* txtComPort_;
    QLineEdit* txtSpeed_;
    QLineEdit* txtRomComm_;
    QLineEdit* txtECUid_;
    QCheckBox* chkOBDIImodel_;
    QCheckBox* chkAutoConnect_;
    QCheckBox* chkDebug_;
    QComboBox* txtComPort2_;
    QLineEdit* txtSpeed2_;
};

} // namespace kx
