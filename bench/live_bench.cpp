// Live-data decoding and the value update of the data display's twelve dials.
// Run: QT_QPA_PLATFORM=offscreen build/bench/live_bench
#include "gauges/GaugePicture.h"
#include "gauges/NeedleLine.h"
#include "gauges/SpeedometerGauge.h"
#include "live/live_data.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <benchmark/benchmark.h>
#include <memory>
#include <vector>

using namespace kx;

namespace {

// Twelve 2-byte gauges and all four switch registers: the longest frame, 28 data bytes.
GaugeSetup widestSetup() {
    GaugeSetup s;
    buildCatalogue(s.gaugeCatalogue, false, false);
    const uint8_t twoByte[] = {0, 1, 2, 12, 19, 0, 1, 2, 12, 19, 0, 12};
    for (int k = 0; k < 12; ++k)
        s.displaySelection[k] = twoByte[k];
    for (int f = 12; f < 16; ++f)
        s.displaySelection[f] = 1;
    countBytes(s);
    return s;
}

// One receive event's worth (2 N + 4 bytes) with the frame starting part-way in.
QByteArray delivery(uint8_t n) {
    QByteArray d(2 * n + 4, '\0');
    int i = 0;
    for (; i < 7; ++i)
        d[i] = static_cast<char>(0x20 + i); // the tail of the previous frame
    d[i++] = static_cast<char>(0xFF);
    d[i++] = static_cast<char>(n);
    for (int k = 0; k < n; ++k)
        d[i++] = static_cast<char>((k * 37) & 0x7F);
    for (; i < d.size(); ++i)
        d[i] = static_cast<char>(0xFF);
    return d;
}

void BM_DecodeWidestFrame(benchmark::State& state) {
    const GaugeSetup setup = widestSetup();
    const QByteArray bytes = delivery(setup.displayByteCount);
    LiveValues values;
    const Units units;
    for (auto _ : state) {
        getFullData(bytes, setup, units, values);
        benchmark::DoNotOptimize(values.gaugeValue.data());
    }
    state.counters["data_bytes"] = setup.displayByteCount;
}
BENCHMARK(BM_DecodeWidestFrame);

void BM_BuildRequest(benchmark::State& state) {
    const GaugeSetup setup = widestSetup();
    for (auto _ : state)
        benchmark::DoNotOptimize(fullDataRequest(setup));
}
BENCHMARK(BM_BuildRequest);

// The data display's dial grid: twelve pictures with their overlays, each with its gauge.
struct DialGrid {
    QWidget window;
    std::vector<std::unique_ptr<SpeedometerGauge>> gauges;
    QImage target{800, 480, QImage::Format_ARGB32_Premultiplied};

    DialGrid() {
        window.resize(800, 480);
        const GaugeSetup setup = widestSetup();
        for (int i = 0; i < 12; ++i) {
            auto* picture = new GaugePicture(&window);
            picture->setGeometry((i % 4) * 200, (i / 4) * 160, 200, 160);
            auto* needle = new NeedleLine(picture);
            auto* maximum = new QLabel(QStringLiteral("0"), picture);
            auto* value = new QLabel(QStringLiteral("0"), picture);
            auto* name =
                new QLabel(setup.gaugeCatalogue[setup.displaySelection[i]].name(), picture);
            const GaugeInfo& g = setup.gaugeCatalogue[setup.displaySelection[i]];
            gauges.push_back(std::make_unique<SpeedometerGauge>());
            gauges.back()->setup(picture, needle, maximum, value, name, g.minVal(), g.maxVal(),
                                 g.tickerNum(), g.subTickerNum(),
                                 static_cast<int16_t>(g.decPointNum()));
        }
        window.show();
        QApplication::processEvents();
    }
    void update(int step) {
        for (size_t i = 0; i < gauges.size(); ++i)
            gauges[i]->setValue(static_cast<float>((step * 7 + i * 13) % 100) * 0.05f * (i + 1));
    }
    int scaleRenders() const {
        int n = 0;
        for (const auto& g : gauges)
            n += g->scaleRenderCount();
        return n;
    }
};

void BM_TwelveGaugesUpdateAndRepaint(benchmark::State& state) {
    DialGrid grid;
    int step = 0;
    for (auto _ : state) {
        grid.update(++step);
        grid.window.repaint();
    }
    state.counters["scale_renders"] = grid.scaleRenders(); // 12: the set-ups only
}
BENCHMARK(BM_TwelveGaugesUpdateAndRepaint)->Unit(benchmark::kMicrosecond);

// What a receive event costs on screen: the update, then Qt paints only the dirty regions.
void BM_TwelveGaugesUpdateAndDirtyPaint(benchmark::State& state) {
    DialGrid grid;
    int step = 0;
    for (auto _ : state) {
        grid.update(++step);
        QApplication::processEvents();
    }
    state.counters["scale_renders"] = grid.scaleRenders();
}
BENCHMARK(BM_TwelveGaugesUpdateAndDirtyPaint)->Unit(benchmark::kMicrosecond);

void BM_TwelveGaugesUpdateAndRenderToImage(benchmark::State& state) {
    DialGrid grid;
    int step = 0;
    for (auto _ : state) {
        grid.update(++step);
        grid.window.render(&grid.target);
    }
    state.counters["scale_renders"] = grid.scaleRenders();
}
BENCHMARK(BM_TwelveGaugesUpdateAndRenderToImage)->Unit(benchmark::kMicrosecond);

void BM_TwelveGaugesUpdateOnly(benchmark::State& state) {
    DialGrid grid;
    int step = 0;
    for (auto _ : state)
        grid.update(++step);
    QApplication::processEvents();
    state.counters["scale_renders"] = grid.scaleRenders();
}
BENCHMARK(BM_TwelveGaugesUpdateOnly)->Unit(benchmark::kMicrosecond);

void BM_OneGaugeSetup(benchmark::State& state) {
    DialGrid grid;
    auto* picture = grid.window.findChildren<GaugePicture*>().front();
    for (auto _ : state) {
        grid.gauges[0]->setup(picture, nullptr, nullptr, nullptr, nullptr, 0, 8000, 8, 5, 0);
    }
}
BENCHMARK(BM_OneGaugeSetup)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
