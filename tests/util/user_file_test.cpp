#include "util/user_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kx;

namespace {

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void put(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(UserFile, OpensOnlyRegularFilesAndReplacesOnlyWhenAgreed) {
    QTemporaryDir dir;
    const auto at = [&](const char* name) { return dir.filePath(name); };
    put(at("old.log"), "old content");
    put(at("target.log"), "target content");
    ASSERT_TRUE(QFile::link(at("target.log"), at("link.log")));
    ASSERT_TRUE(QFile::link(at("nowhere.log"), at("dangling.log")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("fifo.log")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));

    struct Case {
        const char* name;
        ExistingFile existing;
        const char* reason; // empty: opened
        QByteArray left;    // the file's content afterwards (for regular files)
    };
    const Case cases[] = {
        {"new.log", ExistingFile::Refuse, "", ""},
        {"new2.log", ExistingFile::Replace, "", ""},
        {"old.log", ExistingFile::Refuse, "The file already exists", "old content"},
        {"old.log", ExistingFile::Replace, "", ""},
        {"link.log", ExistingFile::Refuse, "It is a symbolic link", "target content"},
        {"link.log", ExistingFile::Replace, "It is a symbolic link", "target content"},
        {"dangling.log", ExistingFile::Refuse, "It is a symbolic link", ""},
        {"dangling.log", ExistingFile::Replace, "It is a symbolic link", ""},
        // Without O_NONBLOCK and the type check these would block for a reader for ever.
        {"fifo.log", ExistingFile::Refuse, "It is not a regular file", ""},
        {"fifo.log", ExistingFile::Replace, "It is not a regular file", ""},
        {"sub", ExistingFile::Replace, "Is a directory", ""},
        {"missing/x.log", ExistingFile::Refuse, "No such file or directory", ""},
        {"", ExistingFile::Replace, "No file name", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = *c.name ? at(c.name) : QString();
        const UserFile f = openUserFile(path, c.existing);
        EXPECT_EQ(f.reason, QString::fromLatin1(c.reason));
        EXPECT_EQ(f.ok(), !*c.reason);
        EXPECT_EQ(f.error != 0, !f.ok());
        if (f.ok()) {
            EXPECT_EQ(::write(f.fd, "new", 3), 3);
            ::close(f.fd);
            EXPECT_EQ(contents(path), "new");
        } else if (!c.left.isEmpty()) {
            EXPECT_EQ(contents(path), c.left);
        }
    }
    EXPECT_EQ(contents(at("target.log")), "target content");
    EXPECT_FALSE(QFile::exists(at("nowhere.log")));
}
