// kestrix-cli's command line and the settings it reads.
#include "cli/cli_options.h"
#include "cli/logger_settings.h"
#include "logs/log_format.h"
#include "support/test_support.h"
#include "util/settings_store.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kx;
using Action = CliOptions::Action;

TEST(CliOptions, ReadsTheLogCommandAndRefusesBadUsage) {
    struct Case {
        QStringList args;                  // after the program name
        std::optional<Action> action = {}; // empty: bad usage
        QString out = {}, outDir = {}, port = {}, settings = {};
        double duration = 0;
        QString error = {}; // part of the message
    };
    const Case cases[] = {
        {{"log"}, Action::Log},
        {{"log", "--out", "a.log", "--port", "/dev/ttyUSB0", "--duration", "2.5", "--settings",
          "k.ini"},
         Action::Log,
         "a.log",
         "",
         "/dev/ttyUSB0",
         "k.ini",
         2.5},
        {{"--port=3", "log", "--out-dir=/var/log/car"}, Action::Log, "", "/var/log/car", "3"},
        {{"--help"}, Action::Help},
        {{"log", "--nonsense", "-h"}, Action::Help},
        {{"--version"}, Action::Version},
        {{}, {}, "", "", "", "", 0, "No command"},
        {{"record"}, {}, "", "", "", "", 0, "Unknown command 'record'"},
        {{"log", "now"}, {}, "", "", "", "", 0, "Unexpected argument 'now'"},
        {{"log", "--out", "a", "--out-dir", "b"}, {}, "", "", "", "", 0, "together"},
        {{"log", "--out="}, {}, "", "", "", "", 0, "--out needs a value"},
        {{"log", "--out"}, {}, "", "", "", "", 0, "Missing value"},
        {{"log", "--speed", "9600"}, {}, "", "", "", "", 0, "Unknown option"},
        {{"log", "--duration", "0"}, {}, "", "", "", "", 0, "--duration"},
        {{"log", "--duration", "-5"}, {}, "", "", "", "", 0, "--duration"},
        {{"log", "--duration", "1,5"}, {}, "", "", "", "", 0, "not '1,5'"},
        {{"log", "--duration", "1e10"}, {}, "", "", "", "", 0, "--duration"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliParse p = parseCliArgs(QStringList{"kestrix-cli"} + c.args);
        ASSERT_EQ(p.options.has_value(), c.action.has_value()) << p.error.toStdString();
        if (!c.action) {
            EXPECT_TRUE(p.error.contains(c.error)) << p.error.toStdString();
            continue;
        }
        EXPECT_EQ(p.options->action, *c.action);
        EXPECT_EQ(p.options->out, c.out);
        EXPECT_EQ(p.options->outDir, c.outDir);
        EXPECT_EQ(p.options->port, c.port);
        EXPECT_EQ(p.options->settings, c.settings);
        EXPECT_EQ(p.options->durationS, c.duration);
    }
    EXPECT_EQ(logFileName(QDateTime(QDate(2008, 3, 5), QTime(9, 7, 2))), "2008-03-05_09-07-02.log");

    // coverage: a map and one or more logs, and none of the logger's options.
    const struct {
        QStringList args;
        QString error; // empty: accepted
    } coverage[] = {
        {{"coverage", "--map", "m.csv", "a.log", "b.log"}, ""},
        {{"coverage", "a.log"}, "--map MAP.csv"},
        {{"coverage", "--map", "m.csv"}, "one or more log files"},
        {{"coverage", "--map", "m.csv", "--out", "x", "a.log"}, "--out is for 'log'"},
        {{"log", "--map", "m.csv"}, "--map is for 'coverage'"},
        {{"coverage", "--map", "m.csv", "--min-hits", "3", "a.log"}, "is for 'correct'"},
        {{"correct", "--map", "m.csv", "--min-hits", "0", "a.log"}, "--min-hits"},
        {{"correct", "--map", "m.csv", "--max-change", "x", "a.log"}, "--max-change"},
        {{"correct", "--map", "m.csv", "--no-filter", "warm", "a.log"}, "not 'warm'"},
        {{"correct", "--map", "m.csv", "--report", "", "a.log"}, "--report needs a value"},
        {{"correct", "--map",        "m.csv", "--target",    "t.csv", "--min-hits",
          "25",      "--max-change", "7.5",   "--no-filter", "gap",   "--no-filter",
          "cold",    "--out",        "o.csv", "--report",    "r.txt", "--lock",
          "l.csv",   "a.log",        "b.log"},
         ""},
    };
    for (const auto& c : coverage) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliParse p = parseCliArgs(QStringList{"kestrix-cli"} + c.args);
        ASSERT_EQ(p.options.has_value(), c.error.isEmpty()) << p.error.toStdString();
        if (p.options) {
            EXPECT_EQ(p.options->action,
                      c.args[0] == "correct" ? Action::Correct : Action::Coverage);
            EXPECT_EQ(p.options->map, "m.csv");
            EXPECT_EQ(p.options->logs, (QStringList{"a.log", "b.log"}));
            if (c.args[0] == "correct") {
                EXPECT_EQ(p.options->target, "t.csv");
                EXPECT_EQ(p.options->minHits, 25);
                EXPECT_EQ(p.options->maxChangePct, 7.5);
                EXPECT_EQ(p.options->noFilters, (QStringList{"gap", "cold"}));
                EXPECT_EQ(p.options->out + p.options->report + p.options->lock, "o.csvr.txtl.csv");
            }
        } else {
            EXPECT_TRUE(p.error.contains(c.error)) << p.error.toStdString();
        }
    }
}

TEST(CliOptions, SettingsAreReadOnlyWithKestrixsDefaultsAndThePortGiven) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Kestrix.ini");
    {
        SettingsStore s(path);
        s.save("Comms", "Speed", "19200");
        s.save("Comms", "Debug", "1");
        s.save("Setup", "Gauge3", "");
    }
    const auto read = [&](const QString& port, const char* section, const char* key) {
        return LoggerSettings(std::make_unique<SettingsStore>(path), port).read(section, key);
    };
    EXPECT_EQ(read("", "Comms", "Speed"), "19200"); // stored
    EXPECT_EQ(read("", "Comms", "ComPort"), "1");   // Kestrix's start-up default
    EXPECT_EQ(read("", "Setup", "Gauge3"), "7");    // empty reads as the default
    EXPECT_EQ(read("/dev/ttyUSB0", "Comms", "ComPort"), "/dev/ttyUSB0");
    EXPECT_EQ(read("", "Comms", "Debug"), "0"); // no trace outlives a start
    EXPECT_EQ(read("", "DataLog", "Path"), ""); // no default
    LoggerSettings(std::make_unique<SettingsStore>(path), "").save("Comms", "Speed", "1200");
    EXPECT_EQ(SettingsStore(path).read("Comms", "Speed"), "19200");
    EXPECT_EQ(SettingsStore(path).read("Comms", "ComPort"), "");
}
