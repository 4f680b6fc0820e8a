#pragma once
// Units and the tyre-size speed correction.
#include "ui/host.h"
#include <QWidget>

class QComboBox;
class QLineEdit;

namespace kx {

class frmPreferences : public QWidget {
    Q_OBJECT
public:
    explicit frmPreferences(const Host& host);
    void btnSave_Click();

private:
    Host host_;
    QComboBox* cmbTemp_;
    QComboBox* cmbSpeed_;
    QLineEdit* txtSwidth_;
    QLineEdit* txtShight_;
    QLineEdit* txtSsize_;
    QLineEdit* txtUwidth_;
    QLineEdit* txtUhight_;
    QLineEdit* txtUsize_;
};

} // namespace kx
