// The log analyser on a long log: load, drawing a ticked series, and the repaint after a zoom
// step, a scroll step and a cursor move. Times include the synchronous repaint of both graphs.
// Then the scatter view of the same log: its drawing and a click on a dot.
//   QT_QPA_PLATFORM=offscreen build/bench/analyser_bench [RECORDS]   (default 1,000,000)
#include "app/Form2.h"
#include "bench_support.h"
#include "link/SerialPort.h"
#include "live/gauge_setup.h"
#include "logs/AnalyserPlot.h"
#include "logs/ScatterPlot.h"
#include "logs/frmLogAnalyzer.h"
#include "logs/log_format.h"
#include "ui/Dialogs.h"
#include "util/settings_store.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

using namespace kx;

namespace {

class BenchDialogs : public Dialogs {
public:
    QString file;
    int messages = 0;
    void message(QWidget*, const QString&, MessageKind = MessageKind::Plain) override {
        ++messages;
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&,
                         const QString&) override {
        return {};
    }
    QString openFileName(QWidget*, const QString&, const QString&) override { return file; }
    std::optional<uint32_t> chooseColour(QWidget*, uint32_t) override { return std::nullopt; }
    void beep() override {}
};

// Twelve gauge columns of changing values, twelve indicators.
bool writeLog(const QString& path, long records) {
    LogGaugeNames names = catalogueNames(false, false);
    LogSelection sel;
    const int gauges[] = {0, 1, 3, 4, 6, 7, 8, 10, 12, 13, 14, 24};
    for (int g : gauges)
        sel.gauges[size_t(g)] = true;
    sel.indicators.fill(true);
    LogWriter w;
    if (w.start(path, names, sel, 0)) return false;
    LogValues v;
    for (long r = 0; r < records; ++r) {
        const double t = double(r) / 10;
        for (int i = 0; i < 12; ++i) {
            const double wave = 0.5 + 0.45 * std::sin(t / (3 + i) + i);
            v.gauges[size_t(gauges[i])] = float(wave * (i == 0 ? 7000 : 90) + (r % 13));
        }
        for (int i = 0; i < kLogIndicatorCount; ++i)
            v.states[size_t(i)] = (r / (i + 5)) % 2 ? QStringLiteral("On") : QStringLiteral("Off");
        if (w.record(v, uint32_t(r * 10))) return false;
    }
    w.stop();
    return true;
}

// Wall time, and the CPU time of this thread: on a machine shared with other work the second
// shows what the action itself costs.
struct Timing {
    double wall = 0, cpu = 0;
};

struct Figures {
    std::vector<double> wall, cpu;
    void add(Timing t) {
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
    }
    void print(const char* what) {
        if (!measured(what, wall.size())) return;
        std::sort(wall.begin(), wall.end());
        std::sort(cpu.begin(), cpu.end());
        std::printf("%-48s median %7.2f ms  max %7.2f ms  cpu median %7.2f ms  (%zu runs)\n", what,
                    wall[wall.size() / 2], wall.back(), cpu[cpu.size() / 2], wall.size());
        std::fflush(stdout);
        wall.clear();
        cpu.clear();
    }
};

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

Timing timed(const std::function<void()>& action) {
    QElapsedTimer t;
    const double cpu = threadCpuMs();
    t.start();
    action();
    return {double(t.nsecsElapsed()) / 1e6, threadCpuMs() - cpu};
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const long records = argc > 1 ? std::atol(argv[1]) : 1000000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.log"));
    if (!writeLog(path, records)) return 1;
    std::printf("log: %ld records, 12 gauge and 12 indicator columns, %.1f MB\n", records,
                double(QFile(path).size()) / 1e6);

    SettingsStore store(dir.filePath(QStringLiteral("Kestrix.conf")));
    BenchDialogs dialogs;
    dialogs.file = path;
    Form2 main(store, dialogs, new MemoryPort, new MemoryPort);
    main.load();
    frmLogAnalyzer* a = main.open<frmLogAnalyzer>();
    QApplication::processEvents();
    const auto repaint = [a] {
        a->graph(0)->repaint();
        a->graph(1)->repaint();
    };
    const auto check = [a](int graph, int k) {
        return a->findChild<QCheckBox*>(QStringLiteral("Check%1_%2").arg(graph).arg(k));
    };
    const auto button = [a](const char* name) {
        return a->findChild<QPushButton*>(QString::fromLatin1(name));
    };
    auto* bar = a->findChild<QScrollBar*>(QStringLiteral("scrollBar1"));
    std::printf("graph: %d x %d pixels, container %lld twips\n", a->graph(0)->width(),
                a->graph(0)->height(), static_cast<long long>(a->containerWidth()));
    Figures f;

    // The log is read on a thread of its own: each run waits for the loaded window.
    for (int i = 0; i < 3; ++i) {
        Timing t = timed([&] {
            a->btnBrowse_Click();
            runUntil([a] { return !a->isLoading(); }, 600000);
            repaint();
        });
        if (a->records() == records) f.add(t);
    }
    f.print("load (Open to loaded window)");
    if (a->records() != records) {
        std::fprintf(stderr, "the log did not load: %lld of %ld records\n",
                     static_cast<long long>(a->records()), records);
        return 1;
    }

    // The first tick of a column reads it as numbers; later ticks find it read.
    for (int k = 0; k < 12; ++k)
        f.add(timed([&] {
            check(1, k)->click();
            repaint();
        }));
    f.print("tick a series, first time (column read + draw)");
    for (int k = 0; k < 12; ++k)
        check(1, k)->click(); // all off again
    for (int k = 0; k < 12; ++k) {
        f.add(timed([&] {
            check(2, k)->click();
            repaint();
        }));
        check(2, k)->click();
    }
    f.print("tick a series, column already read");

    // Three series on each graph, then all twelve on both: the heaviest repaint.
    for (int series : {3, 12}) {
        for (int k = 0; k < 12; ++k) {
            for (int g : {1, 2})
                if (check(g, k)->isChecked() != (k < series)) check(g, k)->click();
        }
        std::printf("-- %d series on each graph\n", series);
        while (button("btnZoomOut")->isEnabled())
            button("btnZoomOut")->click();
        for (int z = 0; z < 30 && button("btnZoomIn")->isEnabled(); ++z)
            f.add(timed([&] {
                button("btnZoomIn")->click();
                repaint();
            }));
        f.print("zoom in step (narrowest to the limit)");
        for (int z = 0; z < 30 && button("btnZoomOut")->isEnabled(); ++z)
            f.add(timed([&] {
                button("btnZoomOut")->click();
                repaint();
            }));
        f.print("zoom out step");
        for (int z = 0; z < 20; ++z) {
            bar->setValue(0);
            f.add(timed([&] {
                bar->setValue(bar->value() + bar->pageStep());
                repaint();
            }));
        }
        f.print("scroll large step, narrowest plot");
        for (int z = 0; z < 20; ++z)
            f.add(timed([&] {
                bar->setValue(bar->value() + bar->singleStep());
                repaint();
            }));
        f.print("scroll arrow step, narrowest plot");
        for (int z = 0; z < 50; ++z)
            f.add(timed([&] {
                button("btnPlus1")->click();
                repaint();
            }));
        f.print("cursor +1");
        for (int z = 0; z < 50; ++z)
            f.add(timed([&] {
                a->picGraph_MouseDown(double(z) * 19999.0);
                repaint();
            }));
        f.print("cursor by mouse");
    }

    // The scatter: RPM across, Throttle up, coloured by WBo2, one dot per record.
    std::printf("-- scatter\n");
    ScatterPlot* scatter = a->scatter();
    f.add(timed([&] {
        a->findChild<QRadioButton*>(QStringLiteral("optScatter"))->click();
        scatter->repaint();
    }));
    f.print("scatter shown (drawing, columns already read)");
    std::printf("scatter: %lld records on %d x %d pixels\n",
                static_cast<long long>(scatter->records()), scatter->width(), scatter->height());
    auto* colour = a->findChild<QComboBox*>(QStringLiteral("cboScatterColour"));
    for (int z = 0; z < 24 && colour->count() > 0; ++z)
        f.add(timed([&] {
            colour->setCurrentIndex((colour->currentIndex() + 1) % colour->count());
            a->cboScatter_Change();
            scatter->repaint();
        }));
    f.print("scatter redraw (another colour column)");
    for (int z = 0; z < 10; ++z)
        f.add(timed([&] {
            a->resize(a->width() + (z % 2 ? -40 : 40), a->height());
            scatter->repaint();
        }));
    f.print("scatter redraw (window resized)");
    for (int z = 0; z < 50; ++z) {
        const auto dot = scatter->dotOf(int64_t(z) * (records / 50));
        if (!dot) continue;
        f.add(timed([&] {
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(*dot),
                              scatter->mapToGlobal(QPointF(*dot)), Qt::LeftButton, Qt::LeftButton,
                              {});
            QCoreApplication::sendEvent(scatter, &press);
            a->repaint(); // the ring, the record number and every readout
        }));
    }
    f.print("click on a dot to cursor shown");
    std::printf("messages shown: %d\n", dialogs.messages);
    return benchStatus();
}
