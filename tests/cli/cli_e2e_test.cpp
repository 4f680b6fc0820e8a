// kestrix-cli run as the program it is, with no display, against the simulated ECU on a
// pseudo-terminal: a drive through an ignition-off and a pulled cable, ended by SIGTERM; the
// exit statuses; and the libraries it links.
#include "dyno/dyno.h"
#include "dyno/pull_recorder.h"
#include "ecu_sim.h"
#include "engine_model.h"
#include "logs/log_reader.h"
#include "support/fuel_drive.h"
#include "support/test_support.h"
#include "tools/map_correction.h"
#include "tools/map_file.h"
#include "tools/map_logs.h"
#include "util/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace kx;
using namespace kx::test;

namespace {
qsizetype recordsIn(const QString& path) {
    return std::max<qsizetype>(0, fileBytes(path).count("\r\n") - 1);
}

// No display of any kind, and a settings directory of the test's own.
QProcessEnvironment headless(const QString& configHome) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    env.insert("XDG_CONFIG_HOME", configHome);
    return env;
}

QString settingsFile(const QTemporaryDir& dir, const QString& port) {
    const QString path = dir.filePath("Kestrix.ini");
    SettingsStore(path).save("Comms", "ComPort", port);
    return path;
}

void pause(int ms) {
    waitUntil([] { return false; }, ms);
}
} // namespace

TEST(CliE2E, LogsThroughIgnitionOffAndAPulledCableIntoOneFileOfWholeRecords) {
    QTemporaryDir dir;
    kxsim::SimOptions o;
    o.seed = 7;
    // The stable link stands for /dev/serial/by-id/...: the same path after a re-plug.
    o.linkPath = dir.filePath("ecu").toStdString();
    o.hangupAfter = 200;
    o.reopenAfterMs = 1000;
    kxsim::EcuSimulator sim(o);
    ASSERT_TRUE(sim.start());
    const QString out = dir.filePath("drive.log");
    QProcess cli;
    cli.setProcessEnvironment(headless(dir.filePath("config")));
    cli.start(KX_CLI, {"log", "--settings", settingsFile(dir, dir.filePath("ecu")), "--out", out});
    ASSERT_TRUE(cli.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return recordsIn(out) >= 30; }, 15000))
        << cli.readAllStandardError().toStdString();

    // Running, it has loaded no library of the window system.
    const QByteArray maps = fileBytes(QStringLiteral("/proc/%1/maps").arg(cli.processId()));
    EXPECT_TRUE(maps.contains("libQt6SerialPort"));
    EXPECT_FALSE(maps.contains("libQt6Gui"));
    EXPECT_FALSE(maps.contains("libQt6Widgets"));

    sim.setIgnition(false);
    pause(1500);
    const qsizetype silent = recordsIn(out);
    pause(2500); // through a re-arm that nothing answers
    EXPECT_EQ(recordsIn(out), silent);
    sim.setIgnition(true);
    ASSERT_TRUE(waitUntil([&] { return recordsIn(out) > silent + 20; }, 10000));

    ASSERT_TRUE(waitUntil([&] { return sim.counters().hangups == 1; }, 20000));
    const qsizetype pulled = recordsIn(out);
    ASSERT_TRUE(waitUntil([&] { return recordsIn(out) > pulled + 20; }, 15000));

    cli.terminate(); // SIGTERM
    ASSERT_TRUE(cli.waitForFinished(10000));
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.exitCode(), 0);
    // The stream was stopped before the port closed.
    EXPECT_TRUE(waitUntil(
        [&] {
            const auto got = sim.receivedBytes();
            return !got.empty() && got.back() == 0x30;
        },
        3000));
    const QString err = QString::fromLocal8Bit(cli.readAllStandardError());
    // Not a terminal: a line for each change of the link.
    EXPECT_TRUE(err.contains("No data from the ECU since")) << err.toStdString();
    EXPECT_TRUE(err.contains(" lost: ")) << err.toStdString();

    const QByteArray bytes = fileBytes(out);
    ASSERT_TRUE(bytes.startsWith("Time, RPM, Air Flow, Water Temp C, O2 Sensor, Speed kph, "
                                 "Battery, Throttle, Injector, Timing, AAC, A/F Base, Duty Cycle, "
                                 "Closed TPS, Power Steering, Air Con sw, Start Signal, Neutral, "
                                 "Air Con rly, Fuel Pump, Thermo Fan, VCT, Waste Gate sol, "
                                 "A/F ratio, EGR sol\r\n"));
    ASSERT_TRUE(bytes.endsWith("\r\n"));
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast();
    const qsizetype fields = lines[0].count(", ") + 1;
    double last = -1;
    int gaps = 0;
    for (const QByteArray& line : lines.mid(1)) {
        ASSERT_TRUE(line.endsWith('\r')) << line.toStdString();
        ASSERT_EQ(line.count(", ") + 1, fields) << line.toStdString();
        const double t = line.left(line.indexOf(',')).toDouble();
        ASSERT_GE(t, last) << line.toStdString();
        // No record while no data came: the ignition-off and the pulled cable are jumps.
        if (last >= 0 && t - last > 1.5) ++gaps;
        last = t;
    }
    EXPECT_GE(gaps, 2);
    const LogReadResult read = LogReader::readFile(out);
    ASSERT_TRUE(read.ok()) << read.failure.toStdString();
    EXPECT_EQ(read.data.recordCount(), lines.size() - 1);
    EXPECT_GT(read.data.number(read.data.recordCount() - 1, 0).value_or(0), 0); // RPM

    // Every record is a frame the ECU sent, and nearly every live frame became one (the rest
    // were identification frames and the frames in flight when the line went).
    const auto frames = qsizetype(sim.framesSent());
    EXPECT_LE(read.data.recordCount(), frames);
    EXPECT_GE(read.data.recordCount(), frames * 8 / 10);
}

TEST(CliE2E, ExitStatusesSayWhatWentWrongAndNoFileIsReplaced) {
    QTemporaryDir dir;
    kxsim::SimOptions o;
    o.seed = 7;
    kxsim::EcuSimulator sim(o);
    ASSERT_TRUE(sim.start());
    const QString ini = settingsFile(dir, QString::fromStdString(sim.devicePath()));
    const QString kept = dir.filePath("kept.log");
    {
        QFile f(kept);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("an earlier drive\r\n");
    }
    struct Case {
        QStringList args;
        int status;
        QString said; // on stderr (or stdout for --version)
    };
    const Case cases[] = {
        {{"log", "--settings", ini, "--out", kept}, 2, "already exists"},
        {{"log", "--out", "a.log", "--fast"}, 2, "Try 'kestrix-cli --help'"},
        {{"log", "--settings", dir.filePath("none.ini")}, 2, "No settings file"},
        {{"log", "--settings", ini, "--port", dir.filePath("no-tty"), "--out-dir",
          dir.filePath("runs")},
         3,
         "Invalid Port number"},
        {{"log", "--settings", ini, "--out", dir.filePath("no-dir/x.log")},
         4,
         "Cannot create log file"},
        {{"log", "--settings", ini, "--duration", "2", "--out-dir", dir.filePath("drives")},
         0,
         "records, "},
        {{"--version"}, 0, "kestrix-cli 1."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QProcess cli;
        cli.setProcessEnvironment(headless(dir.filePath("config")));
        cli.start(KX_CLI, c.args);
        ASSERT_TRUE(cli.waitForFinished(20000));
        EXPECT_EQ(cli.exitCode(), c.status);
        const QString said =
            QString::fromLocal8Bit(cli.readAllStandardError() + cli.readAllStandardOutput());
        EXPECT_TRUE(said.contains(c.said)) << said.toStdString();
    }
    EXPECT_EQ(fileBytes(kept), "an earlier drive\r\n");
    // A port that never opened leaves no empty log behind.
    EXPECT_TRUE(QDir(dir.filePath("runs")).entryList(QDir::Files).isEmpty());
    const QStringList drives = QDir(dir.filePath("drives")).entryList({"*.log"}, QDir::Files);
    ASSERT_EQ(drives.size(), 1);
    EXPECT_GT(recordsIn(dir.filePath("drives/" + drives[0])), 20);
}

// A full disk, as a file size limit of nothing makes it: said as such with its own status, the
// first failure ends --out-dir, and no empty log is left in the next run's way.
TEST(CliE2E, AFullDiskIsSaidAsSuchAndLeavesNoEmptyLog) {
    QTemporaryDir dir;
    const QString ini = settingsFile(dir, dir.filePath("no-tty"));
    const QString out = dir.filePath("drive.log");
    const QString drives = dir.filePath("drives");
    for (const QStringList& where : {QStringList{"--out", out}, {"--out-dir", drives}}) {
        SCOPED_TRACE(where.join(' ').toStdString());
        QProcess cli;
        cli.setProcessEnvironment(headless(dir.filePath("config")));
        cli.setChildProcessModifier([] {
            // Past the limit write() fails with EFBIG instead of raising SIGXFSZ.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit r{};
            ::getrlimit(RLIMIT_FSIZE, &r);
            r.rlim_cur = 0;
            ::setrlimit(RLIMIT_FSIZE, &r);
        });
        cli.start(KX_CLI, QStringList{"log", "--settings", ini} + where);
        ASSERT_TRUE(cli.waitForFinished(20000));
        EXPECT_EQ(cli.exitCode(), 6);
        const QString said = QString::fromLocal8Bit(cli.readAllStandardError());
        EXPECT_TRUE(said.contains("Cannot write log file '" + dir.path())) << said.toStdString();
        EXPECT_TRUE(said.contains("File too large")) << said.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(out));
    EXPECT_EQ(QDir(drives).entryList(QDir::Files), QStringList());
}

TEST(CliE2E, CoveragePrintsTheMapTracesExportOfManyLogs) {
    QTemporaryDir dir;
    EngineMap map;
    for (int i = 0; i < 16; ++i) {
        map.scales.rpm[size_t(i)] = 500 * (i + 1);
        map.scales.tp[size_t(i)] = 10 * (i + 1);
    }
    const QString mapPath = dir.filePath("map.csv");
    ASSERT_FALSE(writeUserText(mapPath, mapFileText(map), ExistingFile::Refuse));
    const auto write = [&](const char* name, const QByteArray& text) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return f.fileName();
    };
    const QString a = write("a.log", "Time, RPM, Throttle, WBo2\r\n000.1, 900, 1, 14.5\r\n"
                                     "000.2, 4000, 2.5, 12\r\n");
    const QString b = write("b.log", "Time, Throttle, RPM\r\n000.1, 1.02, 950\r\n000.2, 1, \r\n");
    const QString noRpm = write("c.log", "Time, Throttle\r\n000.1, 1\r\n");
    const LogFilesCoverage expected = coverageFromLogFiles({a, b, noRpm}, map.scales);

    QProcess cli;
    cli.setProcessEnvironment(headless(dir.filePath("config")));
    cli.start(KX_CLI, {"coverage", "--map", mapPath, a, b, noRpm});
    ASSERT_TRUE(cli.waitForFinished(20000));
    EXPECT_EQ(cli.exitCode(), 0);
    EXPECT_EQ(cli.readAllStandardOutput(), coverageExportText(map.scales, expected.coverage));
    EXPECT_EQ(expected.coverage.hits(), 3u);
    EXPECT_TRUE(cli.readAllStandardError().contains(
        "3 logs: 3 records added, 2 skipped (no RPM or Throttle), 1 without a wideband reading"));

    // A log that cannot be read is named and the others still printed; a bad map prints none.
    const struct {
        QStringList args;
        const char* said;
        bool printed;
    } faults[] = {
        {{"coverage", "--map", mapPath, a, dir.filePath("gone.log")}, "gone.log", true},
        {{"coverage", "--map", a, a}, "Cannot open the map", false},
    };
    for (const auto& f : faults) {
        cli.start(KX_CLI, f.args);
        ASSERT_TRUE(cli.waitForFinished(20000));
        EXPECT_EQ(cli.exitCode(), 5);
        EXPECT_TRUE(cli.readAllStandardError().contains(f.said));
        EXPECT_EQ(cli.readAllStandardOutput().startsWith("Hits\r\n"), f.printed);
    }
}

// The suggestion alone on stdout is the next pass's map; the figures go to --report; logs
// without a reading give nothing and say so.
TEST(CliE2E, CorrectPrintsTheSuggestedMapAloneAndItsReportApart) {
    QTemporaryDir dir;
    const EngineMap map = test::simulatedFuelMap();
    const QString mapPath = dir.filePath("map.csv"), log = dir.filePath("drive.log");
    ASSERT_FALSE(writeUserText(mapPath, mapFileText(map), ExistingFile::Refuse));
    ASSERT_TRUE(test::writeFuelDrive(log, {8, 40000, 20, 5}));
    TargetTable target = defaultTarget(map.scales);
    target.hundredths.fill(1400);
    target.locked.set(16 * 5 + 5);
    const QString targetPath = dir.filePath("target.csv"), lockPath = dir.filePath("lock.csv");
    ASSERT_FALSE(writeUserText(targetPath, targetFileText(target), ExistingFile::Refuse));
    CellSet lockedByFile;
    lockedByFile.set(16 * 6 + 6);
    ASSERT_FALSE(
        writeUserText(lockPath, lockFileText(map.scales, lockedByFile), ExistingFile::Refuse));

    CorrectionSettings settings;
    settings.minHits = 20;
    settings.maxChange = 0.05;
    settings.filters.reset(size_t(FuelFilter::Gap));
    settings.locked = target.locked | lockedByFile;
    const LogFilesCoverage read = coverageFromLogFiles({log}, map.scales);
    const FuelCorrection expected =
        correctMap(map, targetOnMap(target, map.scales), read.fuel, settings);
    for (int cell : {16 * 5 + 5, 16 * 6 + 6})
        ASSERT_EQ(expected.cells[size_t(cell)].trust, CellTrust::Locked);

    QProcess cli;
    cli.setProcessEnvironment(headless(dir.filePath("config")));
    const QString report = dir.filePath("report.txt");
    cli.start(KX_CLI, {"correct", "--map", mapPath, "--target", targetPath, "--lock", lockPath,
                       "--min-hits", "20", "--max-change", "5", "--no-filter", "gap", "--report",
                       report, log});
    ASSERT_TRUE(cli.waitForFinished(20000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    const QByteArray out = cli.readAllStandardOutput();
    EXPECT_EQ(out, mapFileText(expected.suggested));
    EXPECT_NE(expected.suggested, map);
    EXPECT_EQ(fileBytes(report), correctionReportText(map, expected, settings.filters));
    for (const char* line :
         {"\r\n# Change %\r\nRPM\\TP,22,", "\r\n# Hits kept\r\n", "\r\n# Readings kept\r\n",
          "\r\n# Visits\r\n", "\r\n# Difference\r\n", "\r\n# Spread\r\n",
          "# Kept out, gap: off\r\n", "# Kept out, no wideband reading: "})
        EXPECT_TRUE(fileBytes(report).contains(line)) << line;
    const QByteArray said = cli.readAllStandardError();
    EXPECT_EQ(said.count('\n'), 1) << said.toStdString();
    EXPECT_TRUE(said.contains(" cells trusted, ")) << said.toStdString();

    // The suggestion is the next pass's map, and --out writes it without replacing a file.
    const QString suggested = dir.filePath("suggested.csv");
    ASSERT_FALSE(writeUserText(suggested, out, ExistingFile::Refuse));
    const QString second = dir.filePath("second.csv");
    cli.start(KX_CLI, {"correct", "--map", suggested, "--out", second, log});
    ASSERT_TRUE(cli.waitForFinished(20000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    EXPECT_TRUE(cli.readAllStandardOutput().isEmpty());
    ASSERT_TRUE(readMapFile(second).map) << readMapFile(second).error.toStdString();
    const QByteArray secondBytes = fileBytes(second);
    cli.start(KX_CLI, {"correct", "--map", suggested, "--out", second, log});
    ASSERT_TRUE(cli.waitForFinished(20000));
    EXPECT_EQ(cli.exitCode(), 2);
    EXPECT_TRUE(cli.readAllStandardError().contains("already exists"));
    EXPECT_EQ(fileBytes(second), secondBytes);

    // No ratio that is a reading: an empty field, a sensor not ready, no WBo2 column.
    const auto write = [&](const char* name, const QByteArray& text) {
        const QString path = dir.filePath(name);
        EXPECT_FALSE(writeUserText(path, text, ExistingFile::Refuse));
        return path;
    };
    const QString noColumn = write("a.log", "Time, RPM, Throttle\r\n000.100, 900, 1\r\n");
    const QString cold = write("b.log", "Time, RPM, Throttle, WBo2, WB State, WB Time\r\n"
                                        "000.100, 900, 1, 14.7, Cold, 000.090\r\n"
                                        "000.200, 900, 1, , Lost, \r\n");
    cli.start(KX_CLI, {"correct", "--map", mapPath, noColumn, cold});
    ASSERT_TRUE(cli.waitForFinished(20000));
    EXPECT_EQ(cli.exitCode(), 7);
    EXPECT_TRUE(cli.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(cli.readAllStandardError().contains("no WBo2 reading in any of 2 logs"));

    // The map, the target, the locks or a log unreadable: said, exit 5, nothing printed.
    const struct {
        QStringList args;
        const char* said;
    } faults[] = {
        {{"correct", "--map", mapPath, log, dir.filePath("gone.log")}, "gone.log"},
        {{"correct", "--map", log, log}, "Cannot open the map"},
        {{"correct", "--map", mapPath, "--target", mapPath, log}, "Cannot open the target"},
        {{"correct", "--map", mapPath, "--lock", mapPath, log}, "Cannot open the locks"},
    };
    for (const auto& f : faults) {
        cli.start(KX_CLI, f.args);
        ASSERT_TRUE(cli.waitForFinished(20000));
        EXPECT_EQ(cli.exitCode(), 5);
        EXPECT_TRUE(cli.readAllStandardError().contains(f.said)) << f.said;
        EXPECT_TRUE(cli.readAllStandardOutput().isEmpty());
    }
}

TEST(CliE2E, TheProgramLinksNoLibraryOfTheWindowSystem) {
    QProcess ldd;
    ldd.start("ldd", {KX_CLI});
    ASSERT_TRUE(ldd.waitForFinished(20000));
    const QByteArray libs = ldd.readAllStandardOutput();
    EXPECT_TRUE(libs.contains("libQt6Core")) << libs.toStdString();
    EXPECT_TRUE(libs.contains("libQt6SerialPort"));
    EXPECT_FALSE(libs.contains("libQt6Gui"));
    EXPECT_FALSE(libs.contains("libQt6Widgets"));
}

TEST(CliE2E, DynoPrintsEachPullAndSaysWhyThereIsNone) {
    QTemporaryDir dir;
    using Sim = kxsim::EngineModel;
    // The simulator's pull at full throttle, and the same at part throttle.
    for (const auto& [name, share] : {std::pair{"pull.log", 1.0}, {"part.log", 0.4}}) {
        std::vector<PullRecorder::Sample> s;
        for (uint32_t ms = 0; ms < 9000; ms += 40) {
            const double t = ms / 1000.0 - 0.5, rpm = Sim::pullRpm(t);
            s.push_back({ms, float(12.5 * std::round(rpm / 12.5)),
                         float(2 * std::round(rpm * Sim::kPullKmhPerRpm / 2)),
                         float(0.45 + 3.85 * share * Sim::pullThrottle(t)), {}});
        }
        ASSERT_FALSE(savePullLog(dir.filePath(name), s, Units{}));
    }
    // The pull's log with a header or a record changed.
    const QByteArray pull = fileBytes(dir.filePath("pull.log"));
    const auto variant = [&](const char* name, const QByteArray& from, const QByteArray& to) {
        QByteArray b = pull;
        b.replace(b.indexOf(from), from.size(), to);
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(b) == b.size());
        return dir.filePath(name);
    };
    const QString noSpeed = variant("nospeed.log", "Speed kph", "Air Flow");
    const QString noRpm = variant("norpm.log", "RPM", "Timing");
    // Record 60 (at 2.4 s) without its RPM, record 100 (4.0 s) at 1e12 RPM.
    const QString holes = variant("holes.log", "\r\n002.400, ", "\r\n002.400, , ");
    {
        QByteArray b = fileBytes(holes);
        const qsizetype at = b.indexOf("\r\n004.000, ") + 12;
        b.replace(at, b.indexOf(',', at) - at, "1e12");
        QFile f(holes);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(b) == b.size());
    }
    const QString heavy = dir.filePath("heavy.ini");
    SettingsStore(heavy).save("Dyno", "Mass", "2800");
    const struct {
        QStringList args;
        int exit;
        const char* out; // what stdout holds
        const char* err; // what stderr says
    } runs[] = {
        {{"dyno", "--mass", "1400", dir.filePath("pull.log")},
         0,
         "\nRPM,Power kW,Torque Nm\n2250,",
         ""},
        {{"dyno", "--imperial", "--step", "500", dir.filePath("pull.log")},
         0,
         "\nRPM,Power hp,Torque lb ft\n2500,",
         ""},
        {{"dyno", "--from", "2", "--to", "5", dir.filePath("pull.log")}, 0, "# pull 1: 2.00 s", ""},
        {{"dyno", dir.filePath("part.log")}, 6, "# mass", "no full throttle"},
        {{"dyno", dir.filePath("pull.log"), dir.filePath("gone.log")}, 5, "# pull 1: ", "gone.log"},
        {{"dyno", "--mass", "heavy", dir.filePath("pull.log")}, 2, "", "--mass takes a number"},
        {{"dyno", noSpeed}, 5, "# mass", "nospeed.log: the log has no Speed column\n"},
        {{"dyno", noRpm, dir.filePath("pull.log")},
         5,
         "# pull 1: ",
         "norpm.log: the log has no RPM column\n"},
        {{"dyno", holes},
         0,
         "\nRPM,Power kW,Torque Nm\n2250,",
         "holes.log: 1 record skipped as unreadable; 1 record dropped as impossible\n"},
        {{"dyno", "--settings", heavy, dir.filePath("pull.log")}, 0, "# mass 2800 kg", ""},
        {{"dyno", "--settings", dir.filePath("none.ini"), dir.filePath("pull.log")},
         2,
         "",
         "No settings file '"},
    };
    QProcess cli;
    cli.setProcessEnvironment(headless(dir.filePath("config")));
    for (const auto& r : runs) {
        SCOPED_TRACE(r.args.join(' ').toStdString());
        cli.start(KX_CLI, r.args);
        ASSERT_TRUE(cli.waitForFinished(20000));
        EXPECT_EQ(cli.exitCode(), r.exit);
        const QByteArray out = cli.readAllStandardOutput();
        EXPECT_TRUE(out.contains(r.out)) << out.toStdString();
        const QByteArray err = cli.readAllStandardError();
        EXPECT_TRUE(err.contains(r.err)) << err.toStdString();
        EXPECT_EQ(out.contains("\n# peak power "),
                  r.exit == 0 || QByteArray(r.out).contains("# pull"));
    }
}
