#include "util/user_file.h"

#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kx {

namespace {

QString systemReason(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

UserFile failure(int error, const QString& reason) {
    return UserFile{-1, reason, error};
}

UserFile failure(int error) {
    return failure(error, systemReason(error));
}

UserFile notRegular(mode_t mode) {
    if (S_ISLNK(mode)) return failure(ELOOP, QStringLiteral("It is a symbolic link"));
    if (S_ISDIR(mode)) return failure(EISDIR);
    return failure(EINVAL, QStringLiteral("It is not a regular file"));
}

// O_NONBLOCK: opening a FIFO (or a device) must never wait for the other end.
constexpr int kOpenFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

UserFile createNew(const QByteArray& name) {
    const int fd = ::open(name.constData(), kOpenFlags | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) return UserFile{fd, {}, 0, true};
    if (errno != EEXIST) return failure(errno);
    struct stat st {};
    // A dangling symbolic link also gives EEXIST: name it for what it is.
    if (::lstat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode)) return notRegular(st.st_mode);
    return failure(EEXIST, QStringLiteral("The file already exists"));
}

// Opens an existing file without creating one; ENOENT tells the caller to create it.
UserFile openExisting(const QByteArray& name) {
    const int fd = ::open(name.constData(), kOpenFlags);
    if (fd >= 0) return UserFile{fd, {}, 0};
    return errno == ELOOP ? notRegular(S_IFLNK) : failure(errno);
}

} // namespace

UserFile openUserFile(const QString& path, ExistingFile existing) {
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty()) return failure(ENOENT, QStringLiteral("No file name"));
    struct stat st {};
    // Look first, so that no device is even opened; the descriptor is checked again below.
    if (::lstat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode)) return notRegular(st.st_mode);

    UserFile file;
    if (existing == ExistingFile::Refuse) {
        file = createNew(name);
    } else {
        file = openExisting(name);
        if (file.error == ENOENT) file = createNew(name);
    }
    if (!file.ok()) return file;

    // The name may have changed between the look and the open.
    const bool statted = ::fstat(file.fd, &st) == 0;
    if (!statted || !S_ISREG(st.st_mode)) {
        const UserFile refused = statted ? notRegular(st.st_mode) : failure(errno);
        ::close(file.fd);
        return refused;
    }
    if (existing == ExistingFile::Replace && st.st_size > 0 && ::ftruncate(file.fd, 0) != 0) {
        const int err = errno;
        ::close(file.fd);
        return failure(err);
    }
    // Writes to a regular file may block as they always do.
    ::fcntl(file.fd, F_SETFL, ::fcntl(file.fd, F_GETFL) & ~O_NONBLOCK);
    return file;
}

namespace {
std::optional<QString> writeAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return QString::fromLocal8Bit(std::strerror(errno));
        p += n;
        left -= n;
    }
    if (::fsync(fd) != 0) return QString::fromLocal8Bit(std::strerror(errno));
    return std::nullopt;
}
} // namespace

std::optional<QString> writeUserText(const QString& path, const QByteArray& bytes,
                                     ExistingFile existing) {
    const auto failed = [&](const QString& why) {
        return QStringLiteral("Cannot write '%1': %2").arg(path, why);
    };
    const UserFile fresh = openUserFile(path, ExistingFile::Refuse);
    if (fresh.ok()) {
        auto error = writeAll(fresh.fd, bytes);
        if (::close(fresh.fd) != 0 && !error) error = QString::fromLocal8Bit(std::strerror(errno));
        if (!error) return std::nullopt;
        QFile::remove(path); // ours, and incomplete
        return failed(*error);
    }
    if (fresh.error != EEXIST || existing != ExistingFile::Replace) return failed(fresh.reason);
    // An existing regular file the user agreed to replace: the new content goes to a file
    // beside it that takes its place once complete, so a failed write leaves the old one.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return std::nullopt;
    return failed(file.errorString());
}

} // namespace kx
