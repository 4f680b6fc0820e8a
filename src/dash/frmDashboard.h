#pragma once
// The dashboard: two large dials of any two parameters and, beneath them, the engine-speed and
// road-speed alert lamps that flash and beep while a limit is passed.
#include "dash/dashboard.h"
#include "gauges/SpeedometerGauge.h"
#include "gauges/display_colours.h"
#include "live/stream_tap.h"
#include "ui/host.h"
#include "util/throttle.h"

#include <QWidget>
#include <array>
#include <memory>
#include <optional>

class QLabel;

namespace kx {

class GaugePicture;
class NeedleLine;

class frmDashboard : public QWidget {
    Q_OBJECT
public:
    // Asks for the link; once granted, the dashboard stream starts (receive mode 15).
    explicit frmDashboard(const Host& host);
    ~frmDashboard() override;

    // Runs the alert lamps and pushes the current values into the dials (after every delivery).
    // The lamps change with every frame; the dials are redrawn at most kDialPaintMs apart,
    // always with the latest values, since frames come faster than a screen shows them.
    void setDashDisplay();
    static constexpr int kDialPaintMs = 25;

    GaugePicture* picGauge(int i) const { return pictures_[size_t(i)]; }
    QLabel* lblValue(int i) const { return valueLabels_[size_t(i)]; }
    QWidget* sqAlert(int i) const { return lamps_[size_t(i)]; }
    QLabel* lblAlert(int i) const { return captions_[size_t(i)]; }
    // The lamp's fill, 0x00BBGGRR.
    uint32_t lampFill(int i) const { return fill_[size_t(i)]; }
    // What the window says about its values when they are not live ("" while they are).
    QString linkNote() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The set-up as it stands becomes the stream's: request, names, scales and decoding.
    void takeSnapshot();
    void layoutWindow();
    void setupDial(int i);
    void setLamp(int i, uint32_t colour);
    // Lamps dark and a note over the dials: the values are not live.
    void showLinkNote(const QString& text);
    void placeLinkNote();
    // Dials greyed with "--" for their figures while no value of theirs is live (the window
    // waits for the link); their own colours again once the stream is theirs.
    void setStale(bool stale);
    void showFrame(const FrameReadings& readings);
    void showDials();

    Host host_;
    DashStream stream_; // what the running stream was armed with
    // A value no engine could reach from the frames either side is never shown or alerted on.
    StreamTap tap_;
    DisplayColours colours_;
    std::optional<int16_t> rpmLimit_, speedLimit_;
    std::array<GaugePicture*, 2> pictures_{};
    std::array<NeedleLine*, 2> needles_{};
    std::array<QLabel*, 2> maxLabels_{}, valueLabels_{}, nameLabels_{};
    std::array<QWidget*, 2> lamps_{};
    std::array<QLabel*, 2> captions_{};
    std::array<uint32_t, 2> fill_{};
    std::array<std::unique_ptr<SpeedometerGauge>, 2> gauges_;
    QLabel* lblLink_;
    bool stale_ = false;
    Throttle dials_{kDialPaintMs, [this] { showDials(); }};
};

} // namespace kx
