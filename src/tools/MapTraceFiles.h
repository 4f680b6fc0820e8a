#pragma once
// The map trace's files: the choosers with the folder they remember, and the reading of added
// logs on a thread of its own.
#include "tools/map_logs.h"
#include "util/background.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace kx {

class Dialogs;

// The choosers' filter for map and target files.
inline constexpr char kMapFileFilter[] = "CSV Files|*.csv|All Files|*.*";

// The map trace's file choosers: one folder remembered for maps, logs and targets, and a file
// replaced only when the user agrees.
class MapTraceFiles {
public:
    MapTraceFiles(QWidget* window, Dialogs& dialogs, QString folder)
        : window_(window), dialogs_(dialogs), folder_(std::move(folder)) {}
    QString open(const QString& filter);
    QStringList openMany(const QString& filter);
    // Asks where, and whether to replace a file that is there; a failed write says so.
    void save(const QString& preset, const QByteArray& text);
    // Says why a file could not be opened.
    void refused(const QString& what, const QString& path, const QString& why);

private:
    QWidget* window_;
    Dialogs& dialogs_;
    QString folder_;
};

// Reads the chosen logs on a thread of its own, so the live trace goes on meanwhile; `done` runs
// on `receiver`'s thread. Destroying it stops the reading: `done` never runs after.
class LogAdder {
public:
    LogAdder(QObject* receiver, QStringList paths, MapScales scales,
             std::function<void(const LogFilesCoverage&)> done);

private:
    BackgroundJob<LogFilesCoverage> job_;
};

} // namespace kx
