#include "logs/log_format.h"

#include "util/numbers.h"
#include "util/ticks.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kx {

const std::array<const char*, kLogGaugeCount> kLogGaugeCaptions = {
    "RPM",          "Air Flow",      "Air Flow RH",  "Water Temp",     "O2 Sensor",
    "O2 Sensor RH", "Speed",         "Battery",      "Throttle",       "Fuel Temp",
    "Air Temp",     "EGT",           "Injector",     "Timing",         "AAC",
    "A/F Base",     "A/F Base RH",   "A/F Base SL",  "A/F Base SL RH", "Injector RH",
    "Duty Cycle",   "Duty Cycle RH", "O2 Sensor B1", "O2 Sensor B2",   "WBo2"};

const std::array<const char*, kLogIndicatorCount> kLogIndicatorNames = {
    "Closed TPS", "Power Steering", "Air Con sw", "Start Signal",   "Neutral",   "Air Con rly",
    "Fuel Pump",  "Thermo Fan",     "VCT",        "Waste Gate sol", "A/F ratio", "EGR sol"};

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
        if (selection.gauges[g]) line += kSeparator + singleText(values.gauges[g]).toLatin1();
    }
    for (int i = 0; i < kLogIndicatorCount; ++i) {
        if (selection.indicators[i]) line += kSeparator + values.states[i].toLatin1();
    }
    return line + kLineEnd;
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

LogWriter::~LogWriter() {
    (void)stop();
}

std::optional<QString> LogWriter::create(const QString& path, bool replace) {
    (void)stop();
    const QByteArray name = QFile::encodeName(path);
    // O_EXCL: a file that appears between the caller's look and this open is not replaced.
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (replace ? O_TRUNC : O_EXCL);
    const int fd = name.isEmpty() ? -1 : ::open(name.constData(), flags, 0666);
    if (fd < 0) {
        const QString reason =
            name.isEmpty() ? QStringLiteral("No file name") : systemReason(errno);
        return QStringLiteral("Cannot create log file '%1': %2").arg(path, reason);
    }
    fd_ = fd;
    complete_ = 0;
    path_ = path;
    return std::nullopt;
}

std::optional<QString> LogWriter::writeLine(const QByteArray& line) {
    if (fd_ < 0) return std::nullopt;
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
            return QStringLiteral("Cannot write log file '%1': %2").arg(path_, systemReason(err));
        }
        p += n;
        left -= n;
    }
    complete_ += line.size();
    return std::nullopt;
}

std::optional<QString> LogWriter::start(const QString& path, const LogGaugeNames& names,
                                        const LogSelection& selection, uint32_t startTick,
                                        bool replace) {
    if (auto err = create(path, replace)) return err;
    if (auto err = writeLine(logHeaderLine(names, selection))) {
        (void)stop();
        return err;
    }
    startTick_ = startTick;
    selection_ = selection;
    return std::nullopt;
}

std::optional<QString> LogWriter::record(const LogValues& values, uint32_t nowTick) {
    if (fd_ < 0) return std::nullopt;
    return writeLine(logRecordLine(elapsedTicks(startTick_, nowTick), selection_, values));
}

std::optional<QString> LogWriter::stop() {
    if (fd_ < 0) return std::nullopt;
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
