// What screen readers get of the windows: values as they are shown now, dials with their
// readings, indicator states with their names, and dial value changes paced.
#include "gauges/GaugePicture.h"
#include "live/Form1.h"
#include "live/GaugeGrid.h"
#include "logs/frmDataLog.h"
#include "logs/frmDataReplay.h"
#include "logs/frmLogAnalyzer.h"
#include "settings/Form3.h"
#include "settings/frmColor.h"
#include "settings/frmPreferences.h"
#include "settings/frmSettings.h"
#include "support/accessible_tree.h"
#include "support/main_window.h"
#include "tools/frmActiveTest.h"
#include "tools/frmSelfDiag.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

using namespace kx;
using namespace kx::test;

TEST(Accessibility, ReadersGetWhatTheWindowsShowNow) {
    MainWindow w;
    auto* part = w.find<QLabel>("lblEcuNo");
    EXPECT_EQ(spokenName(part), "#####");
    w.connectEcu();
    QPointer<Form1> f = w.form->open<Form1>();
    w.settle();
    ASSERT_TRUE(f);
    f->show();
    w.ecu->feed(defaultFrame(64, 0x82, 0x02)); // 800 rpm, 80 C, thermo fan high
    GaugeGrid& g = f->grid();

    const struct {
        QObject* object;
        QString name, value, description;
    } cases[] = {
        {part, "1U800", "", "ECU part number"},
        {w.find<QLabel>("Panel1"), "Spd Corr: 1", "", "Speed Correction"},
        {w.find<QLabel>("Panel2"), "1 - 9600", "", "Com Port - Speed"},
        {w.find<QLabel>("Panel4"), "Celsius", "", "Temperature Unit"},
        {g.picGauge(0), "RPM", "800", "Peak 800"},
        {g.picGauge(2), "Water Temp C", "80", "Peak 80"},
        {g.lblOnOff(7), "Thermo Fan: High", "", ""},
        {g.lblOnOff(10), "A/F ratio: Lean", "", ""},
    };
    for (const auto& c : cases) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(c.object);
        ASSERT_TRUE(iface) << c.object->objectName().toStdString();
        EXPECT_EQ(iface->text(QAccessible::Name), c.name);
        EXPECT_EQ(iface->text(QAccessible::Value), c.value) << c.name.toStdString();
        EXPECT_EQ(iface->text(QAccessible::Description), c.description) << c.name.toStdString();
    }

    // The dial reads as one element with the value and the ends of its scale.
    QAccessibleInterface* dial = QAccessible::queryAccessibleInterface(g.picGauge(0));
    EXPECT_EQ(dial->role(), QAccessible::Dial);
    EXPECT_EQ(dial->childCount(), 0);
    ASSERT_TRUE(dial->valueInterface());
    const GaugeInfo& rpm = w.form->state().setup.gaugeCatalogue[0];
    EXPECT_EQ(dial->valueInterface()->currentValue().toDouble(), 800.0);
    EXPECT_EQ(dial->valueInterface()->minimumValue().toDouble(), rpm.minVal());
    EXPECT_EQ(dial->valueInterface()->maximumValue().toDouble(), rpm.maxVal());

    // Tab reaches the dials row by row, then the buttons; Space on a dial resets its peak.
    QWidget* c = g.picGauge(0);
    for (int i = 1; i < 12; ++i) {
        c = c->nextInFocusChain();
        while (!(c->focusPolicy() & Qt::TabFocus))
            c = c->nextInFocusChain();
        EXPECT_EQ(c, g.picGauge(i));
    }
    QTest::keyClick(g.picGauge(0), Qt::Key_Space);
    EXPECT_EQ(dial->text(QAccessible::Description), "Peak 0");

    // Nothing is named after a control's objectName where it shows something.
    const QString tree = accessibleTree(f) + accessibleTree(w.form.get());
    for (const char* frozen : {"lblValue", "lblMax", "lblName", "Line1", "picGauge", "Panel"})
        EXPECT_FALSE(tree.contains(QLatin1String(frozen))) << frozen << "\n" << tree.toStdString();
}

TEST(Accessibility, DialValueChangesArePacedAndEndOnTheValueShown) {
    MainWindow w;
    w.connectEcu();
    QPointer<Form1> f = w.form->open<Form1>();
    w.settle();
    ASSERT_TRUE(f);
    f->show();
    std::vector<double> announced;
    QObject::connect(f->grid().picGauge(0), &GaugePicture::announced,
                     [&announced](double value) { announced.push_back(value); });

    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 40; ++i)
        w.ecu->feed(defaultFrame(64 + i, 0x82, 0x02));
    const qint64 feeding = clock.elapsed();
    const double last = w.form->state().live.gaugeValue[0]; // the value the dial shows now
    // One at once, then at most one per interval while the frames kept coming.
    EXPECT_GE(announced.size(), 1u);
    EXPECT_LE(announced.size(), size_t(feeding / GaugePicture::kAnnounceIntervalMs + 1));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return !announced.empty() && announced.back() == last; }, 10000));
}

// A box or option set through its accessible Toggle action (a screen reader, voice control,
// automation) changes the state without a click: each window acts on the state.
TEST(Accessibility, ControlsToggledThroughTheirAccessibleActionTakeEffect) {
    MainWindow w;
    w.connectEcu();
    QWidget* analyser = w.form->open<frmLogAnalyzer>();
    QWidget* log = w.form->open<frmDataLog>();
    w.settle();
    QWidget* comms = w.form->open<Form3>();
    const auto click = [](QWidget* window, const char* name) {
        window->findChild<QAbstractButton*>(name)->click();
    };
    const struct {
        QWidget* window;
        const char* control;
        std::function<void()> then;
        std::function<bool()> tookEffect;
    } cases[] = {
        {analyser,
         "optScatter",
         {},
         [&] { return analyser->findChild<QWidget*>("fraScatter")->isVisibleTo(analyser); }},
        {log, "chcLog0", [&] { click(log, "btnStart"); },
         [&] { return w.store->read("DataLog", "Param0") == "0"; }},
        {comms, "chkDebug", [&] { click(comms, "btnSave"); },
         [&] { return w.store->read("Comms", "Debug") == "1"; }},
    };
    for (const auto& c : cases) {
        QAccessibleInterface* iface =
            QAccessible::queryAccessibleInterface(c.window->findChild<QAbstractButton*>(c.control));
        ASSERT_TRUE(iface && iface->actionInterface()) << c.control;
        iface->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        if (c.then) c.then();
        EXPECT_TRUE(c.tookEffect()) << c.control;
    }
}

TEST(Accessibility, TabReachesEveryControlOfEveryWindow) {
    MainWindow w;
    w.connectEcu();
    const QList<QWidget*> windows = {
        w.form.get(),
        w.form->open<Form1>(),
        w.form->open<frmDataLog>(),
        w.form->open<frmDataReplay>(),
        w.form->open<frmLogAnalyzer>(),
        w.form->open<frmSelfDiag>(),
        w.form->open<frmActiveTest>(),
        w.form->open<Form3>(),
        w.form->open<frmPreferences>(),
        w.form->open<frmSettings>(),
        w.form->open<frmColor>(),
    };
    for (QWidget* window : windows) {
        ASSERT_TRUE(window);
        for (QWidget* c : window->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(c) || qobject_cast<QComboBox*>(c) ||
                                 qobject_cast<QAbstractSlider*>(c) || qobject_cast<QLineEdit*>(c) ||
                                 qobject_cast<QPlainTextEdit*>(c);
            // A scroll area's own bars move with its keys.
            const bool partOfAnArea = c->parentWidget() && qobject_cast<QAbstractScrollArea*>(
                                                               c->parentWidget()->parent());
            if (control && !partOfAnArea && c->isVisibleTo(window)) {
                EXPECT_TRUE(c->focusPolicy() & Qt::TabFocus)
                    << window->objectName().toStdString() << " " << c->objectName().toStdString();
            }
        }
    }
}
