#pragma once
// The files installed with the program under its data directory (share/).
#include <QString>

namespace kx {

// The user guide, under a data directory.
inline constexpr char kUserGuideFile[] = "kestrix/guide/guide.html";

// The file at `relative` under a data directory: the one beside the program first (prefix/bin
// and prefix/share, or a build tree's share/), then the system's data folders. "" when none
// has it.
QString findDataFile(const QString& relative, const QString& appDir);

inline QString findUserGuide(const QString& appDir) {
    return findDataFile(QString::fromLatin1(kUserGuideFile), appDir);
}

} // namespace kx
