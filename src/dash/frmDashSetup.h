#pragma once
// The dashboard set-up: the parameters of the two dials and the two alert limits.
#include "ui/host.h"

#include <QWidget>
#include <array>

class QComboBox;
class QLineEdit;

namespace kx {

class frmDashSetup : public QWidget {
    Q_OBJECT
public:
    explicit frmDashSetup(const Host& host);

    // Validates, stores, rebuilds the selections and closes; stays open on refused input.
    void btnSave_Click();

private:
    Host host_;
    std::array<QComboBox*, 2> cmbGauge_{};
    QLineEdit* txtRPM_;
    QLineEdit* txtSpeed_;
};

} // namespace kx
