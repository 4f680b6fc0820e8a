#pragma once
// The AFR window: the wideband air/fuel ratio on a dial fixed at 10 to 20, a scrolling graph of
// the last 80 values, and the controller's sensor and heater status texts.
#include "gauges/display_colours.h"
#include "ui/host.h"

#include <QWidget>
#include <memory>

class QLabel;

namespace kx {

class GaugePicture;
class Graph;
class NeedleLine;
class SpeedometerGauge;
struct Wbo2Layout;

class frmWBO2 : public QWidget {
    Q_OBJECT
public:
    explicit frmWBO2(const Host& host);
    ~frmWBO2() override;

    // Shows the latest wbValues: dial, graph point, status texts.
    void WBO2show();
    // The wideband link is lost (non-empty: why) or back (empty).
    void setLinkNote(const QString& note);

    Graph* graph() const { return Graph1_; }
    SpeedometerGauge* gauge() const { return gauge_.get(); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layoutWindow();
    void setupDial();
    void placeStatus(const Wbo2Layout& l);

    Host host_;
    DisplayColours colours_;
    GaugePicture* picGauge_;
    NeedleLine* Line1_;
    QLabel* lblMax_;
    QLabel* lblValue_;
    QLabel* lblName_;
    Graph* Graph1_;
    QLabel* lblWlable_;
    QLabel* lblHlable_;
    QLabel* lblwPID_;
    QLabel* lblhPID_;
    QLabel* lblLink_;
    std::unique_ptr<SpeedometerGauge> gauge_;
};

} // namespace kx
