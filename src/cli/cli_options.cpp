#include "cli/cli_options.h"

#include "util/numbers.h"

#include <QCommandLineParser>
#include <QLocale>
#include <algorithm>
#include <cerrno>
#include <cmath>

namespace kx {

namespace {
constexpr int kMaxDurationS = 2000000;

CliParse parseCoverage(const QCommandLineParser& parser, const QStringList& logs,
                       const QCommandLineOption& map) {
    CliParse result;
    for (const QString& name : parser.optionNames()) {
        if (name != u"map") {
            result.error = QStringLiteral("--%1 is for 'log'").arg(name);
            return result;
        }
    }
    if (parser.value(map).isEmpty()) {
        result.error = QStringLiteral("coverage needs the map: --map MAP.csv");
        return result;
    }
    if (logs.isEmpty()) {
        result.error = QStringLiteral("coverage needs one or more log files");
        return result;
    }
    CliOptions o;
    o.action = CliOptions::Action::Coverage;
    o.map = parser.value(map);
    o.logs = logs;
    result.options = o;
    return result;
}
const char* const kDynoNumbers[] = {"mass", "cda", "crr", "rho", "loss", "step", "from", "to"};

CliParse parseDyno(const QCommandLineParser& parser, const QStringList& logs) {
    CliParse result;
    CliOptions o;
    o.action = CliOptions::Action::Dyno;
    o.logs = logs;
    o.imperial = parser.isSet(QStringLiteral("imperial"));
    for (const char* name : kDynoNumbers) {
        const QString key = QLatin1String(name);
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
        if (name != u"imperial" && !o.dyno.count(name)) {
            result.error = QStringLiteral("--%1 is not an option of 'dyno'").arg(name);
            return result;
        }
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

QString cliHelpText() {
    return QStringLiteral(
        "Usage: kestrix-cli log [--out FILE | --out-dir DIR] [--port P] [--duration S]\n"
        "                       [--settings FILE]\n"
        "       kestrix-cli coverage --map MAP.csv LOG...\n"
        "       kestrix-cli dyno [--mass KG] [--cda M2] [--crr C] [--rho KG_M3] [--loss PCT]\n"
        "                        [--step RPM] [--from S --to S] [--imperial] LOG...\n"
        "       kestrix-cli --help | --version\n"
        "\n"
        "Records the ECU's live data into a log file with no display, until Ctrl+C or SIGTERM,\n"
        "or for S seconds. The file is the data logger's: Kestrix's replay and analyser open\n"
        "it. A pulled cable, the ignition off or a noisy line do not end the recording: no\n"
        "record is written while no data comes, and the same file goes on when it does.\n"
        "\n"
        "  --out FILE       log into FILE; an existing file is never replaced\n"
        "  --out-dir DIR    a new file in DIR for each run, named by its start date and time\n"
        "                   (the default: the data logger's folder, else the current one)\n"
        "  --port P         the ECU port instead of the stored one: a number n for\n"
        "                   /dev/ttyS{n-1}, or a device path such as /dev/ttyUSB0\n"
        "  --duration S     stop after S seconds\n"
        "  --settings FILE  the settings file (default ~/.config/Kestrix/Kestrix.ini)\n"
        "  -h, --help       print this text\n"
        "  --version        print the version\n"
        "\n"
        "Port, speed, ECU id and model, units, speed correction, the twelve gauges of the data\n"
        "display with its switch registers, and the data logger's columns come from the\n"
        "settings, as Kestrix uses them. The settings are only read.\n"
        "\n"
        "coverage counts, for each cell of the map saved by the map trace (\"Save Map...\"),\n"
        "the log records that fell in it, with the mean, lowest and highest WBo2 there, and\n"
        "prints them as the map trace's \"Export Coverage...\" writes them. Records without\n"
        "RPM or Throttle are skipped, and counted on stderr.\n"
        "\n"
        "dyno finds the full-throttle pulls in one gear in each log (or takes --from/--to, in\n"
        "seconds from the log's start) and prints for each a line '# pull N: ...', then\n"
        "'RPM,Power kW,Torque Nm' every 250 RPM (--step), hp and lb ft with --imperial, then\n"
        "the peaks. The vehicle inputs default to those the Dyno window keeps: mass with\n"
        "driver, CdA (0.65 m2), rolling coefficient (0.015), air density (1.2 kg/m3) and the\n"
        "drivetrain loss in % (0: power at the wheels).\n"
        "\n"
        "Exit status: 0 done; 2 bad usage or unusable settings, or the output file exists;\n"
        "3 the port cannot be opened; 4 the output cannot be created (or the coverage\n"
        "printed); 5 the map or a log cannot be read (the coverage of the other logs is\n"
        "printed); 6 the log cannot be written: the disk is full, or another write failed\n"
        "(the records written before are kept), or dyno found no pull (it says why).\n");
}

CliExit logStartExit(int error, bool headerFailed) {
    if (error == EEXIST) return Usage;
    // A full disk may refuse the new file's name already, or take it and refuse its first line.
    if (headerFailed || error == ENOSPC || error == EDQUOT) return WriteFailed;
    return OutputFailed;
}

QString runFileName(const QDateTime& start) {
    return QLocale::c().toString(start, QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
           QStringLiteral(".log");
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
    parser.addOptions({help, version, out, outDir, port, duration, settings, map});
    for (const char* name : kDynoNumbers)
        parser.addOption(QCommandLineOption(QLatin1String(name), QString(), QStringLiteral("N")));
    parser.addOption(QCommandLineOption(QStringLiteral("imperial")));
    // "-abc" is not three options.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);

    CliParse result;
    const bool parsed = parser.parse(args);
    CliOptions o;
    if (parser.isSet(help) || parser.isSet(version)) {
        o.action = parser.isSet(help) ? CliOptions::Action::Help : CliOptions::Action::Version;
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
    if (words[0] == u"coverage") return parseCoverage(parser, words.mid(1), map);
    if (words[0] == u"dyno") return parseDyno(parser, words.mid(1));
    if (words[0] != u"log") {
        result.error = QStringLiteral("Unknown command '%1'").arg(words[0]);
        return result;
    }
    for (const QString& name : parser.optionNames()) {
        if (name == u"map" || name == u"imperial" ||
            std::any_of(std::begin(kDynoNumbers), std::end(kDynoNumbers),
                        [&](const char* d) { return name == QLatin1String(d); })) {
            result.error = QStringLiteral("--%1 is for '%2'")
                               .arg(name, name == u"map" ? QStringLiteral("coverage")
                                                         : QStringLiteral("dyno"));
            return result;
        }
    }
    if (words.size() > 1) {
        result.error = QStringLiteral("Unexpected argument '%1'").arg(words[1]);
        return result;
    }
    for (const auto* named : {&out, &outDir, &port, &settings}) {
        if (parser.isSet(*named) && parser.value(*named).isEmpty()) {
            result.error = QStringLiteral("--%1 needs a value").arg(named->names().constFirst());
            return result;
        }
    }
    if (parser.isSet(out) && parser.isSet(outDir)) {
        result.error = QStringLiteral("--out and --out-dir cannot be used together");
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
    result.options = o;
    return result;
}

} // namespace kx
