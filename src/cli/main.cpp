// kestrix-cli: Kestrix's headless front end. "log" records the live data of the ECU into the
// data logger's file format, with no display, for a small computer left in the car. "coverage"
// counts where in a saved map the engine ran over many logs, as the map trace's export does.
#include "cli/DriveLogger.h"
#include "cli/cli_options.h"
#include "cli/logger_settings.h"
#include "cli/stop_signals.h"
#include "dyno/dyno.h"
#include "link/SerialPort.h"
#include "link/link_messages.h"
#include "logs/log_files.h"
#include "logs/log_reader.h"
#include "logs/log_selection.h"
#include "tools/map_correction.h"
#include "tools/map_file.h"
#include "tools/map_logs.h"
#include "util/numbers.h"
#include "util/settings_store.h"
#include "util/ticks.h"
#include "util/user_file.h"
#include "wideband/WbLink.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

using namespace kx;

namespace {

void say(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void sayLine(const QString& text) {
    say(QStringLiteral("kestrix-cli: ") + text + u'\n');
}

QString spikesText(uint64_t dropped) {
    return QString::number(dropped) +
           (dropped == 1 ? QStringLiteral(" spike dropped") : QStringLiteral(" spikes dropped"));
}

// The status: on a terminal one line rewritten in place at most twice a second; elsewhere (a
// pipe, a service's journal) a plain line each time the link's state changes.
class Status : public QObject {
public:
    Status(const DriveLogger& logger, const LogWriter& writer)
        : logger_(logger), writer_(writer), terminal_(::isatty(STDERR_FILENO) == 1) {
        if (!terminal_) return;
        clock_.start();
        timer_.setInterval(500);
        connect(&timer_, &QTimer::timeout, this, &Status::redraw);
        timer_.start();
    }
    void changed(const QString& text) {
        if (terminal_) return;
        say(QLocale::c().toString(QTime::currentTime(), QStringLiteral("HH:mm:ss ")) + text +
            u'\n');
    }
    // Leaves the terminal's line empty for what follows.
    void end() {
        if (!terminal_) return;
        timer_.stop();
        say(QStringLiteral("\r\x1b[K"));
    }

private:
    void redraw() {
        const qint64 ms = clock_.restart();
        const uint64_t records = logger_.records();
        const double rate = ms > 0 ? double(records - lastRecords_) * 1000.0 / double(ms) : 0;
        lastRecords_ = records;
        const QString wb = logger_.hasWideband()
                               ? QStringLiteral(", %1 with WBo2").arg(logger_.wbReadings())
                               : QString();
        QString line = QStringLiteral("%1 records%2, %3/s, %4, %5 | %6")
                           .arg(records)
                           .arg(wb, QString::number(rate, 'f', 1),
                                spikesText(logger_.spikesDropped()), sizeText(writer_.size()),
                                logger_.status());
        winsize ws{};
        const int columns =
            ::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 ? int(ws.ws_col) : 80;
        // A wrapped line could not be rewritten in place.
        if (line.size() >= columns) line = line.left(columns - 1);
        say(u'\r' + line + QStringLiteral("\x1b[K"));
    }

    const DriveLogger& logger_;
    const LogWriter& writer_;
    const bool terminal_;
    QTimer timer_;
    QElapsedTimer clock_;
    uint64_t lastRecords_ = 0;
};

struct Output {
    int exit = Done;
    QString error;
};

// Why a log did not start, and the status that says it.
Output startFailure(const LogStartError& error, const QString& path) {
    if (error.error != EEXIST) return {logStartExit(error.error, error.headerFailed), error.text};
    return {Usage, QStringLiteral("'%1' already exists; a log never replaces a file. Choose "
                                  "another name, or --out-dir for a new file per run.")
                       .arg(path)};
}

// Starts the writer on a file of its own: `out` as given, or a new name in `dir`. An existing
// file is never replaced.
Output startOutput(LogWriter& writer, const CliOptions& o, const QString& dir,
                   const LogGaugeNames& names, const LogSelection& columns) {
    const uint32_t zero = ticks();
    if (!o.out.isEmpty()) {
        if (const auto error = writer.start(o.out, names, columns, zero, ExistingFile::Refuse))
            return startFailure(*error, o.out);
        return {};
    }
    if (!QDir().mkpath(dir))
        return {OutputFailed, QStringLiteral("Cannot create the folder '%1'").arg(dir)};
    const QString folder = QDir(dir).absolutePath() + u'/';
    const QString name = logFileName(QDateTime::currentDateTime());
    for (int attempt = 0;; ++attempt) {
        // Two runs in one second: the second gets "-2" and so on.
        const QString path = folder + freeLogName(folder, name);
        const auto error = writer.start(path, names, columns, zero, ExistingFile::Refuse);
        if (!error) return {};
        // Only a name taken since the look is worth another; a full disk stays full.
        if (error->error != EEXIST || attempt >= 100) return startFailure(*error, path);
    }
}

// Units, model and gauges from the settings; what makes them unusable, if anything.
std::optional<QString> readPlan(const LoggerSettings& settings, DriveLogger::Plan& plan) {
    const StoredUnits stored = readStoredUnits(settings);
    if (!stored.obd2) {
        const char* key = !stored.speedCorrect ? "TyreSize/Correction"
                          : !stored.mph        ? "Preferences/Speed"
                          : !stored.fahr       ? "Preferences/Temperature"
                                               : "Comms/OBDIImodel";
        return QStringLiteral("The setting %1 in '%2' is not a number")
            .arg(QLatin1String(key), settings.fileName());
    }
    plan.units = {*stored.fahr, *stored.mph, *stored.speedCorrect};
    getSetup(settings, plan.units.fahr, plan.units.mph, plan.setup);
    if (fullDataRequest(plan.setup).isEmpty())
        return QStringLiteral("The data display's gauges in '%1' ask the ECU for nothing: "
                              "nothing to log")
            .arg(settings.fileName());
    return std::nullopt;
}

// Records until a stop signal, the duration, or a failure; the exit status.
int record(QCoreApplication& app, LogWriter& writer, LoggerSettings& settings,
           const DriveLogger::Plan& plan, double durationS) {
    EcuLink link(new QtSerialPort, settings);
    DriveLogger logger(link, writer, settings, plan);
    // The wideband on a port of its own: a controller that cannot be opened is said, and the
    // ECU's records go on without it.
    std::unique_ptr<WbLink> wideband;
    QString widebandProblem;
    if (widebandSetUp(settings)) {
        wideband = std::make_unique<WbLink>(new QtSerialPort, settings, logger.wbValues());
        QObject::connect(wideband.get(), &WbLink::portError,
                         [&](int error, const QString& device, const QString& detail) {
                             widebandProblem =
                                 QStringLiteral("wideband port %1: %2; logged without it")
                                     .arg(device, portErrorText(error, device, detail));
                             sayLine(widebandProblem);
                         });
        logger.setWideband(wideband.get());
    }
    Status status(logger, writer);
    QObject::connect(&logger, &DriveLogger::statusChanged, &status, &Status::changed);

    bool finishing = false;
    const auto finish = [&](int code, const QString& why) {
        if (finishing) return;
        finishing = true;
        logger.stop();
        status.end();
        if (!why.isEmpty()) sayLine(why);
        const QString path = writer.path();
        const qint64 size = writer.size();
        if (const auto error = writer.stop()) {
            sayLine(*error);
            if (code == Done) code = WriteFailed;
        }
        if (code == PortFailed && logger.records() == 0) {
            // Nothing was recorded: no empty log is left behind.
            QFile::remove(path);
        } else {
            QString wb;
            if (wideband)
                wb = QStringLiteral(" (%1 with a wideband ratio)").arg(logger.wbReadings());
            sayLine(QStringLiteral("%1 records%2, %3, %4 in %5")
                        .arg(logger.records())
                        .arg(wb, spikesText(logger.spikesDropped()), sizeText(size), path));
            if (!widebandProblem.isEmpty()) sayLine(widebandProblem);
        }
        app.exit(code);
    };
    // Each ends the run once the link's step or receive handler is over.
    QObject::connect(
        &logger, &DriveLogger::openFailed, &app,
        [&](const QString& message) { finish(PortFailed, message); }, Qt::QueuedConnection);
    QObject::connect(
        &logger, &DriveLogger::writeFailed, &app,
        [&](const QString& message) { finish(WriteFailed, message); }, Qt::QueuedConnection);

    forwardStopSignals(&app, [&] { finish(Done, QString()); });
    if (durationS > 0)
        QTimer::singleShot(std::chrono::milliseconds(qint64(durationS * 1000)), Qt::PreciseTimer,
                           &app, [&] { finish(Done, QString()); });

    logger.start();
    const int code = app.exec();
    stopForwarding();
    return code;
}

// `text` on the standard output; false, said with `what` and why, when it cannot be written.
bool printOut(const QByteArray& text, const QString& what) {
    if (std::fwrite(text.constData(), 1, size_t(text.size()), stdout) == size_t(text.size()) &&
        std::fflush(stdout) == 0)
        return true;
    sayLine(QStringLiteral("Cannot write %1 to the standard output: %2")
                .arg(what, QString::fromLocal8Bit(std::strerror(errno))));
    return false;
}

// The coverage of `o.logs` on the map `o.map`, printed as the window exports it.
int coverage(const CliOptions& o) {
    const MapFileRead map = readMapFile(o.map);
    if (!map.map) {
        sayLine(QStringLiteral("Cannot open the map '%1': %2").arg(o.map, map.error));
        return InputFailed;
    }
    const LogFilesCoverage result = coverageFromLogFiles(o.logs, map.map->scales);
    for (const QString& failure : result.failures)
        sayLine(QStringLiteral("not added: ") + failure);
    const QByteArray text = coverageExportText(map.map->scales, result.coverage);
    if (!printOut(text, QStringLiteral("the coverage"))) return OutputFailed;
    sayLine(logFilesSummary(result));
    return result.failures.isEmpty() ? Done : InputFailed;
}

// The settings store that --settings names, or the user's. Empty, said, when the named file
// is not there.
std::unique_ptr<SettingsStore> openSettings(const CliOptions& o) {
    if (!o.settings.isEmpty() && !QFileInfo(o.settings).isFile()) {
        sayLine(QStringLiteral("No settings file '%1'").arg(o.settings));
        return nullptr;
    }
    auto store = o.settings.isEmpty() ? std::make_unique<SettingsStore>()
                                      : std::make_unique<SettingsStore>(o.settings);
    if (!QFileInfo(store->fileName()).isReadable())
        sayLine(QStringLiteral("No settings in '%1': Kestrix's defaults are used")
                    .arg(store->fileName()));
    return store;
}

// The pulls of each log, printed as a results table per pull.
int dyno(const CliOptions& o) {
    const auto store = openSettings(o);
    if (!store) return Usage;
    VehicleInputs in = readVehicleInputs(*store);
    for (const VehicleInput& i : kVehicleInputs)
        if (const auto it = o.dyno.find(QLatin1String(i.option)); it != o.dyno.end())
            in.*i.field = it->second;
    if (const QString problem = vehicleInputsProblem(in); !problem.isEmpty()) {
        sayLine(QStringLiteral("dyno: ") + problem);
        return Usage;
    }
    QByteArray out = inputsLine(in);
    int status = Done, number = 0;
    const auto unread = [&](const QString& path, const QString& why) {
        sayLine(QStringLiteral("Cannot read the log '%1': %2").arg(path, why));
        status = InputFailed;
    };
    forEachLogFile(
        o.logs,
        [&](const QString& path, const LogData& data) {
            const DynoLog log = dynoSamples(data);
            if (const QString dropped = droppedText(log); !dropped.isEmpty())
                sayLine(QStringLiteral("%1: %2").arg(path, dropped));
            std::optional<std::pair<double, double>> between;
            if (o.dyno.count(QStringLiteral("from")))
                between.emplace(o.dyno.at(QStringLiteral("from")), o.dyno.at(QStringLiteral("to")));
            const PullSearch found = searchPulls(log, between);
            if (found.pulls.empty()) sayLine(QStringLiteral("%1: %2").arg(path, found.why));
            if (found.unusable) status = InputFailed;
            for (const DynoPull& pull : found.pulls)
                out += pullReport(++number, log.samples, pull, dynoCurve(log.samples, pull, in),
                                  DynoUnits{o.imperial});
        },
        unread);
    if (!printOut(out, QStringLiteral("the dyno's results"))) return OutputFailed;
    if (status != Done) return status;
    return number > 0 ? Done : NoPull;
}

// A file of `correct` that is not there yet, or why it cannot be used.
std::optional<QString> takenOutput(const QString& path, const char* what) {
    if (path.isEmpty() || !QFileInfo::exists(path)) return std::nullopt;
    return QStringLiteral("'%1' already exists; %2 never replaces a file. Choose another name.")
        .arg(path, QLatin1String(what));
}

// The suggested fuel map from the WBo2 of `o.logs`: the map alone on stdout (or in --out), its
// figures in --report, a line of summary on stderr.
int correct(const CliOptions& o) {
    for (const auto& [path, what] :
         {std::pair{o.out, "a suggested map"}, std::pair{o.report, "a report"}}) {
        if (const auto taken = takenOutput(path, what)) {
            sayLine(*taken);
            return Usage;
        }
    }
    const MapFileRead map = readMapFile(o.map);
    if (!map.map) {
        sayLine(QStringLiteral("Cannot open the map '%1': %2").arg(o.map, map.error));
        return InputFailed;
    }
    const MapScales& scales = map.map->scales;
    TargetTable target = defaultTarget(scales);
    if (!o.target.isEmpty()) {
        const TargetFileRead read = readTargetFile(o.target);
        if (!read.target) {
            sayLine(QStringLiteral("Cannot open the target '%1': %2").arg(o.target, read.error));
            return InputFailed;
        }
        target = *read.target;
    }
    CorrectionSettings settings;
    settings.minHits = uint64_t(o.minHits);
    settings.maxChange = o.maxChangePct / 100.0;
    for (const QString& name : o.noFilters)
        settings.filters.reset(size_t(*filterNamed(name)));
    settings.locked = locksOnMap(target.scales, target.locked, scales);
    if (!o.lock.isEmpty()) {
        const LockFileRead read = readLockFile(o.lock);
        if (!read.locked) {
            sayLine(QStringLiteral("Cannot open the locks '%1': %2").arg(o.lock, read.error));
            return InputFailed;
        }
        settings.locked |= locksOnMap(read.scales, *read.locked, scales);
    }
    const LogFilesCoverage result = coverageFromLogFiles(o.logs, scales);
    for (const QString& failure : result.failures)
        sayLine(QStringLiteral("not added: ") + failure);
    // A map from part of the logs is no suggestion to flash: nothing is written.
    if (!result.failures.isEmpty()) return InputFailed;
    // Every filter off: any record with a ratio at all.
    if (result.fuel.counts(FilterMask()).kept == 0) {
        sayLine(o.logs.size() == 1
                    ? QStringLiteral("no WBo2 reading in the log: no suggestion")
                    : QStringLiteral("no WBo2 reading in any of %1 logs: no suggestion")
                          .arg(o.logs.size()));
        return NoReading;
    }
    const FuelCorrection correction =
        correctMap(*map.map, targetOnMap(target, scales), result.fuel, settings);
    if (!o.report.isEmpty()) {
        const QByteArray report = correctionReportText(*map.map, correction, settings.filters);
        if (const auto error = writeUserText(o.report, report, ExistingFile::Refuse)) {
            sayLine(QStringLiteral("Cannot write the report '%1': %2").arg(o.report, *error));
            return OutputFailed;
        }
    }
    const QByteArray text = mapFileText(correction.suggested);
    if (o.out.isEmpty()) {
        if (!printOut(text, QStringLiteral("the suggested map"))) return OutputFailed;
    } else if (const auto error = writeUserText(o.out, text, ExistingFile::Refuse)) {
        sayLine(QStringLiteral("Cannot write the suggested map '%1': %2").arg(o.out, *error));
        return OutputFailed;
    }
    sayLine(logFilesSummary(result) + QStringLiteral("; ") +
            correctionSummary(*map.map, correction));
    return Done;
}

} // namespace

int main(int argc, char** argv) {
    // Before any thread exists, so that every thread inherits the mask. A handler of its own,
    // never run, since a signal that is ignored (as a background job's SIGINT is) would be
    // dropped rather than waited for.
    const sigset_t stop = stopSignals();
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    struct sigaction waited {};
    waited.sa_handler = [](int) {};
    sigaction(SIGINT, &waited, nullptr);
    sigaction(SIGTERM, &waited, nullptr);
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Kestrix"));
    QCoreApplication::setApplicationName(QStringLiteral("Kestrix"));
    std::signal(SIGPIPE, SIG_IGN); // a closed pipe on stderr is not the end of a recording

    const CliParse parse = parseCliArgs(QCoreApplication::arguments());
    if (!parse.options) {
        sayLine(parse.error);
        say(QStringLiteral("Try 'kestrix-cli --help'.\n"));
        return Usage;
    }
    const CliOptions& o = *parse.options;
    if (o.action == CliOptions::Action::Help) {
        std::fputs(cliHelpText(o.helpFor).toLocal8Bit().constData(), stdout);
        return Done;
    }
    if (o.action == CliOptions::Action::Version) {
        std::printf("kestrix-cli %s\n", KESTRIX_VERSION);
        return Done;
    }
    if (o.action == CliOptions::Action::Coverage || o.action == CliOptions::Action::Dyno ||
        o.action == CliOptions::Action::Correct) {
        // No recording to end cleanly: Ctrl+C simply stops the counting.
        pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        if (o.action == CliOptions::Action::Dyno) return dyno(o);
        return o.action == CliOptions::Action::Coverage ? coverage(o) : correct(o);
    }

    // ---- the settings, as the data display and the logger read them
    auto store = openSettings(o);
    if (!store) return Usage;
    LoggerSettings settings(std::move(store), o.port, o.wideband, o.noWideband);
    DriveLogger::Plan plan;
    if (const auto problem = readPlan(settings, plan)) {
        sayLine(*problem);
        return Usage;
    }

    // ---- the file
    LogWriter writer;
    QString dir = o.outDir;
    if (dir.isEmpty()) dir = settings.read(QStringLiteral("DataLog"), QStringLiteral("Path"));
    if (dir.isEmpty()) dir = defaultLogFolder();
    const Output output =
        startOutput(writer, o, dir, catalogueNames(plan.units.fahr, plan.units.mph),
                    storedLogSelection(settings, plan.setup));
    if (output.exit != Done) {
        sayLine(output.error);
        return output.exit;
    }
    sayLine(QStringLiteral("logging to %1").arg(writer.path()));

    return record(app, writer, settings, plan, o.durationS);
}
