// The Dyno window: two logged pulls drawn together, the vehicle inputs followed at once, and
// the exports.
#include "cli/cli_options.h"
#include "dyno/DynoPlot.h"
#include "dyno/frmDyno.h"
#include "logs/log_format.h"
#include "support/main_window.h"
#include "support/sim_pull.h"

#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <cmath>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
// The simulator's pull as the stream records it, `slower` stretching its time (less power).
QString pullLog(const QString& path, double slower) {
    const auto s = simPullSamples(slower);
    EXPECT_FALSE(savePullLog(path, s, Units{}));
    return path;
}
} // namespace

TEST(DynoWindow, TwoPullsFollowTheInputsAndExport) {
    MainWindow w;
    auto* win = w.form->open<frmDyno>();
    ASSERT_NE(win, nullptr);
    EXPECT_TRUE(w.find<QPushButton>("btnDyno")->isEnabled()); // no ECU needed
    int added = 0;
    win->addLog(pullLog(w.dir.filePath("before.log"), 1.1), [&](bool ok) { added += ok; });
    win->addLog(pullLog(w.dir.filePath("after.log"), 1.0), [&](bool ok) { added += ok; });
    ASSERT_TRUE(waitUntil([&] { return !win->isLoading(); }, 10000));
    ASSERT_EQ(added, 2);
    ASSERT_EQ(win->pullCount(), 2);
    auto* list = win->findChild<QListWidget*>("lstPulls");
    ASSERT_EQ(win->plot()->curves().size(), 2u);
    list->item(0)->setCheckState(Qt::Unchecked);
    ASSERT_EQ(win->plot()->curves().size(), 1u);
    list->item(0)->setCheckState(Qt::Checked);
    const auto peak = [&](int k) {
        return win->plot()->curves()[size_t(k)].curve.peakPower.powerW;
    };
    EXPECT_LT(peak(0), peak(1)); // the slower pull made less power
    EXPECT_TRUE(list->item(1)->text().contains(QLatin1String("peak power")));
    EXPECT_TRUE(win->plot()->accessibleDescription().contains(QLatin1String("after.log #1: peak")));

    // Twice the mass: the curves follow at once, and the mass is kept.
    const double before = peak(1);
    win->findChild<QDoubleSpinBox*>("spnMass")->setValue(2600);
    // Worked out off the window's thread.
    ASSERT_TRUE(waitUntil([&] { return !win->isLoading(); }, 10000));
    EXPECT_GT(peak(1), 1.8 * before);
    EXPECT_EQ(w.store->read("Dyno", "Mass"), "2600");

    const QString csv = w.dir.filePath("dyno.csv"), png = w.dir.filePath("dyno.png");
    w.dialogs.fileAnswers = {csv, png};
    win->btnExportCsv_Click();
    win->btnExportPng_Click();
    const QByteArray text = fileBytes(csv);
    EXPECT_TRUE(text.startsWith("# mass 2600 kg"));
    EXPECT_TRUE(text.contains("# pull 2: ") && text.contains("\nRPM,Power kW,Torque Nm\n") &&
                text.contains("\n4500,"));
    EXPECT_TRUE(fileBytes(png).startsWith("\x89PNG"));
    // An existing file is replaced only when the user agrees.
    w.dialogs.fileAnswers = {csv};
    w.dialogs.questionAnswers = {false};
    list->item(0)->setCheckState(Qt::Unchecked);
    win->btnExportCsv_Click();
    EXPECT_EQ(w.dialogs.questions.size(), 1);
    EXPECT_EQ(fileBytes(csv), text);
}

// A log with a record that is no number, one no engine made, and the wideband's ratio: the pull
// is listed with its ratio, the status counts what was left out, and the export has the ratio.
TEST(DynoWindow, SaysWhatItLeftOutAndShowsTheRatio) {
    MainWindow w;
    auto* win = w.form->open<frmDyno>();
    QByteArray b = "Time, RPM, Speed kph, Throttle, WBo2\r\n";
    const auto s = test::simPullLog(33, 50, 4);
    for (size_t i = 0; i < s.size(); ++i)
        b += logTimeStamp(uint64_t(std::llround(s[i].t * 1000))) + ", " +
             (i == 80   ? QByteArray("")
              : i == 90 ? QByteArray("1e12")
                        : QByteArray::number(s[i].rpm)) +
             ", " + QByteArray::number(s[i].kmh) + ", " +
             QByteArray::number(s[i].throttle, 'f', 2) + ", 12.40\r\n";
    const QString path = w.dir.filePath("afr.log");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(b) == b.size());
    f.close();
    win->addLog(path);
    ASSERT_TRUE(waitUntil([&] { return !win->isLoading(); }, 10000));
    EXPECT_EQ(win->findChild<QLabel*>("lblStatus")->text(),
              "afr.log: 1 pull found (1 record skipped as unreadable; 1 record dropped as "
              "impossible).");
    ASSERT_EQ(win->pullCount(), 1);
    EXPECT_TRUE(win->findChild<QListWidget*>("lstPulls")
                    ->item(0)
                    ->text()
                    .endsWith("; AFR 12.40 at peak power"));
    const QString csv = w.dir.filePath("afr.csv");
    w.dialogs.fileAnswers = {csv};
    win->btnExportCsv_Click();
    EXPECT_TRUE(fileBytes(csv).contains("\nRPM,Power kW,Torque Nm,AFR\n2250,"));
}

// Each vehicle input of the table is a field of the window, a key of the settings, an option of
// kestrix-cli dyno with its help, and a range the check names: none is listed anywhere else.
TEST(DynoWindow, EveryVehicleInputComesFromTheTable) {
    MainWindow w;
    auto* win = w.form->open<frmDyno>();
    ASSERT_NE(win, nullptr);
    const QString help = cliHelpText(QStringLiteral("dyno"));
    const QString overview = cliHelpText();
    for (const VehicleInput& i : kVehicleInputs) {
        SCOPED_TRACE(i.option);
        auto* box = win->findChild<QDoubleSpinBox*>(QLatin1String(i.control));
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->accessibleName(), vehicleInputCaption(i));
        EXPECT_EQ(box->minimum(), i.low);
        EXPECT_EQ(box->maximum(), i.high);
        EXPECT_EQ(box->value(), i.fallback);
        EXPECT_EQ(VehicleInputs().*i.field, i.fallback);
        // A value set in the window is kept under the key and read back.
        const double v = i.low + (i.high - i.low) / 4;
        box->setValue(v);
        EXPECT_EQ(w.store->read("Dyno", QLatin1String(i.key)).toDouble(), box->value());
        EXPECT_EQ(readVehicleInputs(*w.store).*i.field, box->value());

        const QString option = QStringLiteral("--") + QLatin1String(i.option);
        const CliParse parse =
            parseCliArgs({"kestrix-cli", "dyno", option, QString::number(v, 'g', 17), "pull.log"});
        ASSERT_TRUE(parse.options) << qPrintable(parse.error);
        EXPECT_EQ(parse.options->dyno.at(QLatin1String(i.option)), v);
        EXPECT_TRUE(help.contains(vehicleInputHelpLine(i))) << qPrintable(help);
        EXPECT_TRUE(overview.contains(vehicleInputUsage(i)));

        VehicleInputs out;
        out.*i.field = i.high + 1;
        EXPECT_TRUE(vehicleInputsProblem(out).startsWith(QString::fromUtf8(i.rangeName) + u':'));
    }
}
