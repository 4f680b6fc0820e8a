#pragma once
// The map trace's set-up: a preset list and the six addresses the trace reads. OK saves them and
// the trace window starts from the stored settings; Cancel, Esc or the close box cancel: nothing
// is saved and nothing starts.
#include "tools/map_trace.h"

#include <QWidget>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace kx {

class Dialogs;
class Settings;

class frmMapTData : public QWidget {
    Q_OBJECT
public:
    // A window of its own, kept above `owner`.
    frmMapTData(QWidget* owner, Settings& settings, Dialogs& dialogs);

    // Checks the six boxes in order; the first refused one says so and nothing else happens.
    // Otherwise saves them and closes.
    void btnOK_Click();
    // A preset fills the six boxes, nothing else.
    void cmbECUmap_Click(int index);

signals:
    void closed(bool accepted);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    MapAddressTexts texts() const;

    Settings& settings_;
    Dialogs& dialogs_;
    QComboBox* cmbECUmap_;
    std::array<QLineEdit*, MapFieldCount> boxes_{};
    QPushButton* btnOK_;
    QPushButton* btnCancel_;
    bool accepted_ = false;
};

} // namespace kx
