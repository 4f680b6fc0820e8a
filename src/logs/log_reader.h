#pragma once
// Reads a data log file for the replay and the analyser. The whole file is held as bytes with
// one offset per line; fields are found and converted only when asked for.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace kx {

inline constexpr int kLogMaxColumns = 26;      // data columns after the time stamp
inline constexpr int kLogMaxGaugeColumns = 12; // one per display slot
inline constexpr int kLogMaxFields = 26;       // data fields in one record
inline constexpr int kLogIgnoredCode = 100;    // code of a column whose name is not supported

// The user-facing messages of a load.
QString logInvalidStructureMessage();               // "Invalid log file data structure"
QString logUnsupportedMessage(const QString& name); // "Parameter '<name>' is not supported."
QString logInvalidDataMessage();                    // "Invalid log data" (analyser plot)

// A field as a read-out or a message shows it: a binary file read as a log can make a "field"
// megabytes long, which is cut to its first 100 characters and "...".
QString logDisplayText(QByteArrayView field);

enum class LogColumnKind { Gauge, Indicator, Ignored };

// A field's number, as the reader takes it everywhere.
std::optional<float> logFieldNumber(QByteArrayView field);

// A column's values as numbers, record by record. Reading stops at the first field that is not
// a number a single can hold (1e39 is not): `values` then holds the records before it and
// `badRecord` is that record.
struct LogNumbers {
    std::vector<float> values;
    qsizetype badRecord = -1;
    bool complete() const { return badRecord < 0; }
};

struct LogColumn {
    QString name;
    LogColumnKind kind = LogColumnKind::Ignored;
    int number = -1;            // gauge number 0-24 or indicator number 0-11; -1 when ignored
    int code = kLogIgnoredCode; // 0-24 gauge, 25-36 indicator (25 + number), 100 ignored
};

// The dial scale a unit-dependent column name imposes on its gauge's catalogue entry.
struct LogCatalogueChange {
    int gauge = 0;
    QString name;
    int minVal = 0, maxVal = 0, tickerNum = 0, subTickerNum = 0, decPointNum = 0;
};

// Column code of a header name (aliases included), nullopt when the name is not supported.
std::optional<int> logColumnCode(QByteArrayView name);
// The catalogue change a unit-dependent name ("Water Temp F", "Speed kph", ...) makes.
std::optional<LogCatalogueChange> logUnitChange(const QString& name);

// Header parsing on its own: the first field is skipped, the rest split at ", ".
struct LogHeader {
    bool ok = false;
    QString failure; // why the header was refused (not shown to the user)
    std::vector<LogColumn> columns;
    QStringList messages; // one "not supported" message per ignored column, in order
    std::vector<LogCatalogueChange> catalogueChanges; // in column order: apply in order
};
LogHeader parseLogHeader(QByteArrayView line);

// Called with the fraction done (0 to 1) every ~50 ms of work; return false to cancel.
using LogProgress = std::function<bool(double fraction)>;

class LogData {
public:
    const std::vector<LogColumn>& columns() const { return columns_; }
    int columnCount() const { return static_cast<int>(columns_.size()); }
    // Column indices of the gauge columns in order: the k-th is display slot / series k.
    std::vector<int> gaugeColumns() const;

    qsizetype recordCount() const { return static_cast<qsizetype>(lineStart_.size()) - 1; }

    // Records are indexed from 0 (the file's first record after the header) to recordCount()-1.
    // A field that the record lacks (or a column index out of range) reads as empty.
    QByteArrayView timeStamp(qsizetype record) const;
    int fieldCount(qsizetype record) const; // data fields after the time stamp
    QByteArrayView field(qsizetype record, int column) const;
    QString text(qsizetype record, int column) const;
    std::optional<double> number(qsizetype record, int column) const;
    // The field stored under a column code: when several columns share the code, the last of
    // them that the record fills wins. Empty when no column has the code.
    QByteArrayView fieldByCode(qsizetype record, int code) const;
    // Every record's fieldByCode(record, code) read as parseNumber reads it, in one pass.
    LogNumbers numbersByCode(int code) const;

private:
    friend class LogReader;
    QByteArrayView line(qsizetype record) const;

    std::vector<LogColumn> columns_;
    QByteArray bytes_;
    // Start of each record line, plus one entry past the last line's end (as if it ended in LF).
    std::vector<qsizetype> lineStart_{0};
};

struct LogReadResult {
    enum class Status { Ok, Failed, Cancelled };
    Status status = Status::Failed;
    QString failure;      // why it failed, for a log or a test; the user sees
                          // logInvalidStructureMessage()
    QStringList messages; // "not supported" messages, shown even when the load fails
    std::vector<LogCatalogueChange> catalogueChanges; // empty unless the load succeeded
    qsizetype ignoredFields = 0; // record fields beyond the header's columns (skipped)
    LogData data;

    bool ok() const { return status == Status::Ok; }
};

class LogReader {
public:
    // Only a regular file is read (a named pipe would block for ever); a file too large for
    // memory fails like a malformed one.
    static LogReadResult readFile(const QString& path, const LogProgress& progress = {});
    static LogReadResult readBytes(QByteArray bytes, const LogProgress& progress = {});

private:
    // The progress fraction of these runs from `base` to 1.
    static LogReadResult parse(QByteArray bytes, const LogProgress& progress, double base);
    static LogReadResult indexRecords(LogReadResult result, qsizetype firstRecord,
                                      const LogProgress& progress, double base);
};

} // namespace kx
