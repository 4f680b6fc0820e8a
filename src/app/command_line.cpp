#include "app/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

namespace kx {

void answerCommandLine(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "ECU diagnostics, live data and logging.\n\n"
        "Settings are kept in ~/.config/Kestrix/Kestrix.ini; the environment variable\n"
        "KESTRIX_SETTINGS names another settings file."));
    // Not addHelpOption: its --help-all would want Qt's own options, which are read later.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays this help."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    parser.parse(args); // unknown options are Qt's own (-platform, -style ...)

    QString text;
    if (parser.isSet(help)) {
        // Without an application object the parser cannot name the program itself.
        text = parser.helpText().replace(
            QStringLiteral("<executable_name>"),
            QFileInfo(args.value(0, QStringLiteral("kestrix"))).fileName());
    } else if (parser.isSet(version)) {
        text = QStringLiteral("Kestrix %1\n").arg(QStringLiteral(KESTRIX_VERSION));
    } else {
        return;
    }
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::exit(EXIT_SUCCESS);
}

} // namespace kx
