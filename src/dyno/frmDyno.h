#pragma once
// The Dyno window: the pulls of one or more logs (or one recorded here), ticked to be drawn as
// power and torque against engine speed; the vehicle inputs beside the plot, kept in the
// settings; Export CSV and Export PNG.
#include "dyno/dyno.h"
#include "dyno/pull_recorder.h"
#include "live/live_state.h"
#include "logs/log_loading.h"
#include "ui/host.h"
#include "util/background.h"

#include <QWidget>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace kx {

class DynoPlot;
class DynoStream;

class frmDyno : public QWidget {
    Q_OBJECT
public:
    explicit frmDyno(const Host& host);
    ~frmDyno() override;

    // Reads a log and finds its pulls (on a thread of their own, one log after the other) and
    // lists its pulls, ticked; then `added` says whether it could be read and held any.
    void addLog(const QString& path, std::function<void(bool added)> added = {});
    // A log is being read or its pulls found, or curves are being worked out.
    bool isLoading() const {
        return load_ || analysis_ || (curvesJob_ && !curvesJob_->over()) || !queued_.empty();
    }
    void btnOpen_Click();
    void btnAnalyser_Click();
    void btnRecord_Click();
    void btnExportCsv_Click();
    void btnExportPng_Click();
    // One decoded frame of the recording stream.
    void takeSample(const PullRecorder::Sample& s);

    int pullCount() const { return int(pulls_.size()); }
    const DynoPlot* plot() const { return plot_; }
    const PullRecorder& recorder() const { return recorder_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Log {
        QString name;
        // Shared with the threads that work out the curves.
        std::shared_ptr<const std::vector<DynoSample>> samples;
    };
    // What a log's thread hands back: its samples and the pulls found in them.
    struct Analysis {
        DynoLog log;
        PullSearch found;
    };
    struct Listed {
        size_t log = 0;
        int number = 0; // within its log
        DynoPull pull;
        DynoCurve curve;
    };
    QDoubleSpinBox* input(const char* name, const QString& caption, double low, double high,
                          int decimals, double value);
    VehicleInputs inputs() const;
    void inputsChanged();
    void recompute();
    void showCurves();
    QString pullName(const Listed& l) const;
    void loadNext();
    void analyse(const QString& path, std::optional<LogData> data, std::function<void(bool)> added);
    bool logAnalysed(const QString& path, Analysis& a);
    void curvesDone(std::vector<DynoCurve>& curves);
    void finishRecording();
    void setStatus(const QString& text);
    QString folder() const;
    DynoUnits units() const { return DynoUnits{host_.state.units.mph}; }

    Host host_;
    std::vector<Log> logs_;
    std::vector<Listed> pulls_;
    PullRecorder recorder_;
    DynoStream* stream_;
    bool closing_ = false;
    struct Queued {
        QString path;
        std::function<void(bool)> added;
    };
    std::deque<Queued> queued_;
    std::unique_ptr<LogLoad> load_;
    std::unique_ptr<BackgroundJob<Analysis>> analysis_;
    std::unique_ptr<BackgroundJob<std::vector<DynoCurve>>> curvesJob_;
    QString folder_;

    QListWidget* lstPulls_;
    DynoPlot* plot_;
    std::array<QDoubleSpinBox*, kVehicleInputs.size()> inputBoxes_{}; // in the table's order
    QDoubleSpinBox* spnTemp_ = nullptr;
    QDoubleSpinBox* spnPressure_ = nullptr;
    QPushButton* btnOpen_;
    QPushButton* btnAnalyser_;
    QPushButton* btnRecord_;
    QPushButton* btnExportCsv_;
    QPushButton* btnExportPng_;
    QLabel* lblStatus_;
};

} // namespace kx
