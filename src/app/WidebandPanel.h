#pragma once
// The main window's WBO2 tab: the wideband controller's figure, version and state, its
// "Connect" and "AFR Display" buttons, and its activity bar.
#include "wideband/WbLink.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace kx {

class ActivityBar;
class Settings;

class WidebandPanel : public QWidget {
    Q_OBJECT
public:
    WidebandPanel(WbLink& link, Settings& settings, QWidget* parent = nullptr);

    // "Connect": the figures cleared, then the handshake from its start.
    void connectClicked();
    // The controller streams and a frame came since it started: "AFR Display" is enabled.
    bool afrEnabled() const;
    void step();

signals:
    void afrDisplayClicked();
    // A frame was shown (the AFR window follows it).
    void measured();
    // What the link is doing when it is not streaming; `notLive`: the ratio is stale.
    void noteChanged(const QString& note, bool notLive);

private:
    void onState(WbLink::State state);
    void onMeasured(const wb::Frame& frame);

    WbLink& link_;
    Settings& settings_;
    QPushButton* btnAFR_ = nullptr;
    QPushButton* btnConnect2_ = nullptr;
    QLabel* lblAFR_ = nullptr;
    QLabel* lblROMver_ = nullptr;
    QLabel* lblWbStatus_ = nullptr;
    ActivityBar* ProgressBar2_ = nullptr;
};

} // namespace kx
