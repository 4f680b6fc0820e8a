#pragma once
// Opening a file the user named for writing (a log, a dump, a trace). The name comes from a
// file chooser or a setting, so it may be a symbolic link, a FIFO or a device, or an older file
// the user never meant to lose: none of these is written through, none blocks the window.
#include <QByteArray>
#include <QString>
#include <optional>

namespace kx {

// What happens to a file that already has the chosen name.
enum class ExistingFile {
    Refuse,  // only a new file is created; an existing one is left alone
    Replace, // the user agreed to replace it: its old content is dropped
};

// An open write-only descriptor, or the reason there is none.
struct UserFile {
    int fd = -1;    // owned by the caller (close() it, or hand it to QFile with AutoCloseHandle)
    QString reason; // when fd < 0: why, in words for a message box
    int error = 0;  // when fd < 0: the system's error number (ELOOP for a symbolic link,
                    // EEXIST for a file kept, EINVAL for a FIFO or device)
    // When fd >= 0: this open made the file, so nothing of the user's is in it.
    bool created = false;
    bool ok() const { return fd >= 0; }
};

// Opens `path` for writing without following a symbolic link at its last component and
// without blocking (a FIFO is refused, not waited on). Only a regular file is accepted. A new
// file is created exclusively; an existing one is refused or emptied as `existing` says.
UserFile openUserFile(const QString& path, ExistingFile existing);

// Writes `bytes` as the whole content of the user's file `path` (see openUserFile). The reason
// when it fails; a partly written file is removed if this call created it.
std::optional<QString> writeUserText(const QString& path, const QByteArray& bytes,
                                     ExistingFile existing);

} // namespace kx
