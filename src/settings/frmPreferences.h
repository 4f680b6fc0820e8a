#pragma once
// Units and the tyre-size speed correction.
#include <QWidget>

class QComboBox;
class QLineEdit;

namespace kx {

class Form2;

class frmPreferences : public QWidget {
    Q_OBJECT
public:
    explicit frmPreferences(Form2& main);
    void btnSave_Click();

private:
    Form2& main_;
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
