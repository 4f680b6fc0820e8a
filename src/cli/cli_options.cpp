#include "cli/cli_options.h"

#include "dyno/vehicle_inputs.h"
#include "tools/map_correction.h"
#include "util/numbers.h"

#include <QCommandLineParser>
#include <QLocale>
#include <algorithm>
#include <cerrno>
#include <cmath>

using namespace Qt::StringLiterals;

namespace kx {

namespace {
constexpr int kMaxDurationS = 2000000;

const QStringList kCorrectOptions = {QStringLiteral("target"),     QStringLiteral("min-hits"),
                                     QStringLiteral("max-change"), QStringLiteral("no-filter"),
                                     QStringLiteral("report"),     QStringLiteral("lock")};
// dyno's numbers: the vehicle inputs, then the stretch of a pull given by time.
QStringList dynoNumbers() {
    QStringList names;
    for (const VehicleInput& i : kVehicleInputs)
        names << QLatin1String(i.option);
    return names << QStringLiteral("from") << QStringLiteral("to");
}

bool isDynoOption(const QString& name) {
    return name == u"imperial" || dynoNumbers().contains(name);
}

// The command an option belongs to, for "--x is for ...".
QString optionOwner(const QString& name) {
    if (name == u"map") return QStringLiteral("coverage' and 'correct");
    if (name == u"out") return QStringLiteral("log' and 'correct");
    if (kCorrectOptions.contains(name)) return QStringLiteral("correct");
    if (isDynoOption(name)) return QStringLiteral("dyno");
    if (name == u"settings") return QStringLiteral("log' and 'dyno");
    return QStringLiteral("log");
}

// "coverage" and "correct": a map and logs; "correct" takes its own options besides.
CliParse parseMapReport(const QCommandLineParser& parser, const QString& command,
                        const QStringList& logs) {
    CliParse result;
    const bool correct = command == u"correct";
    for (const QString& name : parser.optionNames()) {
        if (name == u"map" || (correct && (kCorrectOptions.contains(name) || name == u"out")))
            continue;
        result.error = QStringLiteral("--%1 is for '%2'").arg(name, optionOwner(name));
        return result;
    }
    if (parser.value(QStringLiteral("map")).isEmpty()) {
        result.error = QStringLiteral("%1 needs the map: --map MAP.csv").arg(command);
        return result;
    }
    if (logs.isEmpty()) {
        result.error = QStringLiteral("%1 needs one or more log files").arg(command);
        return result;
    }
    CliOptions o;
    o.action = correct ? CliOptions::Action::Correct : CliOptions::Action::Coverage;
    o.map = parser.value(QStringLiteral("map"));
    o.logs = logs;
    o.target = parser.value(QStringLiteral("target"));
    o.noFilters = parser.values(QStringLiteral("no-filter"));
    for (const char* name : {"out", "report", "lock", "target"}) {
        const QString key = QLatin1String(name);
        if (parser.isSet(key) && parser.value(key).isEmpty()) {
            result.error = QStringLiteral("--%1 needs a value").arg(key);
            return result;
        }
    }
    o.out = parser.value(QStringLiteral("out"));
    o.report = parser.value(QStringLiteral("report"));
    o.lock = parser.value(QStringLiteral("lock"));
    if (parser.isSet(QStringLiteral("min-hits"))) {
        const auto n = parseWhole(parser.value(QStringLiteral("min-hits")));
        if (!n || *n < 1 || *n > 1000000000) {
            result.error = QStringLiteral("--min-hits takes a whole number from 1");
            return result;
        }
        o.minHits = int(*n);
    }
    if (parser.isSet(QStringLiteral("max-change"))) {
        const auto pct = parseNumber(parser.value(QStringLiteral("max-change")));
        if (!pct || !(*pct > 0) || *pct > 100) {
            result.error = QStringLiteral("--max-change takes a per cent above 0 and up to 100");
            return result;
        }
        o.maxChangePct = *pct;
    }
    for (const QString& name : o.noFilters) {
        if (!filterNamed(name)) {
            result.error =
                QStringLiteral("--no-filter takes range, cold, throttle, settle or gap, not '%1'")
                    .arg(name);
            return result;
        }
    }
    result.options = o;
    return result;
}

CliParse parseDyno(const QCommandLineParser& parser, const QStringList& logs) {
    CliParse result;
    CliOptions o;
    o.action = CliOptions::Action::Dyno;
    o.logs = logs;
    o.imperial = parser.isSet(QStringLiteral("imperial"));
    for (const QString& key : dynoNumbers()) {
        if (!parser.isSet(key)) continue;
        const auto v = parseNumber(parser.value(key));
        if (!v || !std::isfinite(*v)) {
            result.error =
                QStringLiteral("--%1 takes a number, not '%2'").arg(key, parser.value(key));
            return result;
        }
        o.dyno[key] = *v;
    }
    for (const QString& name : parser.optionNames()) {
        if (name != u"imperial" && name != u"settings" && !o.dyno.count(name)) {
            result.error = QStringLiteral("--%1 is not an option of 'dyno'").arg(name);
            return result;
        }
    }
    o.settings = parser.value(QStringLiteral("settings"));
    if (parser.isSet(QStringLiteral("settings")) && o.settings.isEmpty()) {
        result.error = QStringLiteral("--settings needs a value");
        return result;
    }
    if (o.dyno.count(QStringLiteral("from")) != o.dyno.count(QStringLiteral("to"))) {
        result.error = QStringLiteral("dyno takes --from and --to together");
    } else if (logs.isEmpty()) {
        result.error = QStringLiteral("dyno needs one or more log files");
    } else {
        result.options = o;
    }
    return result;
}
} // namespace

namespace {
const char kLogHelp[] =
    "Usage: kestrix-cli log [--out FILE | --out-dir DIR] [--port P] [--duration S]\n"
    "                       [--wideband P | --no-wideband] [--settings FILE]\n"
    "\n"
    "Records the ECU's live data into a log file with no display, until Ctrl+C or SIGTERM,\n"
    "or for S seconds. The file is the data logger's: Kestrix's replay and analyser open\n"
    "it. A pulled cable, the ignition off or a noisy line do not end the recording: no\n"
    "record is written while no data comes, and the same file goes on when it does.\n"
    "Each record carries the time its frame ended on the line. With a wideband controller\n"
    "its air/fuel ratio goes in the WBo2 column while it streams and reads a ready sensor\n"
    "(else the field is empty), its state in WB State and its frame's time in WB Time; a\n"
    "silent or lost controller never stops the ECU's records.\n"
    "\n"
    "  --out FILE       log into FILE; an existing file is never replaced\n"
    "  --out-dir DIR    a new file in DIR for each run, named by its start date and time\n"
    "                   (the default: the data logger's folder, else\n"
    "                   $XDG_DATA_HOME/Kestrix/logs)\n"
    "  --port P         the ECU port instead of the stored one: a number n for\n"
    "                   /dev/ttyS{n-1}, or a device path such as /dev/ttyUSB0 or\n"
    "                   /dev/serial/by-id/... (which keeps its name when the adapter is\n"
    "                   pulled and put back)\n"
    "  --duration S     stop after S seconds\n"
    "  --wideband P     the wideband controller's port (default: the stored one, if any)\n"
    "  --no-wideband    no wideband controller, even where one is stored\n"
    "  --settings FILE  the settings file (default ~/.config/Kestrix/Kestrix.ini)\n"
    "\n"
    "Port, speed, ECU id and model, units, speed correction, the twelve gauges of the data\n"
    "display with its switch registers, and the data logger's columns come from the\n"
    "settings, as Kestrix uses them. The settings are only read.\n"
    "\n"
    "Exit status: 0 done; 2 bad usage or unusable settings, or the --out file exists;\n"
    "3 the port cannot be opened; 4 the log or its folder cannot be created; 6 the log\n"
    "cannot be written: the disk is full, or another write failed (the records written\n"
    "before are kept).\n";

const char kCoverageHelp[] =
    "Usage: kestrix-cli coverage --map MAP.csv LOG...\n"
    "\n"
    "Counts, for each cell of the map saved by the map trace (\"Save Map...\"), the log\n"
    "records that fell in it, with the mean, lowest and highest WBo2 there, and prints them\n"
    "as the map trace's \"Export Coverage...\" writes them. Records without RPM or Throttle\n"
    "are skipped, and counted on stderr.\n"
    "\n"
    "  --map MAP.csv    the saved map whose cells are counted\n"
    "  LOG...           one or more logs of the data logger or of 'kestrix-cli log'\n"
    "\n"
    "Exit status: 0 done; 2 bad usage; 4 the coverage cannot be printed; 5 the map or a\n"
    "log cannot be read (the coverage of the other logs is printed).\n";

const char kCorrectHelp[] =
    "Usage: kestrix-cli correct --map MAP.csv [--target TARGET.csv] [--lock LOCK.csv]\n"
    "                           [--min-hits N] [--max-change PCT] [--no-filter NAME]...\n"
    "                           [--out FILE] [--report FILE] LOG...\n"
    "\n"
    "Suggests a fuel map from the logs' WBo2 and prints it alone, exactly as the map trace's\n"
    "\"Save Suggested Map...\" writes it, so that it opens as the map of the next pass. A\n"
    "summary line goes to stderr. It assumes a fuel map value is proportional to the fuel\n"
    "delivered: suggested = map x measured / target ratio. A wideband value held over several\n"
    "records counts as one reading. A cell keeps the map's value with fewer than N kept\n"
    "readings, with readings from one visit shorter than 1 s, when the standard error of its\n"
    "mean is over 1 % of the target, or when it is locked.\n"
    "\n"
    "  --map MAP.csv     the fuel map saved by the map trace (or a suggestion of this command)\n"
    "  --target FILE     target ratios in hundredths, in the map's layout (default: 14.70 at\n"
    "                    light load, down to 12.50 at full throttle, 12.00 at full throttle\n"
    "                    from 6000 rpm); the locks saved with it apply too\n"
    "  --lock FILE       cells that keep the map's value: a file in the map's layout of 0 and\n"
    "                    1 (1 locked)\n"
    "  --min-hits N      kept readings a cell needs for a suggestion (10)\n"
    "  --max-change PCT  the largest change of a cell in one pass, in % (15)\n"
    "  --no-filter NAME  let in the records a filter keeps out: range (WBo2 below 9 or above\n"
    "                    20), cold (water below 70 C), throttle (0.5 s after the throttle\n"
    "                    moved 0.5 V in 0.2 s), settle (0.25 s after entering a cell: the\n"
    "                    wideband's lag), gap (1 s around a pause or a clock going back);\n"
    "                    again for another\n"
    "  --out FILE        write the suggested map to FILE instead; an existing file is never\n"
    "                    replaced\n"
    "  --report FILE     write each cell's Change %, Difference (suggested - map), Hits kept,\n"
    "                    Readings kept, Visits and Spread, and the records each filter kept\n"
    "                    out (figures of a cell without a trusted suggestion in brackets);\n"
    "                    never replaces a file\n"
    "  LOG...            one or more logs with RPM, Throttle and WBo2\n"
    "\n"
    "Exit status: 0 done; 2 bad usage, or the --out or --report file exists; 4 the suggested\n"
    "map or the report cannot be written; 5 the map, the target, the locks or a log cannot\n"
    "be read (nothing is written: a map from part of the logs is no suggestion to flash);\n"
    "7 no WBo2 reading in any log (nothing is written).\n";

// Wider than the other usages' lines, as dyno's options need.
constexpr qsizetype kUsageWidth = 90;

// "kestrix-cli dyno [--mass KG] ... LOG..." after `lead`, its lines wrapped under the first.
QString dynoUsage(const QString& lead) {
    QStringList words;
    for (const VehicleInput& i : kVehicleInputs)
        words << vehicleInputUsage(i);
    words << QStringLiteral("[--from S --to S]") << QStringLiteral("[--imperial]")
          << QStringLiteral("[--settings FILE]") << QStringLiteral("LOG...");
    const QString start = lead + QStringLiteral("kestrix-cli dyno");
    QString text, line = start;
    for (const QString& w : words) {
        if (line.size() + 1 + w.size() > kUsageWidth) {
            text += line + u'\n';
            line = QString(start.size(), u' ');
        }
        line += u' ' + w;
    }
    return text + line + u'\n';
}

// After dyno's usage; then its inputs' lines, then the end.
const char kDynoHelpBody[] =
    "\n"
    "Finds the full-throttle pulls in one gear in each log (or takes the stretch from --from\n"
    "to --to) and prints for each a line '# pull N: ...' (its times, RPM span and gear in RPM\n"
    "per km/h), then 'RPM,Power kW,Torque Nm' every step (with ',AFR' when the log has\n"
    "WBo2 readings), then the peaks. A step is given only where the pull has records on both\n"
    "sides of it: half a second each side, narrowing to a quarter at the pull's ends. The\n"
    "vehicle inputs not given are\n"
    "those the Dyno window keeps in the settings. Records that are not numbers, or beyond any\n"
    "engine (over 20000 RPM or 500 km/h), are left out and counted on stderr.\n"
    "\n";
const char kDynoHelpEnd[] =
    "  --from S --to S  the pull's stretch, in seconds from the log's start\n"
    "  --imperial       hp and lb ft instead of kW and Nm\n"
    "  --settings FILE  the settings file (default ~/.config/Kestrix/Kestrix.ini)\n"
    "  LOG...           one or more logs of the data logger, of 'kestrix-cli log' or of the\n"
    "                   Dyno window's Record a Pull\n"
    "\n"
    "Exit status: 0 done; 2 bad usage, an input out of range or no --settings file; 4 the\n"
    "report cannot be printed; 5 a log cannot be read or has no RPM or Speed column (or no\n"
    "Throttle column without --from and --to; the pulls of the other logs are printed); 6 no\n"
    "pull in any log (it says why).\n";

QString dynoHelp() {
    QString text = dynoUsage(QStringLiteral("Usage: ")) + QString::fromUtf8(kDynoHelpBody);
    for (const VehicleInput& i : kVehicleInputs)
        text += vehicleInputHelpLine(i);
    return text + QString::fromUtf8(kDynoHelpEnd);
}

const char kOverview[] =
    "Usage: kestrix-cli log [--out FILE | --out-dir DIR] [--port P] [--duration S]\n"
    "                       [--settings FILE]\n"
    "       kestrix-cli coverage --map MAP.csv LOG...\n"
    "       kestrix-cli correct --map MAP.csv [--target TARGET.csv] [--lock LOCK.csv]\n"
    "                           [--min-hits N] [--max-change PCT] [--no-filter NAME]...\n"
    "                           [--out FILE] [--report FILE] LOG...\n";
// Then dyno's usage, then:
const char kOverviewEnd[] =
    "       kestrix-cli COMMAND --help\n"
    "       kestrix-cli --help | --version\n"
    "\n"
    "Kestrix's tools with no display:\n"
    "  log       record the ECU's live data into a log file\n"
    "  coverage  count where in a saved map the logs' records fell, with their WBo2\n"
    "  correct   suggest a fuel map from the WBo2 the logs measured in its cells\n"
    "  dyno      power and torque from the full-throttle pulls of logs\n"
    "\n"
    "  -h, --help       print this text, or with a command that command's options and\n"
    "                   exit statuses\n"
    "  --version        print the version\n"
    "\n"
    "Exit status: 0 done; 2 bad usage; the others are each command's (see its --help).\n"
    "The manual page kestrix-cli(1) and the user guide say more.\n";
} // namespace

QString cliHelpText(const QString& command) {
    if (command == u"log") return QString::fromUtf8(kLogHelp);
    if (command == u"coverage") return QString::fromUtf8(kCoverageHelp);
    if (command == u"correct") return QString::fromUtf8(kCorrectHelp);
    if (command == u"dyno") return dynoHelp();
    return QString::fromUtf8(kOverview) + dynoUsage(QStringLiteral("       ")) +
           QString::fromUtf8(kOverviewEnd);
}

CliExit logStartExit(int error, bool headerFailed) {
    if (error == EEXIST) return Usage;
    // A full disk may refuse the new file's name already, or take it and refuse its first line.
    if (headerFailed || error == ENOSPC || error == EDQUOT) return WriteFailed;
    return OutputFailed;
}

CliParse parseCliArgs(const QStringList& args) {
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version(QStringLiteral("version"), QString());
    const QCommandLineOption out(QStringLiteral("out"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption outDir(QStringLiteral("out-dir"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("P"));
    const QCommandLineOption duration(QStringLiteral("duration"), QString(), QStringLiteral("S"));
    const QCommandLineOption settings(QStringLiteral("settings"), QString(),
                                      QStringLiteral("FILE"));
    const QCommandLineOption map(QStringLiteral("map"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption wideband(QStringLiteral("wideband"), QString(),
                                      QStringLiteral("P"));
    const QCommandLineOption noWideband(QStringLiteral("no-wideband"));
    parser.addOptions({help, version, out, outDir, port, duration, settings, map, wideband,
                       noWideband});
    for (const QString& name : dynoNumbers())
        parser.addOption(QCommandLineOption(name, QString(), QStringLiteral("N")));
    parser.addOption(QCommandLineOption(QStringLiteral("imperial")));
    for (const QString& name : kCorrectOptions)
        parser.addOption(QCommandLineOption(name, QString(), QStringLiteral("V")));
    // "-abc" is not three options.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);

    CliParse result;
    const bool parsed = parser.parse(args);
    CliOptions o;
    if (parser.isSet(help) || parser.isSet(version)) {
        o.action = parser.isSet(help) ? CliOptions::Action::Help : CliOptions::Action::Version;
        o.helpFor = parser.positionalArguments().value(0);
        result.options = o;
        return result;
    }
    if (!parsed) {
        result.error = parser.errorText();
        return result;
    }
    const QStringList words = parser.positionalArguments();
    if (words.isEmpty()) {
        result.error = QStringLiteral("No command given: kestrix-cli log [options]");
        return result;
    }
    if (words[0] == u"coverage" || words[0] == u"correct")
        return parseMapReport(parser, words[0], words.mid(1));
    if (words[0] == u"dyno") return parseDyno(parser, words.mid(1));
    if (words[0] != u"log") {
        result.error = QStringLiteral("Unknown command '%1'").arg(words[0]);
        return result;
    }
    for (const QString& name : parser.optionNames()) {
        if (name == u"map" || kCorrectOptions.contains(name) || isDynoOption(name)) {
            result.error = QStringLiteral("--%1 is for '%2'").arg(name, optionOwner(name));
            return result;
        }
    }
    if (words.size() > 1) {
        result.error = QStringLiteral("Unexpected argument '%1'").arg(words[1]);
        return result;
    }
    for (const auto* named : {&out, &outDir, &port, &settings, &wideband}) {
        if (parser.isSet(*named) && parser.value(*named).isEmpty()) {
            result.error = QStringLiteral("--%1 needs a value").arg(named->names().constFirst());
            return result;
        }
    }
    if (parser.isSet(out) && parser.isSet(outDir)) {
        result.error = QStringLiteral("--out and --out-dir cannot be used together");
        return result;
    }
    if (parser.isSet(wideband) && parser.isSet(noWideband)) {
        result.error = QStringLiteral("--wideband and --no-wideband cannot be used together");
        return result;
    }
    if (parser.isSet(duration)) {
        const QString text = parser.value(duration);
        const auto s = parseNumber(text);
        // The timer counts milliseconds in an int: up to about 24 days.
        if (!s || !std::isfinite(*s) || *s <= 0 || *s > kMaxDurationS) {
            result.error = QStringLiteral("--duration takes seconds, above 0 and up to %1, not "
                                          "'%2'")
                               .arg(kMaxDurationS)
                               .arg(text);
            return result;
        }
        o.durationS = *s;
    }
    o.out = parser.value(out);
    o.outDir = parser.value(outDir);
    o.port = parser.value(port);
    o.settings = parser.value(settings);
    o.wideband = parser.value(wideband);
    o.noWideband = parser.isSet(noWideband);
    result.options = o;
    return result;
}

} // namespace kx
