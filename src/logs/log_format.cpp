#include "logs/log_format.h"

#include "util/numbers.h"
#include "util/ticks.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <cerrno>
#include <cmath>
#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <utility>

namespace kx {

const std::array<const char*, kLogGaugeCount> kLogGaugeCaptions = [] {
    std::array<const char*, kLogGaugeCount> captions{};
    for (size_t g = 0; g < captions.size(); ++g)
        captions[g] = channels()[g].caption;
    return captions;
}();

const std::array<const char*, kLogIndicatorCount> kLogIndicatorNames = [] {
    std::array<const char*, kLogIndicatorCount> names{};
    for (size_t i = 0; i < names.size(); ++i)
        names[i] = indicators()[i].name;
    return names;
}();

namespace {
constexpr char kSeparator[] = ", ";
constexpr char kLineEnd[] = "\r\n";

QString systemReason(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}
} // namespace

QByteArray logHeaderLine(const LogGaugeNames& names, const LogSelection& selection) {
    QByteArray line = "Time";
    for (int g = 0; g < kLogGaugeCount; ++g) {
        if (selection.gauges[g]) line += kSeparator + names[g].toLatin1();
    }
    for (int i = 0; i < kLogIndicatorCount; ++i) {
        if (selection.indicators[i]) line += QByteArray(kSeparator) + kLogIndicatorNames[i];
    }
    if (selection.wbDetail)
        line += QByteArray(kSeparator) + kLogWbStateName + kSeparator + kLogWbTimeName;
    return line + kLineEnd;
}

QByteArray logTimeStamp(uint64_t ms) {
    char buf[32];
    const int n = std::snprintf(buf, sizeof buf, "%03" PRIu64 ".%03" PRIu64, ms / 1000, ms % 1000);
    return QByteArray(buf, n);
}

QByteArray logRecordLine(uint64_t ms, const LogSelection& selection, const LogValues& values) {
    QByteArray line = logTimeStamp(ms);
    line.reserve(128);
    for (int g = 0; g < kLogGaugeCount; ++g) {
        if (!selection.gauges[g]) continue;
        line += kSeparator;
        // No value (a wideband without a reading) is an empty field, never a number.
        if (std::isfinite(values.gauges[g])) line += singleText(values.gauges[g]).toLatin1();
    }
    for (int i = 0; i < kLogIndicatorCount; ++i) {
        if (selection.indicators[i]) line += kSeparator + values.states[i].toLatin1();
    }
    if (selection.wbDetail) {
        line += kSeparator + values.wbState.toLatin1() + kSeparator;
        if (values.wbMs) line += logTimeStamp(*values.wbMs);
    }
    return line + kLineEnd;
}

QString logFileName(const QDateTime& start) {
    return QLocale::c().toString(start, QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
           QStringLiteral(".log");
}

QString defaultLogFolder() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (!QDir::isAbsolutePath(base)) base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/Kestrix/logs/");
}

QString loggingText(uint64_t records, uint64_t elapsedMs, qint64 bytes) {
    const uint64_t s = elapsedMs / 1000;
    const QString time = s >= 3600 ? QStringLiteral("%1:%2:%3")
                                         .arg(s / 3600)
                                         .arg(s / 60 % 60, 2, 10, QChar(u'0'))
                                         .arg(s % 60, 2, 10, QChar(u'0'))
                                   : QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QChar(u'0'));
    return QStringLiteral("Logging: %1 %2, %3, %4")
        .arg(records)
        .arg(records == 1 ? QStringLiteral("record") : QStringLiteral("records"), time,
             sizeText(bytes));
}

QString savedText(uint64_t records, qint64 bytes, const QString& path) {
    return QStringLiteral("Saved %1 %2 (%3) to %4")
        .arg(records)
        .arg(records == 1 ? QStringLiteral("record") : QStringLiteral("records"), sizeText(bytes),
             path);
}

QString freeLogName(const QString& dir, const QString& fileName) {
    if (!QFileInfo::exists(dir + fileName)) return fileName;
    const QFileInfo f(fileName);
    const QString base = f.completeBaseName();
    const QString suffix = f.suffix().isEmpty() ? QString() : u'.' + f.suffix();
    for (int n = 2;; ++n) {
        const QString candidate = QStringLiteral("%1-%2%3").arg(base).arg(n).arg(suffix);
        if (!QFileInfo::exists(dir + candidate)) return candidate;
    }
}

// Pushes a file to the disk on a thread of its own when asked; the first failure is kept for
// the writer to report.
class FileSyncer {
public:
    explicit FileSyncer(int fd) : fd_(fd), thread_([this] { run(); }) {}
    ~FileSyncer() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    void request() {
        {
            std::lock_guard lock(mutex_);
            wanted_ = true;
        }
        wake_.notify_one();
    }
    // The error number of a failed push since the last call, 0 for none.
    int takeError() {
        std::lock_guard lock(mutex_);
        return std::exchange(error_, 0);
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return wanted_ || quit_; });
            if (quit_) return;
            wanted_ = false;
            lock.unlock();
            const int err = ::fdatasync(fd_) == 0 ? 0 : errno;
            lock.lock();
            if (err != 0 && error_ == 0) error_ = err;
        }
    }

    const int fd_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool wanted_ = false;
    bool quit_ = false;
    int error_ = 0;
    std::thread thread_; // last: it starts once the rest is set
};

LogWriter::LogWriter() = default;

LogWriter::~LogWriter() {
    (void)stop();
}

int LogWriter::put(const QByteArray& line) {
    // No buffer of our own: the kernel holds each line as soon as write() returns.
    const char* p = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            // Part of the line may be in the file: cut it off so the file ends on a whole line.
            if (::ftruncate(fd_, complete_) == 0) ::lseek(fd_, complete_, SEEK_SET);
            return err;
        }
        p += n;
        left -= n;
    }
    complete_ += line.size();
    return 0;
}

QString LogWriter::writeFailure(int err) const {
    return QStringLiteral("Cannot write log file '%1': %2").arg(path_, systemReason(err));
}

std::optional<QString> LogWriter::writeLine(const QByteArray& line) {
    if (fd_ < 0) return std::nullopt;
    if (const int err = put(line)) return writeFailure(err);
    return std::nullopt;
}

std::optional<LogStartError> LogWriter::start(const QString& path, const LogGaugeNames& names,
                                              const LogSelection& selection, uint32_t startTick,
                                              ExistingFile existing) {
    (void)stop();
    const UserFile file = openUserFile(path, existing);
    if (!file.ok()) {
        return LogStartError{
            QStringLiteral("Cannot create log file '%1': %2").arg(path, file.reason), file.error};
    }
    fd_ = file.fd;
    complete_ = 0;
    lastMs_.reset();
    records_ = 0;
    syncer_ = std::make_unique<FileSyncer>(fd_);
    path_ = path;
    if (const int err = put(logHeaderLine(names, selection))) {
        LogStartError failed{writeFailure(err), err, true};
        (void)stop();
        // Our own empty file would only stand in the way of the next try (a full disk).
        if (file.created) QFile::remove(path);
        return failed;
    }
    startTick_ = startTick;
    lastSync_ = startTick;
    syncs_ = 0;
    selection_ = selection;
    return std::nullopt;
}

std::optional<QString> LogWriter::record(const LogValues& values, uint32_t nowTick) {
    if (fd_ < 0) return std::nullopt;
    uint64_t ms = elapsedTicks(startTick_, nowTick);
    if (lastMs_ && ms <= *lastMs_) ms = *lastMs_ + 1;
    if (auto err = writeLine(logRecordLine(ms, selection_, values))) return err;
    lastMs_ = ms;
    ++records_;
    if (const int err = syncer_->takeError())
        return QStringLiteral("Cannot save log file '%1': %2").arg(path_, systemReason(err));
    if (elapsedTicks(lastSync_, nowTick) < kSyncMs) return std::nullopt;
    lastSync_ = nowTick;
    ++syncs_;
    syncer_->request();
    return std::nullopt;
}

std::optional<QString> LogWriter::recordLive(const LiveValues& live, uint32_t at) {
    if (!isOpen() || tickBefore(at, startTick_)) return std::nullopt;
    LogValues values;
    values.gauges = live.gaugeValue;
    values.states = live.switchState;
    if (live.wb) {
        values.wbState = live.wb->state;
        // A reading from before the start has no time of its own in this log.
        if (live.wb->at && !tickBefore(*live.wb->at, startTick_))
            values.wbMs = elapsedTicks(startTick_, *live.wb->at);
    } else if (selection_.wbDetail) {
        values.wbState = QStringLiteral("Closed");
    }
    return record(values, at);
}

std::optional<QString> LogWriter::stop() {
    if (fd_ < 0) return std::nullopt;
    syncer_.reset(); // a push in progress ends first
    const int synced = ::fdatasync(fd_);
    const int syncError = errno;
    // close() is not retried on EINTR: on Linux the descriptor is gone either way.
    const int closed = ::close(fd_);
    const int closeError = errno;
    fd_ = -1;
    if (synced != 0 || closed != 0) {
        return QStringLiteral("Cannot save log file '%1': %2")
            .arg(path_, systemReason(synced != 0 ? syncError : closeError));
    }
    return std::nullopt;
}

} // namespace kx
