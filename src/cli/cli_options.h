#pragma once
// kestrix-cli's command line: what to do, and the options of "log" and "coverage".
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>

namespace kx {

// kestrix-cli's exit statuses, as its help text lists them.
enum CliExit : int {
    Done = 0,
    Usage = 2,
    PortFailed = 3,
    OutputFailed = 4, // the log or its folder cannot be made, or the coverage printed
    InputFailed = 5,
    WriteFailed = 6, // the log cannot be written: a full disk, or another failed write
    NoPull = 6,      // dyno: no pull in any log
    NoReading = 7,   // correct: no WBo2 reading in any log
};

// The status for a log that could not be started, by the system's error number of its
// failure and whether the file opened before its header failed.
CliExit logStartExit(int error, bool headerFailed);

struct CliOptions {
    enum class Action { Help, Version, Log, Coverage, Dyno, Correct };
    Action action = Action::Log;
    QString map;              // coverage, correct --map FILE: the saved map whose cells are counted
    QStringList logs;         // coverage, correct, dyno: the log files
    QString target;           // correct --target FILE: instead of the shipped target ratios
    int minHits = 10;         // correct --min-hits N
    double maxChangePct = 15; // correct --max-change PCT
    QStringList noFilters;    // correct --no-filter NAME...
    QString report;           // correct --report FILE: the figures of each cell, never replaced
    QString lock;             // correct --lock FILE: cells that keep the map's value (0/1 map)
    QString out;              // log, correct --out FILE: this file, never replaced
    QString outDir;           // --out-dir DIR: a new file per run in DIR
    QString port;             // --port P: instead of the stored port
    QString settings;         // --settings FILE: instead of the user's store
    QString wideband;         // log --wideband P: the wideband controller's port
    bool noWideband = false;  // log --no-wideband
    double durationS = 0;     // --duration S; 0: until stopped
    QString helpFor;          // --help: the command it was asked with, if any
    // dyno: the numbers given (mass, cda, crr, rho, loss, step, from, to) and --imperial
    std::map<QString, double> dyno;
    bool imperial = false;
};

struct CliParse {
    std::optional<CliOptions> options; // empty on bad usage
    QString error;                     // why, in a line
};

// `args` as main() gets them, the program first. --help and --version win over everything
// else on the line.
CliParse parseCliArgs(const QStringList& args);

// The overview, or with a command's name ("log", "coverage") that command's options and exit
// statuses.
QString cliHelpText(const QString& command = {});

} // namespace kx
