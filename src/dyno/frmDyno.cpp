#include "dyno/frmDyno.h"

#include "dyno/DynoPlot.h"
#include "dyno/dyno_stream.h"
#include "logs/analyser_plot.h"
#include "logs/frmLogAnalyzer.h"
#include "logs/log_format.h"
#include "ui/Dialogs.h"
#include "ui/link_claim.h"
#include "ui/ui_helpers.h"
#include "util/colour.h"
#include "util/settings.h"
#include "util/text.h"
#include "util/user_file.h"

#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace kx {

namespace {
const char* const kCsvFilter = "CSV Files|*.csv|All Files|*.*";

QPushButton* button(const char* caption, const char* name) {
    auto* b = new QPushButton(S(caption));
    b->setObjectName(S(name));
    return b;
}
} // namespace

frmDyno::frmDyno(const Host& host) : QWidget(host.window, Qt::Window), host_(host) {
    setObjectName(S("frmDyno"));
    setWindowTitle(S("Dyno"));
    setAttribute(Qt::WA_DeleteOnClose);

    lstPulls_ = new QListWidget;
    lstPulls_->setObjectName(S("lstPulls"));
    lstPulls_->setAccessibleName(S("Pulls"));
    lstPulls_->setMinimumWidth(260);
    lstPulls_->setWordWrap(true);
    connect(lstPulls_, &QListWidget::itemChanged, this, [this] { showCurves(); });
    btnOpen_ = button("Open Logs...", "btnOpen");
    btnAnalyser_ = button("Analyser's Log", "btnAnalyser");
    btnRecord_ = button("Record a Pull", "btnRecord");
    btnExportCsv_ = button("Export CSV...", "btnExportCsv");
    btnExportPng_ = button("Export PNG...", "btnExportPng");
    connect(btnOpen_, &QPushButton::clicked, this, &frmDyno::btnOpen_Click);
    connect(btnAnalyser_, &QPushButton::clicked, this, &frmDyno::btnAnalyser_Click);
    connect(btnRecord_, &QPushButton::clicked, this, &frmDyno::btnRecord_Click);
    connect(btnExportCsv_, &QPushButton::clicked, this, &frmDyno::btnExportCsv_Click);
    connect(btnExportPng_, &QPushButton::clicked, this, &frmDyno::btnExportPng_Click);

    auto* left = new QVBoxLayout;
    auto* pullsCaption = new QLabel(S("P&ulls (tick to draw)"));
    pullsCaption->setBuddy(lstPulls_);
    left->addWidget(pullsCaption);
    left->addWidget(lstPulls_, 1);
    for (QPushButton* b : {btnOpen_, btnAnalyser_, btnRecord_, btnExportCsv_, btnExportPng_})
        left->addWidget(b);

    plot_ = new DynoPlot;

    const VehicleInputs stored = readVehicleInputs(host_.settings);
    auto* vehicle = new QGroupBox(S("Vehicle"));
    auto* form = new QFormLayout(vehicle);
    const auto row = [&](QDoubleSpinBox* box, const QString& caption) {
        auto* label = new QLabel(caption);
        label->setBuddy(box);
        form->addRow(label, box);
    };
    for (size_t k = 0; k < kVehicleInputs.size(); ++k) {
        const VehicleInput& i = kVehicleInputs[k];
        inputBoxes_[k] =
            input(i.control, vehicleInputCaption(i), i.low, i.high, i.decimals, stored.*i.field);
        row(inputBoxes_[k], vehicleInputLabel(i));
        connect(inputBoxes_[k], &QDoubleSpinBox::valueChanged, this, &frmDyno::inputsChanged);
        // The density can come from the air's temperature and pressure, which are not kept.
        if (i.field == &VehicleInputs::rho) {
            QDoubleSpinBox* rho = inputBoxes_[k];
            row(spnTemp_ = input("spnTemp", QStringLiteral("Air temperature (°C)"), -40, 60, 1, 20),
                QStringLiteral("Air &temperature (°C)"));
            row(spnPressure_ = input("spnPressure", S("Air pressure (hPa)"), 500, 1100, 1, 1013.25),
                S("Air &pressure (hPa)"));
            auto* btnAir = button("Density from Temperature and Pressure", "btnAirDensity");
            connect(btnAir, &QPushButton::clicked, this, [this, rho] {
                rho->setValue(airDensity(spnTemp_->value(), spnPressure_->value()));
            });
            form->addRow(btnAir);
        }
    }
    auto* note = new QLabel(S("0 % loss: power at the wheels."));
    note->setWordWrap(true);
    form->addRow(note);

    lblStatus_ = new QLabel;
    lblStatus_->setObjectName(S("lblStatus"));
    lblStatus_->setWordWrap(true);
    showsValue(lblStatus_, S("Dyno"));

    auto* middle = new QHBoxLayout;
    middle->addLayout(left);
    middle->addWidget(plot_, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(vehicle);
    right->addStretch();
    middle->addLayout(right);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(middle, 1);
    layout->addWidget(lblStatus_);

    stream_ = new DynoStream(host_, this);
    stream_->sample = [this](const PullRecorder::Sample& s) { takeSample(s); };
    stream_->silence = [this](bool silent, const QString& why) {
        if (!silent) return setStatus(S("Recording: frames come again."));
        recorder_.markGap();
        setStatus(why + S(": the pull keeps the gap, marked, and is not smoothed over it."));
    };
    stream_->waiting = [this](const QString& holder) {
        setStatus(holder.isEmpty() ? S("Waiting for full throttle...")
                                   : waitingNote(holder, S("Record a Pull")));
    };
    stream_->availableChanged = [this] {
        btnRecord_->setEnabled(stream_->available() || stream_->running());
    };
    stream_->availableChanged();

    closeOnEscape(this);
    nameForAccessibility(this);
    resize(1100, 620);
    showCurves();
}

frmDyno::~frmDyno() = default;

QDoubleSpinBox* frmDyno::input(const char* name, const QString& caption, double low, double high,
                               int decimals, double value) {
    auto* box = new QDoubleSpinBox;
    box->setObjectName(S(name));
    box->setAccessibleName(caption);
    box->setRange(low, high);
    box->setDecimals(decimals);
    box->setSingleStep(std::pow(10.0, 1 - decimals)); // 10 kg, 0.01 m², 0.001, 1 %
    box->setValue(value);
    // Numbers always with "." in this window, as in the files it writes.
    box->setLocale(QLocale::c());
    return box;
}

VehicleInputs frmDyno::inputs() const {
    VehicleInputs in;
    for (size_t k = 0; k < kVehicleInputs.size(); ++k)
        in.*kVehicleInputs[k].field = inputBoxes_[k]->value();
    return in;
}

void frmDyno::inputsChanged() {
    const VehicleInputs in = inputs();
    if (!vehicleInputsProblem(in).isEmpty()) return;
    saveVehicleInputs(host_.settings, in);
    recompute();
}

void frmDyno::recompute() {
    // The curves of every pull with the inputs as they are now, off the window's thread; a job
    // still running for older inputs is stopped and its result never shown.
    std::vector<std::pair<std::shared_ptr<const std::vector<DynoSample>>, DynoPull>> work;
    for (const Listed& l : pulls_)
        work.emplace_back(logs_[l.log].samples, l.pull);
    curvesJob_ = std::make_unique<BackgroundJob<std::vector<DynoCurve>>>(
        this,
        [work = std::move(work), in = inputs()](std::stop_token stop,
                                                const std::function<void(double)>&) {
            std::vector<DynoCurve> curves;
            for (const auto& [samples, pull] : work) {
                if (stop.stop_requested()) break;
                curves.push_back(dynoCurve(*samples, pull, in));
            }
            return curves;
        },
        [this](std::vector<DynoCurve>& curves) { curvesDone(curves); });
}

void frmDyno::curvesDone(std::vector<DynoCurve>& curves) {
    if (curves.size() != pulls_.size()) return; // pulls were added since: a newer job follows
    const QSignalBlocker quiet(lstPulls_);
    for (size_t k = 0; k < pulls_.size(); ++k) {
        Listed& l = pulls_[k];
        l.curve = std::move(curves[k]);
        lstPulls_->item(int(k))->setText(pullName(l) + S(": ") + peaksText(l.curve, units()) +
                                         (l.pull.marked() ? S(" (gap: marked)") : QString()));
    }
    showCurves();
}

QString frmDyno::pullName(const Listed& l) const {
    return S("%1 #%2").arg(logs_[l.log].name).arg(l.number);
}

void frmDyno::showCurves() {
    std::vector<DynoPlot::Curve> curves;
    for (size_t k = 0; k < pulls_.size(); ++k) {
        if (lstPulls_->item(int(k))->checkState() != Qt::Checked) continue;
        curves.push_back({pullName(pulls_[k]), colourFromBgr(analyserSeriesColour(int(k) % 12)),
                          pulls_[k].curve});
    }
    plot_->setCurves(std::move(curves), units());
    const bool any = !plot_->curves().empty();
    btnExportCsv_->setEnabled(any);
    btnExportPng_->setEnabled(any);
}

void frmDyno::addLog(const QString& path, std::function<void(bool)> added) {
    if (closing_) return;
    queued_.push_back({path, std::move(added)});
    loadNext();
}

void frmDyno::loadNext() {
    if (load_ || analysis_ || queued_.empty() || closing_) return;
    Queued next = std::move(queued_.front());
    queued_.pop_front();
    load_ = std::make_unique<LogLoad>(host_, this, next.path,
                                      [this, next](std::optional<LogData> data) {
                                          analyse(next.path, std::move(data), next.added);
                                      });
}

void frmDyno::analyse(const QString& path, std::optional<LogData> data,
                      std::function<void(bool)> added) {
    const auto finish = [this, added](bool ok) {
        if (added) added(ok);
        // The load and the job that called here are let go once their calls are over.
        QTimer::singleShot(0, this, [this] {
            load_.reset();
            analysis_.reset();
            loadNext();
        });
    };
    if (!data) return finish(false);
    // A long log takes a while to search: the window stays live meanwhile.
    auto shared = std::make_shared<const LogData>(std::move(*data));
    analysis_ = std::make_unique<BackgroundJob<Analysis>>(
        this,
        [shared](std::stop_token stop, const std::function<void(double)>&) {
            Analysis a;
            a.log = dynoSamples(*shared);
            if (!stop.stop_requested()) a.found = searchPulls(a.log);
            return a;
        },
        [this, path, finish](Analysis& a) { finish(logAnalysed(path, a)); });
}

bool frmDyno::logAnalysed(const QString& path, Analysis& a) {
    const QString name = QFileInfo(path).fileName();
    const QString dropped = droppedText(a.log);
    const QString note = dropped.isEmpty() ? QString() : S(" (") + dropped + S(")");
    if (a.found.pulls.empty()) {
        setStatus(name + S(": ") + a.found.why + note);
        return false;
    }
    logs_.push_back(
        {name, std::make_shared<const std::vector<DynoSample>>(std::move(a.log.samples))});
    int number = 0;
    for (const DynoPull& p : a.found.pulls) {
        pulls_.push_back({logs_.size() - 1, ++number, p, {}});
        auto* item = new QListWidgetItem(pullName(pulls_.back()), lstPulls_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    setStatus(S("%1: %2 %3 found%4.")
                  .arg(name)
                  .arg(a.found.pulls.size())
                  .arg(a.found.pulls.size() == 1 ? S("pull") : S("pulls"), note));
    recompute();
    return true;
}

QString frmDyno::folder() const {
    if (!folder_.isEmpty()) return folder_;
    const QString logs = host_.settings.read(S("DataLog"), S("Path"));
    return logs.isEmpty() ? QDir::currentPath() : logs;
}

void frmDyno::btnOpen_Click() {
    const QStringList paths = host_.dialogs.openFileNames(this, folder(), S(kLogFileFilter));
    if (paths.isEmpty()) return;
    folder_ = QFileInfo(paths.constFirst()).absolutePath();
    for (const QString& p : paths)
        addLog(p);
}

void frmDyno::btnAnalyser_Click() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* analyser = qobject_cast<frmLogAnalyzer*>(w);
            analyser && !analyser->path().isEmpty()) {
            addLog(analyser->path());
            return;
        }
    }
    setStatus(S("No log is open in the log analyser."));
}

void frmDyno::btnRecord_Click() {
    if (recorder_.stage() == PullRecorder::Stage::Waiting ||
        recorder_.stage() == PullRecorder::Stage::Recording) {
        recorder_.finish();
        return finishRecording();
    }
    recorder_.arm();
    btnRecord_->setText(S("Stop Recording"));
    setStatus(S("Waiting for full throttle..."));
    stream_->start();
}

void frmDyno::takeSample(const PullRecorder::Sample& s) {
    if (!recorder_.take(s)) return;
    if (recorder_.stage() == PullRecorder::Stage::Recording)
        setStatus(S("Recording the pull..."));
    else
        finishRecording();
}

void frmDyno::finishRecording() {
    stream_->stop();
    btnRecord_->setText(S("Record a Pull"));
    stream_->availableChanged();
    if (recorder_.samples().empty()) return setStatus(S("Recording stopped: no pull."));
    QString dir = host_.settings.read(S("DataLog"), S("Path"));
    if (dir.isEmpty()) dir = defaultLogFolder();
    if (!dir.endsWith(u'/')) dir += u'/';
    QDir().mkpath(dir);
    const QString path = dir + freeLogName(dir, logFileName(QDateTime::currentDateTime()));
    if (const auto error = savePullLog(path, recorder_.samples(), host_.state.units)) {
        host_.dialogs.message(this, *error, MessageKind::Warning);
        return setStatus(S("The pull could not be saved."));
    }
    const auto& s = recorder_.samples();
    const double seconds = double(s.back().at - s.front().at) / 1000;
    const QString rate =
        seconds > 0
            ? S("%1 samples a second").arg(QString::number(double(s.size() - 1) / seconds, 'f', 0))
            : QString();
    const QString saved =
        S("Pull saved to %1 (%2%3).")
            .arg(path, rate, recorder_.gapSeen() ? S("; with a gap, marked") : QString());
    addLog(path, [this, saved](bool added) {
        if (added) setStatus(saved);
    });
}

void frmDyno::btnExportCsv_Click() {
    QByteArray text = inputsLine(inputs());
    int n = 0;
    for (size_t k = 0; k < pulls_.size(); ++k) {
        if (lstPulls_->item(int(k))->checkState() != Qt::Checked) continue;
        const Listed& l = pulls_[k];
        text += "# " + pullName(l).toUtf8() + '\n';
        text += pullReport(++n, *logs_[l.log].samples, l.pull, l.curve, units());
    }
    const QString path =
        host_.dialogs.saveFileName(this, folder(), S("dyno.csv"), S(kCsvFilter), S("csv"));
    if (path.isEmpty()) return;
    const bool exists = QFileInfo::exists(path);
    if (!host_.dialogs.mayReplace(this, path)) return;
    if (const auto error =
            writeUserText(path, text, exists ? ExistingFile::Replace : ExistingFile::Refuse))
        host_.dialogs.message(this, *error, MessageKind::Warning);
}

void frmDyno::btnExportPng_Click() {
    const QString path = host_.dialogs.saveFileName(this, folder(), S("dyno.png"),
                                                    S("PNG Images|*.png|All Files|*.*"), S("png"));
    if (path.isEmpty()) return;
    const bool exists = QFileInfo::exists(path);
    if (!host_.dialogs.mayReplace(this, path)) return;
    if (const auto error = savePng(plot_->renderImage(QSize(1200, 800)), path,
                                   exists ? ExistingFile::Replace : ExistingFile::Refuse))
        host_.dialogs.message(this, *error, MessageKind::Warning);
}

void frmDyno::setStatus(const QString& text) {
    lblStatus_->setText(text);
}

void frmDyno::closeEvent(QCloseEvent* event) {
    closing_ = true;
    queued_.clear();
    load_.reset(); // a read in progress is cancelled, and so is the work on a log
    analysis_.reset();
    curvesJob_.reset();
    if (recorder_.stage() == PullRecorder::Stage::Recording) {
        recorder_.finish();
        finishRecording();
    }
    event->accept();
    host_.launcher.toolClosed(this);
}

} // namespace kx
