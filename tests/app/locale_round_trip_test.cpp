// Files keep "." as the decimal point under a comma-decimal locale: QApplication sets the C
// library's locale from the environment, and printf-style formatting follows it.
#include "live/gauge_setup.h"
#include "logs/log_format.h"
#include "logs/log_reader.h"
#include "support/main_window.h"
#include "util/numbers.h"
#include "util/settings_store.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <clocale>
#include <gtest/gtest.h>
#include <string>

using namespace kx;
using namespace kx::test;

namespace {

// Builds de_DE.UTF-8 into a directory of its own (LOCPATH) and makes it the C locale for the
// object's life.
class GermanLocale {
public:
    GermanLocale() {
        const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
        if (localedef.isEmpty()) {
            skip_ = "localedef is missing (scripts/deps installs the locales package)";
            return;
        }
        QProcess p;
        p.start(localedef, {"-i", "de_DE", "-f", "UTF-8", dir_.filePath("de_DE.UTF-8")});
        // localedef may exit non-zero for mere warnings; the locale is there or it is not.
        p.waitForFinished(120000);
        oldLocale_ = std::setlocale(LC_ALL, nullptr);
        oldLocPath_ = qgetenv("LOCPATH");
        qputenv("LOCPATH", QFile::encodeName(dir_.path()));
        active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
        if (!active_)
            error_ =
                "localedef built no usable de_DE.UTF-8: " + p.readAllStandardError().toStdString();
    }
    ~GermanLocale() {
        if (active_) std::setlocale(LC_ALL, oldLocale_.c_str());
        if (!skip_.empty()) return;
        if (oldLocPath_.isNull())
            qunsetenv("LOCPATH");
        else
            qputenv("LOCPATH", oldLocPath_);
    }
    const std::string& skipReason() const { return skip_; }
    const std::string& error() const { return error_; }
    bool active() const { return active_; }

private:
    QTemporaryDir dir_;
    std::string oldLocale_;
    QByteArray oldLocPath_;
    bool active_ = false;
    std::string skip_, error_;
};

} // namespace

TEST(LocaleRoundTrip, LogsAndSettingsKeepTheirDecimalPointUnderACommaLocale) {
    GermanLocale german;
    if (!german.skipReason().empty()) GTEST_SKIP() << german.skipReason();
    ASSERT_TRUE(german.active()) << german.error();
    ASSERT_STREQ(std::localeconv()->decimal_point, ","); // the locale really is in force

    // A log written and read back.
    QTemporaryDir dir;
    LogSelection sel;
    for (int g : {0, 1, 7, 12})
        sel.gauges[size_t(g)] = true;
    LogWriter writer;
    ASSERT_EQ(writer.start(dir.filePath("de.log"), catalogueNames(false, false), sel, 0),
              std::nullopt);
    LogValues v;
    v.gauges[0] = 800;
    v.gauges[1] = 1.31f;
    v.gauges[7] = 14.1f;
    v.gauges[12] = 0.44f;
    ASSERT_EQ(writer.record(v, 47), std::nullopt);
    ASSERT_EQ(writer.stop(), std::nullopt);
    QFile file(dir.filePath("de.log"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "Time, RPM, Air Flow, Battery, Injector\r\n"
                              "000.047, 800, 1.31, 14.1, 0.44\r\n");
    const LogReadResult log = LogReader::readFile(dir.filePath("de.log"));
    ASSERT_TRUE(log.ok());
    for (int g : {0, 1, 7, 12}) {
        const LogNumbers n = log.data.numbersByCode(g);
        ASSERT_TRUE(n.complete()) << g;
        EXPECT_EQ(n.values.at(0), v.gauges[size_t(g)]) << g;
    }

    // A setting saved, reloaded and shown on screen.
    {
        SettingsStore store(dir.filePath("Kestrix.ini"));
        store.save("TyreSize", "Correction", singleText(1.0234f));
    }
    const QString stored =
        SettingsStore(dir.filePath("Kestrix.ini")).read("TyreSize", "Correction");
    EXPECT_EQ(stored, "1.0234");
    EXPECT_EQ(parseSingle(stored), 1.0234f);
    MainWindow w([](SettingsStore& s) { s.save("TyreSize", "Correction", "1.05"); });
    EXPECT_EQ(w.panel(1), "Spd Corr: 1.05");
}
