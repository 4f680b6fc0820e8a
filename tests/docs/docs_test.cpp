// The user guide and the manual page, read from the source tree: every picture the guide names
// is there, every window of the tool table is in the guide, and the command line's help, the
// manual page and the guide agree on options and exit statuses.
#include "app/tool_table.h"
#include "cli/cli_options.h"
#include "util/data_files.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kx;

namespace {
// Windows whose picture is not named after them.
const QMap<QString, QString> kPictureOf = {{QStringLiteral("frmDyno"), QStringLiteral("dyno")}};

QString docsFile(const QString& name) {
    QFile f(QStringLiteral(KX_DOCS_DIR) + u'/' + name);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
    return QString::fromUtf8(f.readAll());
}

QSet<QString> matches(const QString& text, const QString& pattern) {
    QSet<QString> found;
    for (auto it = QRegularExpression(pattern).globalMatch(text); it.hasNext();)
        found.insert(it.next().captured(1));
    return found;
}

// The numbers of "Exit status: 0 done; 2 bad usage; ..." up to the end of the paragraph.
QSet<QString> exitStatuses(const QString& text) {
    const qsizetype at = text.indexOf(QStringLiteral("xit status"));
    if (at < 0) return {};
    const QString rest =
        text.mid(at).section(QStringLiteral("\n\n"), 0, 0).section(QStringLiteral("\n.SS"), 0, 0);
    return matches(QString(rest).replace(u'\n', u' '), QStringLiteral("(?:: |; )(\\d)\\s"));
}
} // namespace

TEST(Guide, NamesPicturesThatExistAndEveryWindow) {
    const QString guide = docsFile(QStringLiteral("guide.md"));
    const QSet<QString> pictures = matches(guide, QStringLiteral("\\]\\(images/([^)]+\\.png)\\)"));
    EXPECT_GE(pictures.size(), 20);
    for (const QString& p : pictures) {
        EXPECT_TRUE(QFile::exists(QStringLiteral(KX_DOCS_DIR "/images/") + p))
            << p.toStdString() << " is named by the guide: run scripts/shots";
    }
    for (const ToolRow& row : toolTable()) {
        const QString name = QString::fromLatin1(row.name);
        SCOPED_TRACE(name.toStdString());
        // Every window has a picture of its own, named for it.
        EXPECT_TRUE(guide.contains(QStringLiteral("](images/") + kPictureOf.value(name, name)));
        if (!row.caption) continue;
        // And is called what its button or menu entry calls it: "Log Analyser F7".
        QString caption = QString::fromLatin1(row.caption).remove(u'&').simplified();
        caption.remove(QRegularExpression(QStringLiteral(" F\\d+$")));
        EXPECT_TRUE(guide.contains(caption)) << caption.toStdString();
    }
}

TEST(Guide, CommandLineHelpManPageAndGuideAgree) {
    const QString man = docsFile(QStringLiteral("kestrix-cli.1"));
    const QString guide = docsFile(QStringLiteral("guide.md"));
    const QString guideCli = guide.section(QStringLiteral("## The command line"), 1)
                                 .section(QStringLiteral("\n## "), 0, 0);
    const QSet<QString> commands = matches(man, QStringLiteral("\n\\.SS ([a-z]+)\n"));
    EXPECT_TRUE(commands.contains(QStringLiteral("log")));
    for (const QString& command : commands) {
        SCOPED_TRACE(command.toStdString());
        const QString help = cliHelpText(command);
        const QString manSection =
            man.section(QStringLiteral(".SS ") + command, 1).section(QStringLiteral("\n.S"), 0, 0);
        ASSERT_FALSE(manSection.isEmpty());
        const QSet<QString> options = matches(help, QStringLiteral("(--[a-z-]+)"));
        EXPECT_FALSE(options.isEmpty());
        for (const QString& o : options) {
            EXPECT_TRUE(manSection.contains(QString(o).replace(u'-', QStringLiteral("\\-"))))
                << o.toStdString() << " is not in the manual page";
            EXPECT_TRUE(guideCli.contains(o)) << o.toStdString() << " is not in the guide";
        }
        const QSet<QString> statuses = exitStatuses(help);
        EXPECT_GE(statuses.size(), 3);
        EXPECT_EQ(exitStatuses(manSection), statuses);
        EXPECT_EQ(exitStatuses(guideCli.section(QStringLiteral("**") + command + "**", 1)),
                  statuses);
    }
    // "kestrix-cli coverage --help" is coverage's help.
    const CliParse asked = parseCliArgs({"kestrix-cli", "coverage", "--help"});
    ASSERT_TRUE(asked.options);
    EXPECT_EQ(asked.options->helpFor, "coverage");
    // The overview names every command this build has.
    for (const QString& command : commands) {
        const CliParse p = parseCliArgs({"kestrix-cli", command});
        if (p.error.startsWith(QStringLiteral("Unknown command"))) continue;
        EXPECT_TRUE(cliHelpText().contains(QStringLiteral("  ") + command + u' '))
            << command.toStdString();
    }
}

TEST(Guide, ManPagesNameOnlyPagesThatAreInstalled) {
    const QString cmake = docsFile(QStringLiteral("../CMakeLists.txt"));
    for (const QString& page : {QStringLiteral("kestrix.1"), QStringLiteral("kestrix-cli.1")}) {
        SCOPED_TRACE(page.toStdString());
        EXPECT_TRUE(cmake.contains(QStringLiteral("docs/") + page)) << "not installed";
        const QString seeAlso = docsFile(page).section(QStringLiteral(".SH SEE ALSO"), 1);
        for (const QString& named : matches(seeAlso, QStringLiteral("\\.BR ([a-z\\\\-]+) \\(1\\)")))
            EXPECT_TRUE(cmake.contains(QStringLiteral("docs/") + QString(named).remove(u'\\') +
                                       QStringLiteral(".1")))
                << named.toStdString();
    }
    // Without the desktop program only what is installed outside its block is there, and the
    // command-line page loses the lines between its "desktop" comments: what stays names no
    // page and no guide installed only with the desktop program.
    QStringList desktopOnly;
    QStringList blocks; // the conditions of the open if-blocks, "!" before an else
    for (const QString& raw : cmake.split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith(QStringLiteral("if(")))
            blocks.push_back(line.mid(3, line.indexOf(u')') - 3));
        else if (line.startsWith(QStringLiteral("else(")) && !blocks.isEmpty())
            blocks.back().prepend(u'!');
        else if (line.startsWith(QStringLiteral("endif(")) && !blocks.isEmpty())
            blocks.pop_back();
        else if (line.startsWith(QStringLiteral("install(FILES docs/")) &&
                 blocks.contains(QStringLiteral("KESTRIX_DESKTOP")))
            desktopOnly += line.section(u' ', 1, 1).mid(5);
    }
    EXPECT_TRUE(desktopOnly.contains(QStringLiteral("kestrix.1")))
        << desktopOnly.join(u' ').toStdString();
    QString cliPage = docsFile(QStringLiteral("kestrix-cli.1"));
    cliPage.remove(
        QRegularExpression(QStringLiteral("\\.\\\\\" desktop[^\n]*\n.*\\.\\\\\" end desktop\n"),
                           QRegularExpression::DotMatchesEverythingOption));
    const QString cliSeeAlso = cliPage.section(QStringLiteral(".SH SEE ALSO"), 1);
    EXPECT_FALSE(cliSeeAlso.contains(QStringLiteral("share/kestrix/guide")));
    for (const QString& named : matches(cliSeeAlso, QStringLiteral("\\.BR ([a-z\\\\-]+) \\(1\\)")))
        EXPECT_FALSE(desktopOnly.contains(QString(named).remove(u'\\') + QStringLiteral(".1")))
            << named.toStdString();
    EXPECT_TRUE(cmake.contains(QStringLiteral("\" desktop[^\\n]*\\n.*")))
        << "the build leaves out the same lines";
}

TEST(DataFiles, TheCopyBesideTheProgramIsFound) {
    QTemporaryDir root;
    const QString relative = QString::fromLatin1(kUserGuideFile);
    const auto place = [&](const QString& share) {
        QDir().mkpath(QFileInfo(share + u'/' + relative).path());
        QFile f(share + u'/' + relative);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        return QFileInfo(f).canonicalFilePath();
    };
    // Installed: prefix/bin and prefix/share. From a build: build/ and build/share.
    QDir().mkpath(root.filePath("usr/bin"));
    const QString installed = place(root.filePath("usr/share"));
    EXPECT_EQ(findUserGuide(root.filePath("usr/bin")), installed);
    const QString built = place(root.filePath("build/share"));
    EXPECT_EQ(findUserGuide(root.filePath("build")), built);
    EXPECT_EQ(findDataFile(QStringLiteral("kestrix/none-such.html"), root.filePath("usr/bin")),
              QString());
}
