// The Dyno window: two logged pulls drawn together, the vehicle inputs followed at once, and
// the exports.
#include "dyno/DynoPlot.h"
#include "dyno/frmDyno.h"
#include "support/main_window.h"
#include "support/sim_pull.h"

#include <QDoubleSpinBox>
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
