#pragma once
// Reading a log's columns record by record, as every log tool does (coverage, fuel correction,
// dyno): a column's numbers, the wideband's readings and the time stamp.
#include "logs/log_reader.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace kx {

// A column's number in one record: from the one-pass read while it lasted, field by field
// after the first record it could not read.
class LogColumnNumbers {
public:
    LogColumnNumbers(const LogData& log, int code);
    bool present() const { return last_ >= 0; }
    // The column's name (its unit), when present.
    QString name() const { return present() ? log_.columns()[size_t(last_)].name : QString(); }
    std::optional<float> at(qsizetype record) const;

private:
    const LogData& log_;
    int code_;
    int last_ = -1;
    LogNumbers numbers_;
};

// A logged ratio that is a reading: older loggers wrote 0 while the wideband never sent one.
std::optional<float> loggedAfr(std::optional<float> field);

// The wideband's readings in a log, record by record: a ratio only where the WBo2 field is a
// number above 0 and the controller said its sensor was ready (the "WB State" field empty or
// "Ready"; older logs have no such column). A reading is new when its value changes or, where
// the log has "WB Time", the controller frame it came in.
class LogWideband {
public:
    explicit LogWideband(const LogData& log);
    struct Reading {
        std::optional<float> ratio;
        bool isNew = false;
    };
    // Call in record order; a record left out in between breaks nothing.
    Reading at(qsizetype record);

private:
    const LogData& log_;
    LogColumnNumbers ratio_;
    int state_ = -1; // columns, when the log has them
    int time_ = -1;
    std::optional<float> last_;
    QByteArray lastTime_;
};

// A record's time stamp in seconds, when it is a whole number text.
std::optional<double> logSeconds(QByteArrayView stamp);

} // namespace kx
