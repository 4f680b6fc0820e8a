#include "live/gauge_setup.h"
#include "logs/log_format.h"
#include "logs/log_reader.h"
#include "util/numbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cerrno>
#include <cmath>
#include <limits>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace kx;

namespace {

LogGaugeNames celsiusNames() {
    LogGaugeNames n = catalogueNames(false, false);
    return n;
}

// RPM, Water Temp, Battery and Timing logged, with the five indicators of register 0x13.
LogSelection exampleSelection() {
    LogSelection s;
    for (int g : {0, 3, 7, 13})
        s.gauges[g] = true;
    for (int i = 0; i < 5; ++i)
        s.indicators[i] = true;
    return s;
}

LogValues exampleValues(float rpm, float timing) {
    LogValues v;
    v.gauges[0] = rpm;
    v.gauges[3] = 82;
    v.gauges[7] = 14.08f;
    v.gauges[13] = timing;
    const char* states[] = {"On", "Off", "Off", "Off", "On"};
    for (int i = 0; i < 5; ++i)
        v.states[i] = states[i];
    return v;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Files of this process may grow to `limit` bytes only, as on a full disk, while it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        // Past the limit write() fails with EFBIG instead of raising SIGXFSZ.
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old_);
        const rlimit r{limit, old_.rlim_max};
        ok_ = ::setrlimit(RLIMIT_FSIZE, &r) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    bool ok() const { return ok_; }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
    bool ok_ = false;
};

const QByteArray kExampleHeader = "Time, RPM, Water Temp C, Battery, Timing, Closed TPS, Power "
                                  "Steering, Air Con sw, Start Signal, Neutral\r\n";

} // namespace

TEST(LogFormat, ExampleFileLinesByteForByte) {
    EXPECT_EQ(logHeaderLine(celsiusNames(), exampleSelection()), kExampleHeader);
    EXPECT_EQ(logRecordLine(47, exampleSelection(), exampleValues(850, 15)),
              "000.047, 850, 82, 14.08, 15, On, Off, Off, Off, On\r\n");
    EXPECT_EQ(logRecordLine(156, exampleSelection(), exampleValues(875, 16)),
              "000.156, 875, 82, 14.08, 16, On, Off, Off, Off, On\r\n");
}

TEST(LogFormat, TimeStampPadsSecondsToThreeDigitsAndMillisecondsToThree) {
    EXPECT_EQ(logTimeStamp(0), "000.000");
    EXPECT_EQ(logTimeStamp(5), "000.005");
    EXPECT_EQ(logTimeStamp(999), "000.999");
    EXPECT_EQ(logTimeStamp(1000), "001.000");
    EXPECT_EQ(logTimeStamp(61234), "061.234");
    EXPECT_EQ(logTimeStamp(999999), "999.999");
    EXPECT_EQ(logTimeStamp(1234567), "1234.567");
    EXPECT_EQ(logTimeStamp(4294967296ull + 1), "4294967.297"); // beyond 32 bits after a wrap
}

TEST(LogFormat, ValueAndStateTexts) {
    LogSelection s;
    s.gauges = {true, true, true, true, true}; // gauges 0-4
    s.indicators[11] = true;
    LogValues v;
    v.gauges = {2450, 14.08f, 0.5f, -3, 0};
    // Gauge 4 never decoded stays 0; indicator 11 never decoded is an empty field.
    EXPECT_EQ(logRecordLine(5, s, v), "000.005, 2450, 14.08, 0.5, -3, 0, \r\n");
}

TEST(LogFormat, NothingSelectedGivesTimeAlone) {
    EXPECT_EQ(logHeaderLine(celsiusNames(), {}), "Time\r\n");
    EXPECT_EQ(logRecordLine(61234, {}, {}), "061.234\r\n");
}

TEST(LogFormat, ColumnsFollowNumberOrderNotSelectionOrder) {
    LogSelection s;
    s.gauges[24] = s.gauges[6] = true;
    s.indicators[10] = s.indicators[5] = true;
    LogGaugeNames names = celsiusNames();
    names[6] = "Speed mph";
    EXPECT_EQ(logHeaderLine(names, s), "Time, Speed mph, WBo2, Air Con rly, A/F ratio\r\n");
}

TEST(LogFormat, TheWidebandsDetailFollowsTheIndicatorsAndNoReadingIsAnEmptyField) {
    LogSelection s;
    s.gauges[0] = s.gauges[24] = true;
    s.wbDetail = true;
    EXPECT_EQ(logHeaderLine(celsiusNames(), s), "Time, RPM, WBo2, WB State, WB Time\r\n");
    LogValues v;
    v.gauges[0] = 850;
    v.gauges[24] = 14.7f;
    v.wbState = "Ready";
    v.wbMs = 1960;
    EXPECT_EQ(logRecordLine(2000, s, v), "002.000, 850, 14.7, Ready, 001.960\r\n");
    v.gauges[24] = std::numeric_limits<float>::quiet_NaN();
    v.wbState = "Cold";
    v.wbMs.reset();
    EXPECT_EQ(logRecordLine(2014, s, v), "002.014, 850, , Cold, \r\n");
}

class LogWriterTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file(const QString& name) const { return dir.filePath(name); }
};

TEST_F(LogWriterTest, WritesHeaderAndRecordsTimedFromStartAcrossTickWrap) {
    LogWriter w;
    const uint32_t start = 0xFFFFFF00u; // 256 ms before the 32-bit counter wraps
    ASSERT_EQ(w.start(file("a.log"), celsiusNames(), exampleSelection(), start), std::nullopt);
    EXPECT_TRUE(w.isOpen());
    EXPECT_EQ(w.record(exampleValues(850, 15), start + 47), std::nullopt);
    EXPECT_EQ(w.record(exampleValues(875, 16), 0x10u), std::nullopt);
    EXPECT_EQ(w.stop(), std::nullopt);
    EXPECT_FALSE(w.isOpen());
    EXPECT_EQ(w.record(exampleValues(1, 1), 0x30u), std::nullopt); // stopped: ignored
    EXPECT_EQ(readAll(file("a.log")), kExampleHeader +
                                          "000.047, 850, 82, 14.08, 15, On, Off, Off, Off, On\r\n" +
                                          "000.272, 875, 82, 14.08, 16, On, Off, Off, Off, On\r\n");
}

TEST_F(LogWriterTest, StartReplacesAnExistingFileOnlyWhenTheUserAgreed) {
    {
        QFile old(file("same.log"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(10000, 'x'));
    }
    LogWriter w;
    const auto refused = w.start(file("same.log"), celsiusNames(), {}, 0);
    ASSERT_TRUE(refused.has_value());
    EXPECT_TRUE(refused->text.contains("already exists")) << refused->text.toStdString();
    EXPECT_EQ(readAll(file("same.log")), QByteArray(10000, 'x'));
    ASSERT_EQ(w.start(file("same.log"), celsiusNames(), {}, 0, ExistingFile::Replace),
              std::nullopt);
    w.record({}, 5);
    // A second START on the same name.
    ASSERT_EQ(w.start(file("same.log"), celsiusNames(), {}, 100, ExistingFile::Replace),
              std::nullopt);
    w.record({}, 107);
    w.stop();
    EXPECT_EQ(readAll(file("same.log")), "Time\r\n000.007\r\n");
}

// A second log of the same writer on a full disk: its cut goes back to its own last line, not
// to the length the first log had reached.
TEST_F(LogWriterTest, ASecondLogOnAFullDiskEndsOnItsOwnLastCompleteLine) {
    LogWriter w;
    ASSERT_EQ(w.start(file("first.log"), celsiusNames(), exampleSelection(), 0), std::nullopt);
    for (uint32_t t = 0; t < 20; ++t)
        ASSERT_EQ(w.record(exampleValues(850, 15), t), std::nullopt);
    ASSERT_EQ(w.stop(), std::nullopt);
    ASSERT_GT(readAll(file("first.log")).size(), 600);

    std::optional<QString> failure;
    {
        FileSizeLimit full(300);
        ASSERT_TRUE(full.ok());
        ASSERT_EQ(w.start(file("second.log"), celsiusNames(), exampleSelection(), 0), std::nullopt);
        for (uint32_t t = 0; t < 20 && !failure; ++t)
            failure = w.record(exampleValues(875, 16), t);
        w.stop();
    }
    ASSERT_TRUE(failure.has_value());
    const QByteArray bytes = readAll(file("second.log"));
    EXPECT_GT(bytes.size(), 200);
    EXPECT_LE(bytes.size(), 300);
    EXPECT_TRUE(bytes.endsWith("Off, Off, On\r\n")) << bytes.right(40).toStdString();
}

// A full disk at the header: a file the writer made is removed again, since an empty one would
// stand in the next run's way; one the user agreed to replace stays.
TEST_F(LogWriterTest, AHeaderThatCannotBeWrittenRemovesOnlyAFileTheWriterMade) {
    {
        QFile old(file("agreed.log"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an earlier drive");
    }
    const struct {
        const char* name;
        ExistingFile existing;
        bool kept;
    } cases[] = {{"new.log", ExistingFile::Refuse, false},
                 {"new-replace.log", ExistingFile::Replace, false},
                 {"agreed.log", ExistingFile::Replace, true}};
    for (const auto& c : cases) {
        LogWriter w;
        std::optional<LogStartError> err;
        {
            FileSizeLimit full(0);
            ASSERT_TRUE(full.ok());
            err = w.start(file(c.name), celsiusNames(), exampleSelection(), 0, c.existing);
        }
        ASSERT_TRUE(err.has_value()) << c.name;
        EXPECT_TRUE(err->headerFailed);
        EXPECT_EQ(err->error, EFBIG);
        EXPECT_TRUE(err->text.startsWith("Cannot write log file '" + file(c.name) + "': "))
            << err->text.toStdString();
        EXPECT_FALSE(w.isOpen());
        EXPECT_EQ(QFileInfo::exists(file(c.name)), c.kept) << c.name;
    }
}

// Records reach the disk at most a second apart while logging, not only at STOP.
TEST_F(LogWriterTest, PushesTheFileToTheDiskOnceASecond) {
    LogWriter w;
    const uint32_t start = 0xFFFFFE00u; // the tick counter wraps on the way
    ASSERT_EQ(w.start(file("sync.log"), celsiusNames(), {}, start), std::nullopt);
    const struct {
        uint32_t ms;
        int syncs;
    } steps[] = {{10, 0},   {400, 0},  {999, 0},  {1000, 1}, {1500, 1},
                 {1999, 1}, {2100, 2}, {2200, 2}, {9000, 3}};
    for (const auto& s : steps) {
        ASSERT_EQ(w.record({}, start + s.ms), std::nullopt);
        EXPECT_EQ(w.syncs(), s.syncs) << s.ms;
    }
}

TEST_F(LogWriterTest, UncreatableFileGivesNameAndReasonAndStaysClosed) {
    struct Case {
        QString path;
        QString reason;
    };
    std::vector<Case> cases = {
        {file("missing/dir/x.log"), "No such file or directory"},
        {dir.path(), "Is a directory"}, // the directory with no file name
        {QString(), "No file name"},
    };
    if (QDir("/sys").exists()) cases.push_back({"/sys/kestrix.log", "Permission denied"});
    for (const auto& c : cases) {
        LogWriter w;
        const auto err = w.start(c.path, celsiusNames(), exampleSelection(), 0);
        ASSERT_TRUE(err.has_value()) << c.path.toStdString();
        EXPECT_TRUE(err->text.contains("'" + c.path + "'")) << err->text.toStdString();
        EXPECT_TRUE(err->text.contains(c.reason)) << err->text.toStdString();
        EXPECT_FALSE(w.isOpen());
        EXPECT_EQ(w.record(exampleValues(1, 1), 5), std::nullopt);
    }
}

TEST_F(LogWriterTest, FreeNamesNeverMeetAnExistingFile) {
    const QString d = dir.path() + QDir::separator();
    EXPECT_EQ(freeLogName(d, "2024111105.log"), "2024111105.log");
    for (const char* name : {"2024111105.log", "2024111105-2.log", "plain"})
        QFile(d + name).open(QIODevice::WriteOnly);
    EXPECT_EQ(freeLogName(d, "2024111105.log"), "2024111105-3.log");
    EXPECT_EQ(freeLogName(d, "plain"), "plain-2");
}

// A full disk, as a file size limit in a child process makes it: the record that meets the limit
// is written in part, and the file must still end on a whole line.
TEST_F(LogWriterTest, FailedWriteCutsTheFileBackToItsLastCompleteLine) {
    const QString path = file("full.log");
    QProcess helper;
    helper.start(KX_LOGS_KILL_HELPER, {path, "1000", "300"}); // file size limit 300 bytes
    ASSERT_TRUE(helper.waitForFinished(60000));
    ASSERT_EQ(helper.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(helper.exitCode(), 4) << "the record that met the limit reports its failure";
    const QByteArray bytes = readAll(path);
    EXPECT_LE(bytes.size(), 300);
    EXPECT_GT(bytes.size(), 200);
    EXPECT_TRUE(bytes.endsWith("14.08, On\r\n")) << bytes.right(40).toStdString();
    const LogReadResult r = LogReader::readFile(path);
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r.data.numbersByCode(7).complete());
}

TEST_F(LogWriterTest, RecordsWrittenBeforeSigkillAreAllInTheFile) {
    // A buffered writer would hold these few short lines in memory and lose them all.
    const QString path = file("killed.log");
    const int count = 37;
    QProcess helper;
    helper.start(KX_LOGS_KILL_HELPER, {path, QString::number(count)});
    ASSERT_TRUE(helper.waitForFinished(60000));
    ASSERT_EQ(helper.exitStatus(), QProcess::CrashExit) << "helper exit " << helper.exitCode();

    const QByteArray bytes = readAll(path);
    ASSERT_TRUE(bytes.endsWith("\r\n"));
    const QList<QByteArray> lines = bytes.chopped(2).split('\n');
    ASSERT_EQ(lines.size(), count + 1);
    EXPECT_EQ(lines[0], "Time, RPM, Battery, Closed TPS\r");
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(lines[i + 1], logTimeStamp(10u * i) + ", " + QByteArray::number(800 + i) +
                                    ", 14.08, On" + (i + 1 < count ? "\r" : ""));
    }
}

TEST_F(LogWriterTest, WhatTheWriterWritesTheReaderLoads) {
    LogGaugeNames names = celsiusNames();
    names[3] = "Water Temp F";
    names[6] = "Speed mph";
    LogSelection s;
    for (int g : {0, 1, 3, 4, 6, 7, 9, 12, 13, 20, 22, 24})
        s.gauges[g] = true;
    s.indicators.fill(true);
    LogWriter w;
    ASSERT_EQ(w.start(file("rt.log"), names, s, 10), std::nullopt);
    std::vector<LogValues> written;
    for (int r = 0; r < 50; ++r) {
        LogValues v;
        for (int g = 0; g < kLogGaugeCount; ++g)
            v.gauges[g] = (r * 37 + g) / 7.0f - 3.0f;
        for (int i = 0; i < kLogIndicatorCount; ++i)
            v.states[i] = (r + i) % 3 ? "On" : "";
        written.push_back(v);
        ASSERT_EQ(w.record(v, 10u + 3u * r), std::nullopt);
    }
    w.stop();

    const LogReadResult result = LogReader::readFile(file("rt.log"));
    ASSERT_TRUE(result.ok()) << result.failure.toStdString();
    EXPECT_TRUE(result.messages.isEmpty());
    const LogData& d = result.data;
    ASSERT_EQ(d.columnCount(), 24);
    ASSERT_EQ(d.recordCount(), 50);
    int c = 0;
    for (int g = 0; g < kLogGaugeCount; ++g) {
        if (!s.gauges[g]) continue;
        EXPECT_EQ(d.columns()[c].name, names[g]);
        EXPECT_EQ(d.columns()[c].kind, LogColumnKind::Gauge);
        EXPECT_EQ(d.columns()[c].number, g);
        for (int r = 0; r < 50; ++r) {
            EXPECT_EQ(d.text(r, c), singleText(written[r].gauges[g]));
            // The text keeps 7 significant digits, so the number is that close, not exact.
            const double want = written[r].gauges[g];
            EXPECT_NEAR(d.number(r, c).value_or(1e30), want, 1e-6 * std::max(1.0, std::abs(want)));
        }
        ++c;
    }
    for (int i = 0; i < kLogIndicatorCount; ++i, ++c) {
        EXPECT_EQ(d.columns()[c].kind, LogColumnKind::Indicator);
        EXPECT_EQ(d.columns()[c].number, i);
        EXPECT_EQ(d.columns()[c].code, kLogGaugeCount + i);
        for (int r = 0; r < 50; ++r)
            EXPECT_EQ(d.text(r, c), written[r].states[i]);
    }
    EXPECT_EQ(d.timeStamp(49), "000.147");
}
