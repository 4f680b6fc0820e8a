// Inputs that once broke, or could break, the reader: each must load or fail cleanly, and
// every accessor must stay inside the bytes.
#include "logs/log_reader.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace kx;

namespace {

// Touches every accessor of every record and column, as the windows would, and checks what
// a window relies on: a failed load holds nothing, the limits hold.
void exercise(const LogReadResult& r) {
    const LogData& d = r.data;
    if (!r.ok()) {
        EXPECT_EQ(d.recordCount(), 0);
        EXPECT_EQ(d.columnCount(), 0);
        EXPECT_TRUE(r.catalogueChanges.empty());
    }
    EXPECT_LE(d.columnCount(), kLogMaxColumns);
    EXPECT_LE(d.gaugeColumns().size(), size_t(kLogMaxGaugeColumns));
    for (qsizetype rec = -1; rec <= d.recordCount(); ++rec) {
        (void)d.timeStamp(rec);
        EXPECT_LE(d.fieldCount(rec), kLogMaxFields);
        for (int c = -1; c <= kLogMaxFields; ++c) {
            (void)d.text(rec, c);
            (void)d.number(rec, c);
        }
        for (int code = 0; code <= 37; ++code)
            (void)d.fieldByCode(rec, code);
        (void)d.fieldByCode(rec, kLogIgnoredCode);
    }
}

} // namespace

TEST(LogReaderRegression, NastyInputsLoadOrFailCleanly) {
    static const char kNuls[] = "Time, RPM\0, Battery\n\0\0, \0";
    const QByteArray withNuls(kNuls, sizeof kNuls - 1);
    const std::vector<QByteArray> inputs = {
        QByteArray(),
        "\n",
        "\r",
        "\r\r\n\r\n",
        ",",
        ", ",
        "Time, ",
        "Time, RPM, ",
        "Time, RPM\n,",
        "Time, RPM\n, ",
        "Time, RPM\n, , , \r",
        "Time, RPM\r\n000.001, 1\r",
        withNuls,
        "Time" + QByteArray(", ").repeated(30),
        "Time, RPM\n" + QByteArray(", ").repeated(100000),
        QByteArray(1 << 20, ',') + "\n" + QByteArray(1 << 20, ' '),
        "Time, " + QByteArray(3 << 20, 'A') + "\n", // a megabyte-long name
    };
    for (const QByteArray& in : inputs) {
        const LogReadResult r = LogReader::readBytes(in);
        exercise(r);
        for (const QString& m : r.messages)
            EXPECT_LE(m.size(), 200);
    }
}

TEST(LogReaderRegression, SavedFuzzInputs) {
    // Seeds of the fuzz corpus (good logs) and inputs the fuzzer kept for their coverage.
    const QDir dir(KX_LOGS_FUZZ_REGRESSIONS);
    const QStringList files = dir.entryList(QDir::Files);
    EXPECT_GE(files.size(), 4);
    for (const QString& name : files) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
        SCOPED_TRACE(name.toStdString());
        const LogReadResult r = LogReader::readBytes(f.readAll());
        if (name.startsWith("seed-")) {
            EXPECT_TRUE(r.ok());
        }
        exercise(r);
    }
}
