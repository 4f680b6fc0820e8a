#include "tools/map_coverage.h"

#include "live/channels.h"
#include "logs/analyser_scatter.h"
#include "logs/log_columns.h"
#include "tools/map_file.h"
#include "util/numbers.h"

#include <algorithm>
#include <cmath>

namespace kx {

namespace {
constexpr int kRpmCode = channel::Rpm;
constexpr int kThrottleCode = channel::Throttle;
constexpr uint32_t kWindowGrey = 0xF0F0F0;

QByteArray number(int64_t v) {
    return QByteArray::number(qlonglong(v));
}

} // namespace

std::optional<double> CoverageCell::meanAfr() const {
    if (afrCount == 0) return std::nullopt;
    return afrSum / double(afrCount);
}

void MapCoverage::add(int cell, std::optional<float> afr) {
    CoverageCell& c = cells_[size_t(cell)];
    ++c.hits;
    ++hits_;
    if (!afr) return;
    c.afrMin = c.afrCount == 0 ? *afr : std::min(c.afrMin, *afr);
    c.afrMax = c.afrCount == 0 ? *afr : std::max(c.afrMax, *afr);
    ++c.afrCount;
    c.afrSum += double(*afr);
}

void MapCoverage::merge(const MapCoverage& other) {
    for (size_t i = 0; i < cells_.size(); ++i) {
        CoverageCell& c = cells_[i];
        const CoverageCell& o = other.cells_[i];
        c.hits += o.hits;
        if (o.afrCount > 0) {
            c.afrMin = c.afrCount == 0 ? o.afrMin : std::min(c.afrMin, o.afrMin);
            c.afrMax = c.afrCount == 0 ? o.afrMax : std::max(c.afrMax, o.afrMax);
            c.afrCount += o.afrCount;
            c.afrSum += o.afrSum;
        }
    }
    hits_ += other.hits_;
}

uint64_t MapCoverage::afrHits() const {
    uint64_t n = 0;
    for (const CoverageCell& c : cells_)
        n += c.afrCount;
    return n;
}

LogCoverageCount addLogCoverage(MapCoverage& coverage, const MapScales& scales,
                                const LogData& log) {
    LogCoverageCount count;
    const qsizetype records = log.recordCount();
    const LogColumnNumbers rpm(log, kRpmCode);
    const LogColumnNumbers throttle(log, kThrottleCode);
    if (!rpm.present() || !throttle.present()) {
        count.skipped = records;
        return count;
    }
    LogWideband afr(log);
    for (qsizetype r = 0; r < records; ++r) {
        const auto speed = rpm.at(r);
        const auto volts = throttle.at(r);
        if (!speed || !volts) {
            ++count.skipped;
            continue;
        }
        coverage.add(recordCell(scales, *speed, *volts), afr.at(r).ratio);
        ++count.added;
    }
    return count;
}

QByteArray coverageExportText(const MapScales& scales, const MapCoverage& coverage) {
    QByteArray out;
    const auto afrBlock = [&](const char* title, auto figure) {
        out += "\r\n";
        appendMapBlock(out, title, scales, [&](int cell) {
            const CoverageCell& c = coverage.cell(cell);
            return c.afrCount == 0 ? QByteArray() : figure(c);
        });
    };
    appendMapBlock(out, "Hits", scales,
                   [&](int cell) { return number(int64_t(coverage.cell(cell).hits)); });
    afrBlock("Mean WBo2",
             [](const CoverageCell& c) { return meanAfrText(*c.meanAfr()).toLatin1(); });
    afrBlock("Min WBo2", [](const CoverageCell& c) { return singleText(c.afrMin).toLatin1(); });
    afrBlock("Max WBo2", [](const CoverageCell& c) { return singleText(c.afrMax).toLatin1(); });
    return out;
}

QString coverageCaption(const CoverageCell& cell, CoverageView view) {
    if (view == CoverageView::MeanAfr) {
        const auto mean = cell.meanAfr();
        return mean ? QString::number(roundHalfEven(*mean, 1), 'f', 1) : QString();
    }
    const uint64_t h = cell.hits;
    if (h == 0) return {};
    if (h < 10000) return QString::number(h);
    if (h < 999500) return QString::number(roundHalfEven(double(h) / 1e3)) + u'k';
    const double m = double(h) / 1e6;
    return m < 9.95 ? QString::number(roundHalfEven(m, 1), 'f', 1) + u'M'
                    : QString::number(roundHalfEven(m)) + u'M';
}

std::optional<double> coverageFigure(const CoverageCell& cell, CoverageView view) {
    if (view == CoverageView::MeanAfr) return cell.meanAfr();
    if (cell.hits == 0) return std::nullopt;
    return double(cell.hits);
}

CoverageScale coverageScale(const MapCoverage& coverage, CoverageView view, uint64_t enough) {
    CoverageScale s;
    s.logarithmic = view == CoverageView::Hits;
    for (bool trustedOnly : {true, false}) {
        for (int i = 0; i < 256; ++i) {
            const CoverageCell& c = coverage.cell(i);
            const auto f = coverageFigure(c, view);
            const uint64_t n = view == CoverageView::Hits ? c.hits : c.afrCount;
            if (!f || (trustedOnly && n < enough)) continue;
            s.low = s.any ? std::min(s.low, *f) : *f;
            s.high = s.any ? std::max(s.high, *f) : *f;
            s.any = true;
        }
        if (s.any) break;
    }
    return s;
}

uint32_t CoverageScale::colourOf(double figure) const {
    double fraction = 0.5; // one level only: the middle of the scale
    if (high > low) {
        fraction = logarithmic ? std::log(figure / low) / std::log(high / low)
                               : (figure - low) / (high - low);
    }
    const uint32_t rgb = scatterScaleColour(fraction);
    return (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
}

uint32_t dimmed(uint32_t bgr) {
    uint32_t out = 0;
    for (int shift : {0, 8, 16}) {
        const uint32_t a = bgr >> shift & 0xFF, b = kWindowGrey >> shift & 0xFF;
        out |= (a + 2 * b) / 3 << shift;
    }
    return out;
}

} // namespace kx
