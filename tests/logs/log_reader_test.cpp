#include "logs/log_format.h"
#include "logs/log_reader.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

#ifdef __SANITIZE_ADDRESS__
// An allocation too large for memory must fail as it does without the sanitizer, not abort.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
#endif

using namespace kx;

namespace {

LogReadResult load(const QByteArray& bytes) {
    return LogReader::readBytes(bytes);
}

QStringList names(const LogData& d) {
    QStringList out;
    for (const auto& c : d.columns())
        out << c.name;
    return out;
}

QByteArray header(int count, const QByteArray& name) {
    QByteArray h = "Time";
    for (int i = 0; i < count; ++i)
        h += ", " + name;
    return h + "\r\n";
}

} // namespace

TEST(LogReaderHeader, CatalogueNamesInBothUnitsAndAliasesMapToTheirGauge) {
    const char* names[] = {
        "RPM",          "Air Flow",      "Air Flow RH",  "Water Temp",     "O2 Sensor",
        "O2 Sensor RH", "Speed",         "Battery",      "Throttle",       "Fuel Temp",
        "Air Temp",     "EGT",           "Injector",     "Timing",         "AAC",
        "A/F Base",     "A/F Base RH",   "A/F Base SL",  "A/F Base SL RH", "Injector RH",
        "Duty Cycle",   "Duty Cycle RH", "O2 Sensor B1", "O2 Sensor B2",   "WBo2"};
    for (int g = 0; g < int(std::size(names)); ++g) {
        const QByteArray name = names[g];
        const bool temp = g == 3 || g == 9 || g == 10;
        for (const QByteArray& unit : temp     ? QList<QByteArray>{" C", " F"}
                                      : g == 6 ? QList<QByteArray>{" kph", " mph"}
                                               : QList<QByteArray>{""}) {
            EXPECT_EQ(logColumnCode(name + unit), g) << (name + unit).constData();
        }
    }
    for (int i = 0; i < kLogIndicatorCount; ++i) {
        EXPECT_EQ(logColumnCode(kLogIndicatorNames[i]), kChannelCount + i);
    }
    // Aliases; the first name, whatever it says, is the time stamp's and skipped.
    const LogHeader h = parseLogHeader("Stamp, Oxygen, Oxygen RH, Fuel Pump");
    ASSERT_TRUE(h.ok);
    ASSERT_EQ(h.columns.size(), 3u);
    EXPECT_EQ(std::tie(h.columns[0].name, h.columns[0].kind, h.columns[0].number),
              std::make_tuple(QString("Oxygen"), LogColumnKind::Gauge, 4));
    EXPECT_EQ(h.columns[1].number, 5);
    EXPECT_EQ(std::tie(h.columns[2].kind, h.columns[2].number, h.columns[2].code),
              std::make_tuple(LogColumnKind::Indicator, 6, kChannelCount + 6));
    // Exact and case-sensitive; the analyser's short captions are not column names.
    for (const char* name : {"rpm", "RPM ", "Water Temp", "Power Steer", "Waste Gate", ""}) {
        EXPECT_EQ(logColumnCode(name), std::nullopt) << name;
    }
}

TEST(LogReaderHeader, TimeAloneOrWithoutSeparatorHasNoColumns) {
    for (const QByteArray text : {"Time\r\n", "Time,RPM\r\n", "Time\n", "\r\n"}) {
        const LogReadResult r = load(text + "000.005\r\n000.010, 5\r\n");
        ASSERT_TRUE(r.ok()) << text.toStdString();
        EXPECT_EQ(r.data.columnCount(), 0);
        EXPECT_TRUE(r.data.gaugeColumns().empty());
        EXPECT_EQ(r.data.recordCount(), 2);
    }
    const LogReadResult bare = load("Time"); // header without any line end
    ASSERT_TRUE(bare.ok());
    EXPECT_EQ(bare.data.columnCount(), 0);
    EXPECT_EQ(bare.data.recordCount(), 0);
}

TEST(LogReaderHeader, UnsupportedNamesAreReportedOnceEachAndIgnored) {
    const LogReadResult r =
        load("Time, RPM, Boost, Closed TPS, , Boost\r\n000.001, 1, 2, On, x, y\r\n");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.messages,
              QStringList({"Parameter 'Boost' is not supported.", "Parameter '' is not supported.",
                           "Parameter 'Boost' is not supported."}));
    ASSERT_EQ(r.data.columnCount(), 5);
    EXPECT_EQ(r.data.columns()[1].kind, LogColumnKind::Ignored);
    EXPECT_EQ(r.data.columns()[1].code, kLogIgnoredCode);
    EXPECT_EQ(r.data.gaugeColumns(), std::vector<int>{0});
    EXPECT_EQ(r.data.text(0, 2), "On"); // positions stay those of the header
    EXPECT_EQ(r.data.fieldByCode(0, kLogIgnoredCode), QByteArrayView());
}

TEST(LogReaderHeader, UnitNamesChangeTheCatalogueEntryInColumnOrder) {
    const LogReadResult r = load("Time, Water Temp F, Speed kph, Air Temp C, Fuel Temp F, Speed "
                                 "mph, RPM\r\n");
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.catalogueChanges.size(), 5u);
    const auto& w = r.catalogueChanges[0];
    EXPECT_EQ(w.gauge, 3);
    EXPECT_EQ(w.name, "Water Temp F");
    EXPECT_EQ(std::tie(w.minVal, w.maxVal, w.tickerNum, w.subTickerNum, w.decPointNum),
              std::make_tuple(20, 300, 14, 4, 0));
    const auto& k = r.catalogueChanges[1];
    EXPECT_EQ(std::tie(k.gauge, k.minVal, k.maxVal, k.tickerNum, k.subTickerNum, k.decPointNum),
              std::make_tuple(6, 0, 240, 12, 4, 1));
    const auto& a = r.catalogueChanges[2];
    EXPECT_EQ(std::tie(a.gauge, a.minVal, a.maxVal, a.tickerNum, a.subTickerNum, a.decPointNum),
              std::make_tuple(10, 0, 120, 12, 5, 0));
    EXPECT_EQ(r.catalogueChanges[3].gauge, 9);
    const auto& m = r.catalogueChanges[4]; // applied last, so mph wins for gauge 6
    EXPECT_EQ(std::tie(m.gauge, m.name, m.maxVal, m.tickerNum),
              std::make_tuple(6, QString("Speed mph"), 150, 15));
}

TEST(LogReaderLimits, ColumnAndGaugeLimits) {
    EXPECT_TRUE(load(header(26, "Neutral")).ok());
    EXPECT_TRUE(load(header(12, "RPM") + "000.001, 1\r\n").ok());
    // 12 gauge columns plus 14 others fill all 26 columns.
    EXPECT_TRUE(load("Time" + QByteArray(", Timing").repeated(12) +
                     QByteArray(", VCT").repeated(13) + ", Boost\r\n")
                    .ok());

    const LogReadResult tooMany = load(header(27, "Neutral"));
    EXPECT_EQ(tooMany.status, LogReadResult::Status::Failed);
    const LogReadResult tooManyGauges = load(header(13, "RPM") + "000.001, 1\r\n");
    EXPECT_EQ(tooManyGauges.status, LogReadResult::Status::Failed);
    EXPECT_EQ(tooManyGauges.data.recordCount(), 0);
    EXPECT_EQ(tooManyGauges.data.columnCount(), 0);
    // A failed load changes no catalogue entry but still reports the unsupported names seen.
    const LogReadResult failedUnits =
        load("Time, Water Temp F, Boost" + QByteArray(", RPM").repeated(12) + "\r\n");
    EXPECT_EQ(failedUnits.status, LogReadResult::Status::Failed);
    EXPECT_TRUE(failedUnits.catalogueChanges.empty());
    EXPECT_EQ(failedUnits.messages, QStringList{"Parameter 'Boost' is not supported."});
    EXPECT_EQ(logInvalidStructureMessage(), "Invalid log file data structure");
    EXPECT_EQ(logInvalidDataMessage(), "Invalid log data");
}

TEST(LogReaderLimits, RecordFieldLimitAndFieldsBeyondTheColumns) {
    const QByteArray h = "Time, RPM, Battery\r\n";
    const QByteArray fields26 = "000.001" + QByteArray(", 7").repeated(26) + "\r\n";
    const LogReadResult ok = load(h + fields26 + "000.002, 1\r\n");
    ASSERT_TRUE(ok.ok());
    EXPECT_EQ(ok.data.fieldCount(0), 26);
    EXPECT_EQ(ok.ignoredFields, 24);
    EXPECT_EQ(ok.data.text(1, 1), ""); // a short record leaves the rest empty
    EXPECT_EQ(ok.data.number(1, 1), std::nullopt);

    const LogReadResult bad =
        load(h + fields26 + "000.002" + QByteArray(", 7").repeated(27) + "\r\n");
    EXPECT_EQ(bad.status, LogReadResult::Status::Failed);
    EXPECT_TRUE(bad.failure.contains("record 2")) << bad.failure.toStdString();
}

TEST(LogReaderRecords, FieldsTextsAndNumbers) {
    const LogReadResult r = load("Time, RPM, Battery, Closed TPS\r\n"
                                 "000.047, 850, 14.08, On\r\n"
                                 "000.050\r\n"
                                 "\r\n"
                                 "000.060, , x1, \r\n"
                                 "000.070, -3,  0.5 , Off\r\n");
    ASSERT_TRUE(r.ok());
    const LogData& d = r.data;
    ASSERT_EQ(d.recordCount(), 5);
    EXPECT_EQ(d.timeStamp(0), "000.047");
    EXPECT_EQ(d.text(0, 1), "14.08");
    EXPECT_EQ(d.number(0, 0), 850.0);
    EXPECT_EQ(d.fieldCount(1), 0); // time stamp only: stores nothing
    EXPECT_EQ(d.text(1, 0), "");
    EXPECT_EQ(d.timeStamp(2), "");
    EXPECT_EQ(d.fieldCount(3), 3);
    EXPECT_EQ(d.number(3, 0), std::nullopt); // empty
    EXPECT_EQ(d.number(3, 1), std::nullopt); // not a number
    EXPECT_EQ(d.text(3, 2), "");
    EXPECT_EQ(d.number(4, 0), -3.0);
    EXPECT_EQ(d.number(4, 1), 0.5);
    // Out of range asks read as empty.
    EXPECT_EQ(d.text(5, 0), "");
    EXPECT_EQ(d.text(-1, 0), "");
    EXPECT_EQ(d.text(0, 3), "");
    EXPECT_EQ(d.text(0, -1), "");
}

TEST(LogReaderRecords, LineFeedOnlyAndMixedFilesLoadLikeCrLf) {
    const QByteArray crlf = "Time, RPM, Neutral\r\n000.001, 1, On\r\n000.002, 2, Off\r\n";
    QByteArray lf = crlf;
    lf.replace("\r\n", "\n");
    QByteArray mixed = "Time, RPM, Neutral\n000.001, 1, On\r\n000.002, 2, Off\n";
    for (const QByteArray& bytes : {crlf, lf, mixed}) {
        const LogReadResult r = load(bytes);
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(names(r.data), QStringList({"RPM", "Neutral"}));
        ASSERT_EQ(r.data.recordCount(), 2);
        EXPECT_EQ(r.data.text(0, 1), "On");
        EXPECT_EQ(r.data.text(1, 1), "Off"); // no CR left on the last field
        EXPECT_EQ(r.data.text(1, 0), "2");
    }
}

TEST(LogReaderRecords, UnterminatedLastLineIsARecordWhateverTheLineEnds) {
    for (const QByteArray& bytes : {QByteArray("Time, RPM\r\n000.001, 1\r\n000.002, 2"),
                                    QByteArray("Time, RPM\n000.001, 1\n000.002, 2")}) {
        const LogReadResult r = load(bytes);
        ASSERT_TRUE(r.ok());
        ASSERT_EQ(r.data.recordCount(), 2);
        EXPECT_EQ(r.data.text(1, 0), "2");
    }
    EXPECT_EQ(load("Time, RPM\r\n").data.recordCount(), 0);
    EXPECT_EQ(load("Time, RPM\r\n\r\n").data.recordCount(), 1); // a blank line is an empty record
}

TEST(LogReaderRecords, SameNameTwiceFillsOneCodeWithTheLaterColumn) {
    const LogReadResult r = load("Time, RPM, Battery, RPM\r\n"
                                 "000.001, 850, 14, 900\r\n"
                                 "000.002, 860, 14\r\n");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.data.gaugeColumns(), (std::vector<int>{0, 1, 2})); // two slots for RPM
    EXPECT_EQ(r.data.fieldByCode(0, 0), "900");
    // The later column is missing from the short record, so the earlier one's value stands.
    EXPECT_EQ(r.data.fieldByCode(1, 0), "860");
    EXPECT_EQ(r.data.fieldByCode(0, 7), "14");
    EXPECT_EQ(r.data.fieldByCode(0, 25), QByteArrayView());
}

TEST(LogReaderFile, MissingEmptyAndUnreadableFilesFail) {
    QTemporaryDir dir;
    const LogReadResult missing = LogReader::readFile(dir.filePath("none.log"));
    EXPECT_EQ(missing.status, LogReadResult::Status::Failed);
    EXPECT_TRUE(missing.failure.contains("none.log"));
    EXPECT_EQ(LogReader::readFile(dir.path()).status, LogReadResult::Status::Failed);
    EXPECT_EQ(load("").status, LogReadResult::Status::Failed);
    // A named pipe with no writer would block the window for ever.
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe.log")).constData(), 0600), 0);
    const LogReadResult pipe = LogReader::readFile(dir.filePath("pipe.log"));
    EXPECT_EQ(pipe.status, LogReadResult::Status::Failed);
    EXPECT_TRUE(pipe.failure.contains("not a regular file")) << pipe.failure.toStdString();
}

TEST(LogReaderFile, AFileLargerThanMemoryFailsCleanly) {
    QFile overcommit("/proc/sys/vm/overcommit_memory");
    if (overcommit.open(QIODevice::ReadOnly) && overcommit.readAll().trimmed() == "1")
        GTEST_SKIP() << "this machine grants any allocation, so none fails";
    QTemporaryDir dir;
    QFile sparse(dir.filePath("huge.log"));
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
    sparse.write("Time, RPM\r\n");
    if (!sparse.resize(qint64(4) << 40)) // 4 TiB of holes: no disk space used
        GTEST_SKIP() << "the file system holds no 4 TiB file";
    sparse.close();
    const LogReadResult r = LogReader::readFile(sparse.fileName());
    EXPECT_EQ(r.status, LogReadResult::Status::Failed);
    EXPECT_TRUE(r.failure.contains("memory")) << r.failure.toStdString();
}

TEST(LogReaderFile, ProgressRisesAndCancelStops) {
    QTemporaryDir dir;
    LogSelection s;
    for (int g = 13; g < 25; ++g)
        s.gauges[g] = true;
    s.indicators.fill(true);
    LogValues v;
    QByteArray text =
        "Time, Timing, AAC, A/F Base, A/F Base RH, A/F Base SL, A/F Base SL RH, "
        "Injector RH, Duty Cycle, Duty Cycle RH, O2 Sensor B1, O2 Sensor B2, WBo2\r\n";
    for (int r = 0; r < 100000; ++r)
        text += logRecordLine(r, s, v);

    std::vector<double> seen;
    const LogReadResult r = LogReader::readBytes(text, [&](double f) {
        seen.push_back(f);
        return true;
    });
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.data.recordCount(), 100000);
    EXPECT_FALSE(seen.empty()); // the first report comes without waiting
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_LE(seen.back(), 1.0);
    EXPECT_LT(seen.size(), 1000u); // not once per line

    const QString path = dir.filePath("big.log");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    int calls = 0;
    const LogReadResult cancelled = LogReader::readFile(path, [&](double) { return ++calls < 1; });
    EXPECT_EQ(cancelled.status, LogReadResult::Status::Cancelled);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(cancelled.data.recordCount(), 0);
    const LogReadResult cancelledBytes = LogReader::readBytes(text, [](double) { return false; });
    EXPECT_EQ(cancelledBytes.status, LogReadResult::Status::Cancelled);
}
