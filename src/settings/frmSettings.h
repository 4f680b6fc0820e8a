#pragma once
// The data-display settings: the gauge of each of the twelve display slots, the switch
// registers in the live-data stream, and the way into the live register test.
#include "ui/host.h"
#include <QWidget>
#include <array>
#include <vector>

class QCheckBox;
class QComboBox;
class QPushButton;

namespace kx {

class frmSettings : public QWidget {
    Q_OBJECT
public:
    explicit frmSettings(const Host& host);

    void btnSave_Click();
    // Stops the stream and opens the register test (or shows the one already open).
    QWidget* btnActTest_Click(); // the register test window

    // The lists offer these gauge numbers; a slot keeps its choice when it is still offered
    // and has none otherwise.
    void setGaugeChoices(const std::vector<int>& gauges);
    QComboBox* cmbGauge(int k) const { return cmbGauge_[size_t(k)]; }

private:
    Host host_;
    std::array<QComboBox*, 12> cmbGauge_{};
    std::array<QCheckBox*, 4> chkReg_{};
    QPushButton* btnActTest_ = nullptr;
};

} // namespace kx
