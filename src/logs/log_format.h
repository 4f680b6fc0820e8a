#pragma once
// The data log file: one header line naming the columns, then one record line per frame.
// Lines end in CR LF, fields are separated by ", ", all text is single-byte.
#include "live/channels.h"
#include "live/live_data.h"
#include "util/user_file.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace kx {

inline constexpr int kLogGaugeCount = kChannelCount;
inline constexpr int kLogIndicatorCount = kIndicatorCount;

// The file choosers' filter for log files.
inline constexpr char kLogFileFilter[] = "Log Files|*.log|Text Files|*.txt|All Files|*.*";

// Indicator column names, by indicator number (the logger's indicator check box captions).
extern const std::array<const char*, kLogIndicatorCount> kLogIndicatorNames;

// The logger's gauge check box captions, by gauge number (unit-free names).
extern const std::array<const char*, kLogGaugeCount> kLogGaugeCaptions;
// Catalogue name per gauge number, as the caller's gauge catalogue gives it.
using LogGaugeNames = std::array<QString, kLogGaugeCount>;

// Which gauges and indicators are logged (the checked boxes).
struct LogSelection {
    std::array<bool, kLogGaugeCount> gauges{};
    std::array<bool, kLogIndicatorCount> indicators{};
    // The wideband controller's state and its frame's time, after the indicators, so a log says
    // why a ratio is missing and readings can be told apart from records.
    bool wbDetail = false;
};

// The columns that follow the indicators when the wideband's detail is logged.
inline constexpr char kLogWbStateName[] = "WB State";
inline constexpr char kLogWbTimeName[] = "WB Time";

// One frame's values: gauge values in the user's units (NaN: no value, an empty field) and
// indicator state texts; the wideband's state word and its frame's time since the start.
struct LogValues {
    std::array<float, kLogGaugeCount> gauges{};
    std::array<QString, kLogIndicatorCount> states{};
    QString wbState;
    std::optional<uint64_t> wbMs;
};

// "Time" then the selected gauge names, then the selected indicator names, then the wideband's
// detail; ends in CR LF.
QByteArray logHeaderLine(const LogGaugeNames& names, const LogSelection& selection);

// Whole seconds with at least three digits, ".", milliseconds as three digits: 5 -> "000.005".
QByteArray logTimeStamp(uint64_t ms);

// Time stamp, then the selected gauge values and indicator states; ends in CR LF.
QByteArray logRecordLine(uint64_t ms, const LogSelection& selection, const LogValues& values);

// A log's file name by its start: 2025-03-05_09-07-12.log (sorts by time, and holds no
// character that a FAT-formatted stick refuses). Every log the program makes is named so.
QString logFileName(const QDateTime& start);
// Where logs go unless the user chose a folder: the user's data folder
// ($XDG_DATA_HOME/Kestrix/logs/), ending in a separator.
QString defaultLogFolder();

// What a running recording has done: "Logging: 1234 records, 2:03, 45.3 kB"; and what a
// finished one holds: "Saved 1234 records (45.3 kB) to /path/file.log".
QString loggingText(uint64_t records, uint64_t elapsedMs, qint64 bytes);
QString savedText(uint64_t records, qint64 bytes, const QString& path);

// A free name for a log beside `fileName` in `dir` (ending in a separator): the name itself when
// no such file exists, else "name-2.log", "name-3.log", ...
QString freeLogName(const QString& dir, const QString& fileName);

class FileSyncer;

// Why a log could not be started.
struct LogStartError {
    QString text;              // names the file and the reason
    int error = 0;             // the system's error number (EEXIST: the name is another file's)
    bool headerFailed = false; // the file opened but its first line could not be written
};

// Writes a log file. Every line goes to the operating system in one write() as it is recorded,
// so a crash or kill of the program loses no record already written, and the file is pushed to
// the disk once a second while logging (on a thread of its own, so a slow stick never holds
// the window), so a power cut loses about the last second. A failed write cuts the file back to
// its last complete line, so a reader never takes a cut-off record for a value.
class LogWriter {
public:
    LogWriter();
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    // How long records may wait in the system's cache before they are pushed to the disk.
    static constexpr uint32_t kSyncMs = 1000;

    // Creates `path` (an existing file only when the user agreed to replace it), writes the
    // header and takes `startTick` as time zero. The columns stay those of `selection` until
    // stop(). On failure the writer is left closed, and a file this call created is removed.
    std::optional<LogStartError> start(const QString& path, const LogGaugeNames& names,
                                       const LogSelection& selection, uint32_t startTick,
                                       ExistingFile existing = ExistingFile::Refuse);
    // Appends one record of the header's columns timed at `nowTick` (the 32-bit tick counter
    // may have wrapped since start), and asks for a push to the disk when kSyncMs have passed
    // since the last one. Does nothing when not started. Returns an error text if the write
    // failed (the file then ends on its last complete record) or an earlier push did.
    std::optional<QString> record(const LogValues& values, uint32_t nowTick);
    // One record of the live values of a frame that came at tick `at`. Live frames are held
    // back one frame by the spike filter, so the one let through just after start() may have
    // come before it: such a frame is not part of the recording. As record() otherwise.
    std::optional<QString> recordLive(const LiveValues& live, uint32_t at);
    // Pushes the file to the disk and closes it; does nothing when not started. Returns an
    // error text when either fails (the last records may not have reached the disk).
    std::optional<QString> stop();

    bool isOpen() const { return fd_ >= 0; }
    const QString& path() const { return path_; }
    // Pushes to the disk asked for while recording, since start().
    int syncs() const { return syncs_; }
    // Bytes of complete lines written since start.
    qint64 size() const { return complete_; }
    // Records written since start.
    uint64_t records() const { return records_; }
    // The tick taken as time zero at start.
    uint32_t startTick() const { return startTick_; }

    // Low level: writes one complete line.
    std::optional<QString> writeLine(const QByteArray& line);

private:
    // Writes `line` whole, or cuts a part of it off again; 0 or the system's error number.
    int put(const QByteArray& line);
    QString writeFailure(int err) const;

    int fd_ = -1;
    qint64 complete_ = 0; // bytes of complete lines in the file
    LogSelection selection_;
    uint32_t startTick_ = 0;
    std::optional<uint64_t> lastMs_; // of the last record: no two records share a time
    uint64_t records_ = 0;
    uint32_t lastSync_ = 0;
    int syncs_ = 0;
    std::unique_ptr<FileSyncer> syncer_;
    QString path_;
};

} // namespace kx
