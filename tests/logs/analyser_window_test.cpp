// The log analyser window on the main window: loading, the boxes and readouts, drawing, zoom,
// scroll and cursor.
#include "logs/AnalyserPlot.h"
#include "logs/ScatterPlot.h"
#include "logs/frmLogAnalyzer.h"
#include "support/accessible_tree.h"
#include "support/main_window.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QImageReader>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {

struct Analyser : MainWindow {
    frmLogAnalyzer* win = form->open<frmLogAnalyzer>();

    QString writeLog(const QByteArray& header, const QList<QByteArray>& records) {
        const QString path = dir.filePath(QStringLiteral("log%1.log").arg(++files));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(header + "\r\n");
        for (const QByteArray& r : records)
            f.write(r + "\r\n");
        return path;
    }
    // `n` records of RPM and Battery, RPM counting up from 0 by 10.
    QString rampLog(int n) {
        QList<QByteArray> records;
        for (int i = 0; i < n; ++i)
            records << QByteArray::number(i) + ", " + QByteArray::number(i * 10) + ", 12.5";
        return writeLog("Time, RPM, Battery", records);
    }
    void open(const QString& path) {
        dialogs.fileAnswers.push_back(path);
        win->btnBrowse_Click();
        waitUntil([&] { return !win || !win->isLoading(); }, 10000); // read on a thread of its own
    }
    template <class T> T* get(const QString& name) {
        T* w = win->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QCheckBox* check(int graph, int k) {
        return get<QCheckBox>(QStringLiteral("Check%1_%2").arg(graph).arg(k));
    }
    QLabel* param(int i) { return get<QLabel>(QStringLiteral("lblParam_%1").arg(i)); }
    QGroupBox* frame(int i) { return get<QGroupBox>(QStringLiteral("Frame1_%1").arg(i)); }
    QPushButton* button(const char* name) { return get<QPushButton>(QString::fromLatin1(name)); }
    QScrollBar* scroll() { return get<QScrollBar>(QStringLiteral("scrollBar1")); }
    QColor text(int i) { return param(i)->palette().color(QPalette::WindowText); }
    QColor back(int i) { return param(i)->palette().color(QPalette::Window); }

    int files = 0;
};

} // namespace

TEST(LogAnalyser, OpensOnceFromTheMainWindowAndClosesOnEscape) {
    Analyser a;
    EXPECT_EQ(a.win->windowTitle(), "Data Log Analyser");
    EXPECT_TRUE(a.win->isVisible());
    EXPECT_EQ(a.form->open<frmLogAnalyzer>(), a.win);
    a.find<QAction>("mnuFLogAnalyzer")->trigger(); // F7
    EXPECT_EQ(a.form->findChildren<frmLogAnalyzer*>().size(), 1);
    // Before a log: Open only; Zoom In on, Zoom Out off inside the disabled position frame.
    EXPECT_TRUE(a.button("btnBrowse")->isEnabled());
    EXPECT_FALSE(a.get<QGroupBox>("fraPosition")->isEnabled());
    EXPECT_FALSE(a.check(1, 0)->isEnabled());
    EXPECT_FALSE(a.button("btnZoomOut")->isEnabled());
    const auto insideComboBox = [](QWidget* w) { // its list, reached through the combo box
        for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
            if (qobject_cast<QComboBox*>(p)) return true;
        return false;
    };
    for (QWidget* w : a.win->findChildren<QWidget*>())
        EXPECT_TRUE(showsNothing(w) || insideComboBox(w) || !spokenName(w).isEmpty())
            << w->objectName().toStdString();

    QPointer<frmLogAnalyzer> win = a.win;
    win->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(win));
    QTest::keyClick(win, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(win.isNull());
}

TEST(LogAnalyser, LoadFillsTheBoxesAndReadsOutTheFirstRecord) {
    Analyser a;
    const QString path = a.writeLog(
        "Time, RPM, Water Temp F, Fuel Pump, Bogus, Battery, Closed TPS",
        {"000.010, 800, 150, On, x, 012.50, Off", "000.020, 900, 151, Off, y, 12.4, On"});
    a.open(path);
    EXPECT_EQ(a.dialogs.messages, QStringList{"Parameter 'Bogus' is not supported."});
    EXPECT_EQ(a.win->windowTitle(), "Data Log - " + path);
    // The log's unit names its gauge, though the program is set to Celsius.
    EXPECT_EQ(a.frame(0)->title(), "RPM");
    EXPECT_EQ(a.frame(1)->title(), "Water Temp F");
    EXPECT_EQ(a.frame(2)->title(), "Battery");
    EXPECT_EQ(a.frame(3)->title(), "");
    for (int g : {1, 2}) {
        EXPECT_TRUE(a.check(g, 2)->isEnabled());
        EXPECT_FALSE(a.check(g, 3)->isEnabled());
    }
    EXPECT_TRUE(a.frame(12 + 6)->isEnabled()); // Fuel Pump
    EXPECT_TRUE(a.frame(12)->isEnabled());     // Closed TPS
    EXPECT_FALSE(a.frame(13)->isEnabled());
    // Texts as they stand in the file; indicators in their own cells.
    EXPECT_EQ(a.param(0)->text(), "800");
    EXPECT_EQ(a.param(2)->text(), "012.50");
    EXPECT_EQ(a.param(18)->text(), "On");
    EXPECT_EQ(a.param(12)->text(), "Off");
    EXPECT_EQ(a.get<QLabel>("Label1")->text(), "0.0 s, record 1");
    EXPECT_EQ(a.text(0), QColor(0, 255, 0));
    EXPECT_EQ(a.back(0), QColor(0, 0, 0));
    EXPECT_TRUE(a.get<QGroupBox>("fraPosition")->isEnabled());
    EXPECT_TRUE(a.button("btnBrowse")->isEnabled());

    // A cancelled Open changes nothing; a broken log empties the window and says so.
    a.win->btnBrowse_Click();
    EXPECT_EQ(a.frame(0)->title(), "RPM");
    a.dialogs.messages.clear();
    QByteArray thirteen = "Time";
    for (int i = 0; i < 13; ++i)
        thirteen += ", RPM";
    a.open(a.writeLog(thirteen, {"1, 2"}));
    EXPECT_EQ(a.dialogs.messages, QStringList{"Invalid log file data structure"});
    EXPECT_EQ(a.frame(0)->title(), "");
    EXPECT_EQ(a.param(0)->text(), "");
    EXPECT_FALSE(a.check(1, 0)->isEnabled());
    EXPECT_FALSE(a.get<QGroupBox>("fraPosition")->isEnabled());
    EXPECT_TRUE(a.button("btnBrowse")->isEnabled());
}

TEST(LogAnalyser, PlotWidthScrollAndZoomFollowTheRecords) {
    Analyser a;
    const int64_t container = a.win->containerWidth();
    ASSERT_GT(container, 6000);
    ASSERT_LT(container, 20000);

    a.open(a.rampLog(1000)); // fits the container
    EXPECT_EQ(a.win->plotWidth(), container);
    EXPECT_EQ(a.scroll()->maximum(), 0);
    EXPECT_FALSE(a.scroll()->isEnabled());

    a.open(a.rampLog(20000));
    EXPECT_EQ(a.win->plotWidth(), 20000);
    EXPECT_EQ(a.scroll()->maximum(), 20000 - container);
    EXPECT_EQ(a.win->scrollScale(), 1);
    EXPECT_TRUE(a.scroll()->isEnabled());
    // Scrolling moves both graphs together.
    a.scroll()->setValue(1234);
    EXPECT_EQ(a.win->graph(0)->offset(), 1234);
    EXPECT_EQ(a.win->graph(1)->offset(), 1234);
    // A wider window keeps the view where it was and shortens the range.
    a.win->resize(a.win->width() + 150, a.win->height());
    QCoreApplication::processEvents();
    ASSERT_GT(a.win->containerWidth(), container);
    EXPECT_EQ(a.scroll()->maximum(), 20000 - a.win->containerWidth());
    EXPECT_EQ(a.win->graph(0)->offset(), 1234);
    a.win->resize(a.win->width() - 150, a.win->height());
    QCoreApplication::processEvents();

    a.button("btnZoomIn")->click();
    EXPECT_EQ(a.win->plotWidth(), 25000);
    EXPECT_EQ(a.win->graph(1)->surfaceWidth(), 25000);
    EXPECT_EQ(a.scroll()->maximum(), 25000 - container);
    EXPECT_EQ(a.win->graph(0)->offset(), 0);
    EXPECT_TRUE(a.button("btnZoomOut")->isEnabled());
    // 18750 would be narrower than the records: the zoom-out limit.
    a.button("btnZoomOut")->click();
    EXPECT_EQ(a.win->plotWidth(), 20000);
    EXPECT_FALSE(a.button("btnZoomOut")->isEnabled());
    EXPECT_TRUE(a.scroll()->isEnabled());
}

TEST(LogAnalyser, ZoomInStopsAtItsLimitWithAMessage) {
    Analyser a;
    a.open(a.rampLog(50)); // at most 49 records x 100 pixels
    a.dialogs.messages.clear();
    int clicks = 0;
    while (a.button("btnZoomIn")->isEnabled() && clicks < 100) {
        a.button("btnZoomIn")->click();
        ++clicks;
    }
    EXPECT_EQ(a.dialogs.messages, QStringList{"Maximum Zoom achieved!"});
    const int64_t widest = a.win->plotWidth();
    EXPECT_LE(widest, 49 * 1500);
    EXPECT_GT(widest + widest / 4, 49 * 1500);
    a.button("btnZoomOut")->click();
    EXPECT_EQ(a.win->plotWidth(), widest - widest / 4);
    EXPECT_TRUE(a.button("btnZoomIn")->isEnabled());
    // A new log starts unzoomed, with Zoom In available.
    a.button("btnZoomIn")->click();
    a.open(a.rampLog(50));
    EXPECT_EQ(a.win->plotWidth(), a.win->containerWidth());
    EXPECT_TRUE(a.button("btnZoomIn")->isEnabled());
    EXPECT_FALSE(a.button("btnZoomOut")->isEnabled());
}

TEST(LogAnalyser, TickedSeriesAreDrawnInTheirColours) {
    Analyser a;
    a.open(a.rampLog(101));
    a.check(1, 1)->click();
    EXPECT_EQ(a.win->graph(0)->seriesCount(), 1);
    EXPECT_EQ(a.win->graph(1)->seriesCount(), 0);
    EXPECT_DOUBLE_EQ(a.win->stepX(), double(a.win->plotWidth()) / 100);
    EXPECT_EQ(a.text(1), QColor(214, 39, 40));
    EXPECT_EQ(a.back(1), QColor(255, 255, 255));
    a.check(2, 1)->click();
    a.check(2, 0)->click();
    EXPECT_EQ(a.win->graph(1)->seriesCount(), 2);
    // Unticked from one graph, still shown on the other: keeps its colour.
    a.check(1, 1)->click();
    EXPECT_EQ(a.win->graph(0)->seriesCount(), 0);
    EXPECT_EQ(a.text(1), QColor(214, 39, 40));
    a.check(2, 1)->click();
    EXPECT_EQ(a.text(1), QColor(0, 255, 0));
    EXPECT_EQ(a.back(1), QColor(0, 0, 0));
    EXPECT_TRUE(a.dialogs.messages.isEmpty());
}

// Screen readers, voice control and automation tick a box through its Toggle action, which
// changes the state without a click.
TEST(LogAnalyser, ABoxToggledThroughItsAccessibleActionIsPlotted) {
    Analyser a;
    a.open(a.rampLog(101));
    QAccessibleInterface* box = QAccessible::queryAccessibleInterface(a.check(1, 0));
    ASSERT_TRUE(box && box->actionInterface());
    EXPECT_EQ(box->text(QAccessible::Name), "RPM on Graph 1");
    box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    ASSERT_TRUE(a.check(1, 0)->isChecked());
    EXPECT_EQ(a.win->graph(0)->seriesCount(), 1);
    EXPECT_FALSE(a.win->graph(0)->accessibleDescription().contains("Nothing plotted"));
    box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(a.win->graph(0)->seriesCount(), 0);
}

TEST(LogAnalyser, PaintsZeroOnTheBottomRowMaxValOnTheTopAndFlatRunsAcross) {
    Analyser a;
    const auto painted = [&](int graph, QColor colour) {
        const QImage img = a.win->graph(graph)->grab().toImage();
        std::vector<int> rows(size_t(img.height()));
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                rows[size_t(y)] += img.pixelColor(x, y) == colour;
        return rows;
    };
    QList<QByteArray> records;
    for (int i = 0; i < 40; ++i)
        records << (i % 2 ? "1, 8000" : "1, 0");
    a.open(a.writeLog("Time, RPM", records));
    a.check(1, 0)->click();
    std::vector<int> rows = painted(0, QColor(31, 119, 180));
    EXPECT_GT(rows.front(), 0);
    EXPECT_GT(rows[size_t(a.win->graph(0)->plotHeight() - 1)], 0); // above the time axis

    // Many records a pixel, all alike but one: a full-width line and the spike.
    records.clear();
    for (int i = 0; i < 30000; ++i)
        records << (i == 5000 ? "1, 0, 6" : "1, 0, 3");
    a.open(a.writeLog("Time, RPM, Throttle", records));
    a.check(2, 1)->click();
    rows = painted(1, QColor(214, 39, 40));
    const int width = a.win->graph(1)->width();
    const int middle = (a.win->graph(1)->plotHeight() - 1) / 2;
    EXPECT_GE(rows[size_t(middle)], width - 1);
    EXPECT_EQ(rows.front(), 1);
}

TEST(LogAnalyser, CursorMovesByButtonAndMouse) {
    Analyser a;
    a.open(a.writeLog("Time, RPM, Fuel Pump",
                      {"1, 800, On", "2, 900, Off", "3, 1000, On", "4, 1100, Off", "5, 1200, On"}));
    auto* label = a.get<QLabel>("Label1");
    // No series yet: X is 0 and the mouse does nothing, the buttons work.
    a.win->picGraph_MouseDown(5000);
    EXPECT_EQ(a.win->cursorRecord(), 1);
    a.button("btnMinus1")->click();
    EXPECT_EQ(a.win->cursorRecord(), 1);
    EXPECT_FALSE(a.button("btnMinus1")->isEnabled());
    a.button("btnPlus1")->click();
    EXPECT_EQ(a.win->cursorRecord(), 2);
    EXPECT_TRUE(a.button("btnMinus1")->isEnabled());
    EXPECT_EQ(label->text(), "1.0 s, record 2");
    EXPECT_EQ(a.param(0)->text(), "900");
    EXPECT_EQ(a.param(12 + 6)->text(), "Off");
    for (int i = 0; i < 3; ++i)
        a.button("btnPlus1")->click();
    EXPECT_EQ(a.win->cursorRecord(), 5);
    EXPECT_TRUE(a.button("btnPlus1")->isEnabled());
    a.button("btnPlus1")->click(); // at N: disables itself, no move
    EXPECT_EQ(a.win->cursorRecord(), 5);
    EXPECT_FALSE(a.button("btnPlus1")->isEnabled());
    a.button("btnMinus1")->click();
    EXPECT_TRUE(a.button("btnPlus1")->isEnabled());
    EXPECT_EQ(a.param(0)->text(), "1100");

    a.check(1, 0)->click();
    const double x = a.win->stepX();
    ASSERT_GT(x, 0);
    EXPECT_DOUBLE_EQ(a.win->graph(0)->cursorX(), 3 * x); // the line follows the new X
    // Halfway between records 1 and 2 (1.5) and between 3 and 4 (3.5): the even one.
    a.win->picGraph_MouseDown(0.5 * x);
    EXPECT_EQ(a.win->cursorRecord(), 2);
    a.win->picGraph_MouseDown(2.5 * x);
    EXPECT_EQ(a.win->cursorRecord(), 4);
    EXPECT_EQ(label->text(), "3.0 s, record 4");
    EXPECT_DOUBLE_EQ(a.win->graph(1)->cursorX(), 2.5 * x);
    // A real click and drag with the left button, in pixels of the graph.
    AnalyserPlot* plot = a.win->graph(1);
    QTest::mousePress(plot, Qt::LeftButton, {}, QPoint(1, 5));
    EXPECT_EQ(a.win->cursorRecord(), 1);
    QMouseEvent move(QEvent::MouseMove, QPointF(plot->width() - 1, 5),
                     plot->mapToGlobal(QPointF(plot->width() - 1, 5)), Qt::NoButton, Qt::LeftButton,
                     {});
    QCoreApplication::sendEvent(plot, &move);
    EXPECT_EQ(a.win->cursorRecord(), 5);
    EXPECT_EQ(a.param(0)->text(), "1200");
    QTest::mouseRelease(plot, Qt::LeftButton, {}, QPoint(plot->width() - 1, 5));
}

TEST(LogAnalyser, UnplottableDataSaysInvalidLogData) {
    Analyser a;
    a.open(a.writeLog("Time, RPM", {"1, 800"})); // one record: no step between records
    a.check(1, 0)->click();
    EXPECT_EQ(a.dialogs.messages, QStringList{"Invalid log data"});
    EXPECT_EQ(a.win->graph(0)->seriesCount(), 0);
    EXPECT_EQ(a.win->stepX(), 0);

    a.dialogs.messages.clear();
    a.open(a.writeLog("Time, RPM, Battery",
                      {"1, 800, 12", "2, 900, 12", "3, oops, 12", "4, 1000, 12"}));
    a.check(2, 0)->click();
    EXPECT_EQ(a.dialogs.messages, QStringList{"Invalid log data"});
    a.check(2, 1)->click(); // every redraw of the graph meets the bad value again
    EXPECT_EQ(a.dialogs.messages.size(), 2);
    // The records before the bad one stay drawn, and the other series is drawn in full.
    EXPECT_EQ(a.win->graph(1)->seriesCount(), 2);
}

TEST(LogAnalyser, GraphsReadOutTheirSpanAndTheScatterMovesTheCursor) {
    Analyser a;
    // A minute at ten records a second: RPM climbs by 10 a record, Throttle saws, WBo2 varies.
    QList<QByteArray> records;
    for (int i = 0; i < 600; ++i)
        records << QByteArray::number(i / 10.0, 'f', 3) + ", " + QByteArray::number(1000 + 10 * i) +
                       ", " + QByteArray::number((i % 50) / 10.0) + ", " +
                       QByteArray::number(12 + i % 7);
    a.open(a.writeLog("Time, RPM, Throttle, WBo2", records));
    a.check(1, 0)->click();
    a.check(1, 1)->click();
    for (int i = 0; i < 3; ++i)
        a.button("btnZoomIn")->click();
    // The records in view, their times, and each series' range over them.
    const QRegularExpression said(QStringLiteral(
        R"(^Records (\d+) to (\d+), (\S+) s to (\S+) s\. RPM (\d+) to (\d+)\. Throttle (\S+) to (\S+)\.$)"));
    const auto spoken = [&] {
        const QRegularExpressionMatch m = said.match(a.win->graph(0)->accessibleDescription());
        EXPECT_TRUE(m.hasMatch()) << a.win->graph(0)->accessibleDescription().toStdString();
        return m;
    };
    QRegularExpressionMatch m = spoken();
    const int last = m.captured(2).toInt();
    EXPECT_EQ(m.captured(1), "1");
    EXPECT_GT(last, 250); // about half of the log after three zoom steps
    EXPECT_LT(last, 400);
    EXPECT_EQ(m.captured(3), "0.0");
    EXPECT_EQ(m.captured(4), QString::number((last - 1) / 10.0, 'f', 1));
    EXPECT_EQ(m.captured(5), "1000");
    EXPECT_EQ(m.captured(6).toInt(), 1000 + 10 * (last - 1));
    EXPECT_EQ(m.captured(7), "0");
    EXPECT_EQ(m.captured(8), "4.9");
    // Scrolled to the end, the span and the ranges follow.
    a.scroll()->setValue(a.scroll()->maximum());
    m = spoken();
    EXPECT_EQ(m.captured(2), "600");
    EXPECT_EQ(m.captured(5).toInt(), 1000 + 10 * (m.captured(1).toInt() - 1));
    EXPECT_EQ(m.captured(6), "6990");

    a.get<QRadioButton>("optScatter")->click();
    EXPECT_FALSE(a.get<QGroupBox>("fraGraph1")->isVisible());
    EXPECT_TRUE(a.button("btnZoomIn")->isHidden()); // the scatter has no span to zoom
    EXPECT_EQ(a.get<QComboBox>("cboScatterX")->currentText(), "RPM");
    EXPECT_EQ(a.get<QComboBox>("cboScatterY")->currentText(), "Throttle");
    EXPECT_EQ(a.get<QComboBox>("cboScatterColour")->currentText(), "WBo2");
    ScatterPlot* scatter = a.win->scatter();
    ASSERT_EQ(scatter->records(), 600);
    const auto dot = scatter->dotOf(122); // record 123: 2220 rpm, throttle 2.2
    ASSERT_TRUE(dot);
    QTest::mouseClick(scatter, Qt::LeftButton, {}, *dot + QPoint(2, -1));
    EXPECT_EQ(a.win->cursorRecord(), 123);
    EXPECT_EQ(a.get<QLabel>("Label1")->text(), "12.2 s, record 123");
    EXPECT_EQ(a.param(0)->text(), "2220");
    EXPECT_DOUBLE_EQ(a.win->graph(1)->cursorX(), 122 * a.win->stepX());
    EXPECT_TRUE(scatter->accessibleDescription().contains(
        "Cursor at record 123: RPM 2220, Throttle 2.2, WBo2 15."));
    // The graphs were scrolled to the end: they bring the cursor back into sight.
    const int64_t offset = a.win->graph(0)->offset();
    EXPECT_LE(offset, 122 * a.win->stepX());
    EXPECT_GT(offset + a.win->containerWidth(), 122 * a.win->stepX());
    // Another column for the colour keeps the cursor ringed on its record.
    a.get<QComboBox>("cboScatterColour")->setCurrentIndex(0);
    a.win->cboScatter_Change();
    EXPECT_EQ(scatter->cursorRecord(), 122);
    EXPECT_TRUE(a.dialogs.messages.isEmpty());
}

TEST(LogAnalyser, ScatterDotsTakeTheirRecordsColourAndTheCursorIsRinged) {
    ScatterPlot plot;
    plot.resize(400, 300);
    plot.show();
    // Records 2 and 3 share a pixel: the one higher on the colour scale shows.
    const std::vector<float> x = {0, 50, 100, 100}, y = {0, 50, 100, 100}, c = {10, 15, 20, 10};
    plot.setColumns({"RPM", x}, {"Throttle", y}, {"WBo2", c});
    QImage image = plot.renderImage(plot.size());
    const auto at = [&](int64_t record, QPoint d = {}) {
        return image.pixel(*plot.dotOf(record) + d) | 0xFF000000u;
    };
    EXPECT_EQ(at(0), scatterScaleColour(0));
    EXPECT_EQ(at(1), scatterScaleColour(0.5));
    EXPECT_EQ(at(3), scatterScaleColour(1));
    EXPECT_EQ(at(1, QPoint(4, 4)), 0xFFFFFFFFu);
    plot.setCursorRecord(1);
    image = plot.renderImage(plot.size());
    EXPECT_LT(qGray(at(1, QPoint(4, 4))), 100); // on the ring
    EXPECT_EQ(at(1), scatterScaleColour(0.5));  // the dot itself still shows
    int64_t clicked = -1;
    QObject::connect(&plot, &ScatterPlot::recordClicked, [&](int64_t r) { clicked = r; });
    QTest::mouseClick(&plot, Qt::LeftButton, {}, *plot.dotOf(1) + QPoint(4, 3));
    EXPECT_EQ(clicked, 1);
}

TEST(LogAnalyser, ExportViewSavesAPictureOfTheWindowsSizeAndNeverReplacesUnasked) {
    Analyser a;
    a.open(a.rampLog(300));
    a.check(1, 0)->click();
    const QString path = a.dir.filePath(QStringLiteral("view.png"));
    const auto exportTo = [&](const QString& to) {
        a.dialogs.fileAnswers.push_back(to);
        a.button("btnExport")->click();
    };
    exportTo(path);
    EXPECT_EQ(QImageReader(path).size(), a.win->size());
    EXPECT_TRUE(a.dialogs.messages.isEmpty());

    // An existing file is kept when the user says no, replaced when yes.
    a.get<QRadioButton>("optScatter")->click();
    QFile::resize(path, 0);
    exportTo(path);
    EXPECT_EQ(a.dialogs.questions.size(), 1);
    EXPECT_TRUE(a.dialogs.questions[0].contains(path));
    EXPECT_EQ(QFile(path).size(), 0);
    a.dialogs.questionAnswers.push_back(true);
    exportTo(path);
    EXPECT_EQ(QImageReader(path).size(), a.win->size());

    // A file that cannot be written says so.
    exportTo(a.dir.filePath(QStringLiteral("missing/view.png")));
    ASSERT_EQ(a.dialogs.messages.size(), 1);
    EXPECT_TRUE(a.dialogs.messages[0].startsWith("The view could not be saved to"));
    EXPECT_EQ(a.dialogs.messageKinds[0], MessageKind::Warning);
}
