// Turns the user guide's Markdown into one HTML page for the desktop's browser:
//   kestrix-guide-html GUIDE.md OUT.html
// Qt's own Markdown reader, so the build needs nothing more than Kestrix does.
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTextDocument>
#include <cstdio>

namespace {
// The anchor a heading gets on the web's Markdown viewers, so the guide's "#first-connection"
// links work in the browser too: lower case, punctuation dropped, spaces as hyphens.
QString slug(const QString& heading) {
    QString s = heading.toLower();
    s.remove(QRegularExpression(QStringLiteral("[^a-z0-9 _-]")));
    return s.replace(u' ', u'-');
}

QString withAnchors(QString html) {
    static const QRegularExpression heading(QStringLiteral("<h([1-3])([^>]*)>(.*?)</h\\1>"));
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    QString out;
    qsizetype from = 0;
    for (auto it = heading.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString text = QString(m.captured(3)).remove(tags);
        out += html.mid(from, m.capturedStart() - from);
        out += QStringLiteral("<a name=\"%1\"></a>").arg(slug(text)) + m.captured(0);
        from = m.capturedEnd();
    }
    return out + html.mid(from);
}
} // namespace

int main(int argc, char** argv) {
    // A text document needs fonts, and fonts a platform; none is drawn.
    qputenv("QT_QPA_PLATFORM", "minimal");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: kestrix-guide-html GUIDE.md OUT.html\n", stderr);
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kestrix-guide-html: cannot read %s\n", argv[1]);
        return 1;
    }
    QTextDocument doc;
    doc.setMarkdown(QString::fromUtf8(in.readAll()));
    doc.setMetaInformation(QTextDocument::DocumentTitle, QStringLiteral("Kestrix user guide"));
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(withAnchors(doc.toHtml()).toUtf8()) < 0 || !out.flush()) {
        std::fprintf(stderr, "kestrix-guide-html: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
