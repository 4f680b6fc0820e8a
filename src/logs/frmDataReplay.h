#pragma once
// The data replay: plays a log back through the data display's dials and indicators, record by
// record at a chosen delay, with a slider to jump to any record.
#include "logs/log_loading.h"
#include "logs/log_reader.h"
#include "logs/replay_logic.h"
#include "ui/host.h"

#include <QString>
#include <QWidget>

#include <cstdint>

class QComboBox;
class QGroupBox;
class QLabel;
class QTimer;
class QProgressBar;
class QPushButton;
class QScrollBar;

namespace kx {

class GaugeGrid;

class frmDataReplay : public QWidget {
    Q_OBJECT
public:
    explicit frmDataReplay(const Host& host);
    ~frmDataReplay() override;

    // The handlers, by control.
    void btnBrowse_Click();
    void btnPlay_Click(); // returns when playback ends (Stop, record N, or the window closing)
    void btnStop_Click();
    void scrollBar1_Change(int value);
    void scrollBar2_Change(int value);
    void cmbSpeed_Change(int index); // a timed log's speed
    // Shows the current record on the dials and indicators.
    void setDataDisplay();
    void getColours();

    // State, for tests.
    GaugeGrid& grid() { return *grid_; }
    int64_t records() const { return data_.recordCount(); }
    int64_t currentRecord() const { return current_; }
    int64_t sliderScale() const { return scale_; }
    bool isPlaying() const { return playing_; }
    // The log's times pace the replay (else the delay slider does).
    bool isTimed() const { return clock_.timed(); }
    bool isLoading() const { return load_ && load_->running(); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildUi();
    void layoutWindow();
    void reset();
    // A log has been read (nothing: it could not be).
    void loaded(std::optional<LogData> data);
    void setupGaugeSlots();
    void showPlaying(bool playing);
    // One record of playback; the timer brings the next after the chosen delay.
    void playStep();
    // The slider and the time read-out at the current record, the record shown.
    void showRecord();
    double speed() const;

    Host host_;
    GaugeGrid* grid_ = nullptr;
    LogData data_;
    int64_t current_ = 1;
    int64_t scale_ = 1;
    bool playing_ = false;
    QTimer* playTimer_ = nullptr;
    ReplayClock clock_;
    std::unique_ptr<LogLoad> load_;
    uint32_t windowColour_ = 0;

    QGroupBox* fraPosition_ = nullptr;
    QScrollBar* scrollBar1_ = nullptr;
    QProgressBar* prgLoad_ = nullptr;
    QGroupBox* fraSpeed_ = nullptr;
    QScrollBar* scrollBar2_ = nullptr;
    QComboBox* cmbSpeed_ = nullptr;
    QLabel* lblTime_ = nullptr;
    QPushButton* btnPlay_ = nullptr;
    QPushButton* btnStop_ = nullptr;
    QPushButton* btnBrowse_ = nullptr;
};

} // namespace kx
