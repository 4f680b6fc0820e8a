#include "logs/log_reader.h"

#include "logs/log_format.h"
#include "util/numbers.h"

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace kx {

namespace {

constexpr int kFirstIndicatorCode = kLogGaugeCount;
constexpr qsizetype kDisplayTextLimit = 100;

// Position of the next ", " at or after `from` in `text`, or -1.
qsizetype findSeparator(QByteArrayView text, qsizetype from) {
    const char* data = text.data();
    const qsizetype size = text.size();
    while (from + 1 < size) {
        const void* hit = std::memchr(data + from, ',', static_cast<size_t>(size - 1 - from));
        if (!hit) return -1;
        const qsizetype at = static_cast<const char*>(hit) - data;
        if (data[at + 1] == ' ') return at;
        from = at + 1;
    }
    return -1;
}

// Data fields of a record line: none without a ", ", else one more than the separators after
// the first. Counting stops past `limit` since the caller refuses such a line anyway.
int countFields(QByteArrayView line, int limit) {
    qsizetype at = findSeparator(line, 0);
    int fields = 0;
    while (at >= 0 && fields <= limit) {
        ++fields;
        at = findSeparator(line, at + 2);
    }
    return fields;
}

LogReadResult failed(LogReadResult result, QString why) {
    result.status = LogReadResult::Status::Failed;
    result.failure = std::move(why);
    result.catalogueChanges.clear();
    result.data = LogData();
    return result;
}

// Calls the progress callback at most every ~50 ms.
class ProgressClock {
public:
    explicit ProgressClock(const LogProgress& progress) : progress_(progress) { timer_.start(); }
    bool report(double fraction) {
        if (!progress_ || (!first_ && timer_.elapsed() < 50)) return true;
        first_ = false;
        timer_.restart();
        return progress_(std::clamp(fraction, 0.0, 1.0));
    }

private:
    const LogProgress& progress_;
    QElapsedTimer timer_;
    bool first_ = true; // the first report comes at once, so a window can show it is busy
};

} // namespace

QString logDisplayText(QByteArrayView field) {
    if (field.size() <= kDisplayTextLimit) return QString::fromLatin1(field);
    return QString::fromLatin1(field.first(kDisplayTextLimit)) + QStringLiteral("...");
}

QString logInvalidStructureMessage() {
    return QStringLiteral("Invalid log file data structure");
}
QString logUnsupportedMessage(const QString& name) {
    return QStringLiteral("Parameter '") + name + QStringLiteral("' is not supported.");
}
QString logInvalidDataMessage() {
    return QStringLiteral("Invalid log data");
}

std::optional<int> logColumnCode(QByteArrayView name) {
    // A gauge column is named by its catalogue name in either unit, or an older alias.
    for (int g = 0; g < kChannelCount; ++g) {
        const Channel& ch = channelAt(g);
        for (const char* known : {ch.metric.name, ch.imperial.name, ch.alias})
            if (known && name == QByteArrayView(known)) return g;
    }
    for (int i = 0; i < kLogIndicatorCount; ++i) {
        if (name == QByteArrayView(kLogIndicatorNames[i])) return kFirstIndicatorCode + i;
    }
    return std::nullopt;
}

std::optional<LogCatalogueChange> logUnitChange(const QString& name) {
    for (int g = 0; g < kChannelCount; ++g) {
        const Channel& ch = channelAt(g);
        if (!ch.imperial.name) continue;
        for (const ChannelScale& s : {ch.imperial, ch.metric}) {
            if (name == QLatin1String(s.name))
                return LogCatalogueChange{g,       name,       s.minVal,  s.maxVal,
                                          s.ticks, s.subTicks, s.decimals};
        }
    }
    return std::nullopt;
}

LogHeader parseLogHeader(QByteArrayView line) {
    LogHeader header;
    qsizetype at = findSeparator(line, 0);
    int gauges = 0;
    while (at >= 0) {
        const qsizetype begin = at + 2;
        at = findSeparator(line, begin);
        const QByteArrayView raw = line.sliced(begin, (at < 0 ? line.size() : at) - begin);
        if (static_cast<int>(header.columns.size()) == kLogMaxColumns) {
            header.failure = QStringLiteral("more than %1 columns").arg(kLogMaxColumns);
            return header;
        }
        LogColumn column;
        column.name = logDisplayText(raw);
        if (const auto code = logColumnCode(raw)) {
            column.code = *code;
            if (*code < kFirstIndicatorCode) {
                column.kind = LogColumnKind::Gauge;
                column.number = *code;
                ++gauges;
                if (auto change = logUnitChange(column.name)) {
                    header.catalogueChanges.push_back(std::move(*change));
                }
            } else {
                column.kind = LogColumnKind::Indicator;
                column.number = *code - kFirstIndicatorCode;
            }
        } else {
            header.messages << logUnsupportedMessage(column.name);
        }
        header.columns.push_back(std::move(column));
    }
    if (gauges > kLogMaxGaugeColumns) {
        header.failure = QStringLiteral("more than %1 gauge columns").arg(kLogMaxGaugeColumns);
        return header;
    }
    header.ok = true;
    return header;
}

// ---- LogData ----

std::vector<int> LogData::gaugeColumns() const {
    std::vector<int> out;
    for (int c = 0; c < columnCount(); ++c) {
        if (columns_[c].kind == LogColumnKind::Gauge) out.push_back(c);
    }
    return out;
}

QByteArrayView LogData::line(qsizetype record) const {
    if (record < 0 || record >= recordCount()) return {};
    const qsizetype begin = lineStart_[record];
    qsizetype end = lineStart_[record + 1] - 1; // drop the LF (or the missing final one)
    if (end > begin && bytes_[end - 1] == '\r') --end;
    return QByteArrayView(bytes_.constData() + begin, end - begin);
}

QByteArrayView LogData::timeStamp(qsizetype record) const {
    const QByteArrayView l = line(record);
    const qsizetype at = findSeparator(l, 0);
    return at < 0 ? l : l.first(at);
}

int LogData::fieldCount(qsizetype record) const {
    return countFields(line(record), kLogMaxFields);
}

QByteArrayView LogData::field(qsizetype record, int column) const {
    if (column < 0 || column >= kLogMaxFields) return {};
    const QByteArrayView l = line(record);
    qsizetype at = findSeparator(l, 0);
    for (int c = 0; at >= 0; ++c) {
        const qsizetype begin = at + 2;
        at = findSeparator(l, begin);
        if (c == column) return l.sliced(begin, (at < 0 ? l.size() : at) - begin);
    }
    return {};
}

QString LogData::text(qsizetype record, int column) const {
    return QString::fromLatin1(field(record, column));
}

std::optional<double> LogData::number(qsizetype record, int column) const {
    return parseNumber(text(record, column));
}

QByteArrayView LogData::fieldByCode(qsizetype record, int code) const {
    if (code == kLogIgnoredCode) return {};
    const int present = fieldCount(record);
    for (int c = std::min(columnCount(), present) - 1; c >= 0; --c) {
        if (columns_[c].code == code) return field(record, c);
    }
    return {};
}

// The common plain decimal text directly; anything else (a sign "+", blanks inside, junk) goes
// the general way so that both agree on what is a number.
std::optional<float> logFieldNumber(QByteArrayView field) {
    const QByteArrayView t = field.trimmed();
    double v = 0;
    const auto [end, err] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (err == std::errc() && end == t.data() + t.size()) return toSingle(v);
    return parseSingle(QString::fromLatin1(field));
}

namespace {

// Position of the n-th ", " (from 0) in `text`, or -1. Eight bytes at a time: drawing a column
// of a long log is mostly this search.
qsizetype nthSeparator(QByteArrayView text, int n) {
    const char* p = text.data();
    const qsizetype size = text.size();
    qsizetype i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        constexpr uint64_t ones = 0x0101010101010101u, low = 0x7F7F7F7F7F7F7F7Fu;
        // The top bit of each zero byte of v, and of no other byte.
        const auto zeroBytes = [](uint64_t v) { return ~(((v & low) + low) | v | low); };
        for (; i + 9 <= size; i += 8) {
            uint64_t a = 0, b = 0;
            std::memcpy(&a, p + i, 8);
            std::memcpy(&b, p + i + 1, 8);
            // Bit by bit: a portable popcount is a library call here.
            for (uint64_t hits = zeroBytes(a ^ (ones * ',')) & zeroBytes(b ^ (ones * ' ')); hits;
                 hits &= hits - 1) {
                if (n-- == 0) return i + std::countr_zero(hits) / 8;
            }
        }
    }
    for (; i + 1 < size; ++i) {
        if (p[i] == ',' && p[i + 1] == ' ' && n-- == 0) return i;
    }
    return -1;
}
} // namespace

LogNumbers LogData::numbersByCode(int code) const {
    LogNumbers out;
    int last = -1; // the last column under `code`: later fields of a record do not matter
    for (int c = 0; c < std::min(columnCount(), kLogMaxFields); ++c)
        if (code != kLogIgnoredCode && columns_[c].code == code) last = c;
    out.values.reserve(static_cast<size_t>(recordCount()));
    for (qsizetype r = 0; r < recordCount(); ++r) {
        const QByteArrayView l = line(r);
        QByteArrayView found;
        // Field `last` starts after separator `last` (the first ends the time stamp); a record
        // too short for it takes an earlier column under the code, as fieldByCode does.
        const qsizetype at = last < 0 ? -1 : nthSeparator(l, last);
        if (at >= 0) {
            const QByteArrayView rest = l.sliced(at + 2);
            const qsizetype end = nthSeparator(rest, 0);
            found = end < 0 ? rest : rest.first(end);
        } else if (last >= 0) {
            found = fieldByCode(r, code);
        }
        const auto v = logFieldNumber(found);
        if (!v) {
            out.badRecord = r;
            break;
        }
        out.values.push_back(*v);
    }
    return out;
}

// ---- LogReader ----

// Indexes the record lines after the header and checks their field counts.
LogReadResult LogReader::indexRecords(LogReadResult result, qsizetype firstRecord,
                                      const LogProgress& progress, double base) {
    LogData& data = result.data;
    const QByteArray& bytes = data.bytes_;
    const qsizetype size = bytes.size();
    const char* p = bytes.constData();
    const int columns = data.columnCount();
    ProgressClock clock(progress);

    data.lineStart_.assign(1, firstRecord);
    qsizetype pos = firstRecord;
    qsizetype lines = 0;
    while (pos < size) {
        const void* hit = std::memchr(p + pos, '\n', static_cast<size_t>(size - pos));
        const qsizetype lf = hit ? static_cast<const char*>(hit) - p : size;
        qsizetype end = lf;
        if (end > pos && p[end - 1] == '\r') --end;
        const int fields = countFields(QByteArrayView(p + pos, end - pos), kLogMaxFields);
        if (fields > kLogMaxFields) {
            // Said before `result` is moved from: the order in which a call's arguments are
            // made is the compiler's (amd64 builds made the text first, arm64 ones do not).
            QString why = QStringLiteral("record %1 has more than %2 fields")
                              .arg(data.recordCount() + 1)
                              .arg(kLogMaxFields);
            return failed(std::move(result), std::move(why));
        }
        if (fields > columns) result.ignoredFields += fields - columns;
        pos = lf + 1; // past the end when the last line has no LF, which keeps line() uniform
        data.lineStart_.push_back(pos);
        if (++lines == 1024 && size > 4 * pos) {
            // Size the index once from the first lines, sparing the regrowth copies.
            data.lineStart_.reserve(static_cast<size_t>(size / (pos - firstRecord) * 1024 * 9 / 8));
        }
        if ((lines & 0xFFF) == 0 &&
            !clock.report(base + (1.0 - base) * static_cast<double>(pos) / size)) {
            result.status = LogReadResult::Status::Cancelled;
            result.data = LogData();
            result.catalogueChanges.clear();
            return result;
        }
    }
    data.lineStart_.shrink_to_fit();
    result.status = LogReadResult::Status::Ok;
    return result;
}

LogReadResult LogReader::parse(QByteArray bytes, const LogProgress& progress, double base) {
    LogReadResult result;
    if (bytes.isEmpty()) return failed(std::move(result), QStringLiteral("empty file"));
    const qsizetype lf = bytes.indexOf('\n');
    qsizetype headerEnd = lf < 0 ? bytes.size() : lf;
    if (headerEnd > 0 && bytes[headerEnd - 1] == '\r') --headerEnd;
    LogHeader header = parseLogHeader(QByteArrayView(bytes.constData(), headerEnd));
    result.messages = std::move(header.messages);
    if (!header.ok) return failed(std::move(result), header.failure);
    result.catalogueChanges = std::move(header.catalogueChanges);
    result.data.columns_ = std::move(header.columns);
    result.data.bytes_ = std::move(bytes);
    const qsizetype firstRecord = lf < 0 ? result.data.bytes_.size() : lf + 1;
    return indexRecords(std::move(result), firstRecord, progress, base);
}

LogReadResult LogReader::readBytes(QByteArray bytes, const LogProgress& progress) {
    try {
        return parse(std::move(bytes), progress, 0.0);
    } catch (const std::bad_alloc&) {
        return failed({}, QStringLiteral("out of memory"));
    }
}

namespace {
// Opens `path` for reading if it is a regular file. O_NONBLOCK keeps open() itself from
// waiting for a writer when the path is a named pipe.
bool openRegularFile(QFile& file, const QString& path, QString& why) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = QStringLiteral("not a regular file");
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        why = file.errorString();
        ::close(fd);
        return false;
    }
    return true;
}
} // namespace

LogReadResult LogReader::readFile(const QString& path, const LogProgress& progress) {
    QFile file;
    QString why;
    if (!openRegularFile(file, path, why)) {
        return failed({}, QStringLiteral("cannot open '%1': %2").arg(path, why));
    }
    try {
        // One allocation of the file's size, filled in chunks so that progress and cancel work
        // while a large file is read.
        const qsizetype size = file.size();
        QByteArray bytes;
        bytes.resize(size);
        constexpr qsizetype kChunk = qsizetype(8) << 20;
        ProgressClock clock(progress);
        qsizetype done = 0;
        while (done < size) {
            const qint64 n = file.read(bytes.data() + done, std::min(kChunk, size - done));
            if (n < 0) {
                return failed({},
                              QStringLiteral("cannot read '%1': %2").arg(path, file.errorString()));
            }
            if (n == 0) break; // the file shrank since it was opened
            done += n;
            if (!clock.report(0.5 * static_cast<double>(done) / size)) {
                LogReadResult cancelled;
                cancelled.status = LogReadResult::Status::Cancelled;
                return cancelled;
            }
        }
        bytes.truncate(done);
        return parse(std::move(bytes), progress, 0.5);
    } catch (const std::bad_alloc&) {
        return failed({}, QStringLiteral("'%1' does not fit in memory").arg(path));
    }
}

} // namespace kx
