#pragma once
// The active test window: nine test groups with START and STOP, and "CLEAR SELF LEARN".
// Opening and closing it leaves the stream alone; a running test ends only by its STOP.
#include "ui/host.h"

#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace kx {

class frmActiveTest : public QWidget {
    Q_OBJECT
public:
    explicit frmActiveTest(const Host& host);

    // Group numbers in the window's order.
    enum Group {
        EngineTemp,
        AFBase,
        Timing,
        AAC,
        IACV,
        Cylinder,
        FuelPump,
        BaseIdle,
        VCT,
        GroupCount
    };
    void btnStart_Click(int group);
    void btnStop_Click(int group);
    void btnClearSL_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct TestGroup {
        uint8_t test = 0;
        QPushButton* start = nullptr;
        QPushButton* stop = nullptr;
        // The parameter byte from the group's controls; nothing when no value is chosen.
        std::function<std::optional<uint8_t>()> param;
    };
    QWidget* listGroup(int group, const char* caption, const char* shortName, const char* listName,
                       const char* suffix);
    QWidget* cylinderGroup();
    QWidget* onOffGroup(int group, const char* caption, const char* shortName, const char* onName,
                        const char* offName, const char* suffix);
    QWidget* baseIdleGroup();
    QWidget* buttonRow(int group, const char* shortName, const char* suffix, QWidget* box);
    void setIdle();
    void setRunning(int group);
    void setAllDisabled();
    void showStatus(const QString& text);
    // Runs a sequence when the link is free or carries live data; false (and says why) when
    // another tool holds it.
    bool runOnLink(LinkSequence sequence);

    Host host_;
    std::vector<TestGroup> groups_;
    std::vector<QCheckBox*> chcCylinder_;
    QPushButton* btnClearSL_ = nullptr;
    QLabel* lblStatus_ = nullptr;
};

} // namespace kx
