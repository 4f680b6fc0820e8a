#pragma once
// The speed trial window: 0-60, 0-100, 50-100, 0 to a custom speed and a custom band, timed
// from the road speed that the ECU streams while the window is open.
#include "live/stream_tap.h"
#include "trial/time_trial.h"
#include "ui/host.h"

#include <QWidget>
#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kx {

class frmTimeTrial : public QWidget {
    Q_OBJECT
public:
    // Asks for the link; once granted, the speed stream starts (receive mode 5).
    explicit frmTimeTrial(const Host& host);

    void btnStart_Click();
    void btnCancel_Click();
    // One speed sample, of a frame that came at `at` (ticks).
    void checkSpeed(float speed, uint32_t at);
    const TimeTrial& trial() const { return trial_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showResult(int i);
    void setEditable(bool editable);

    Host host_;
    TimeTrial trial_;
    // A speed no car could reach from the frames either side is never timed.
    StreamTap tap_;
    QLabel* lblSpeed_;
    QPushButton* btnStart_;
    QPushButton* btnCancel_;
    std::array<QLabel*, kTrialCount> lblTime_{};
    std::array<QCheckBox*, kTrialCount> chcTime_{};
    QLineEdit* txtCustomSpeed_;
    QLineEdit* txtCustomStart_;
    QLineEdit* txtCustomStop_;
    QLabel* lblMsg_;
    QLabel* lblLink_;
};

} // namespace kx
