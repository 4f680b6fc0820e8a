#include "tools/map_correction.h"

#include "tools/map_cell.h"
#include "util/numbers.h"

#include <functional>

namespace kx {

namespace {
QByteArray number(int64_t v) {
    return QByteArray::number(qlonglong(v));
}

// One block of the report after a blank line: a figure of each cell's correction.
void appendBlock(QByteArray& out, const char* title, const MapScales& scales,
                 const std::function<QByteArray(const CellCorrection&)>& figure,
                 const FuelCorrection& correction) {
    out += "\r\n";
    appendMapBlock(out, title, scales,
                   [&](int cell) { return figure(correction.cells[size_t(cell)]); });
}

QString percentText(double share, int decimals) {
    return QString::number(roundHalfEven(100 * share, decimals), 'f', decimals);
}
} // namespace

QString changePercentText(double change) {
    const QString t = percentText(change, 1);
    return t.startsWith(u'-') ? t : u'+' + t;
}

namespace {
QString counted(uint64_t n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}
QString secondsText(double s) {
    return QString::number(roundHalfEven(s, 2), 'f', 2);
}
} // namespace

QString trustReason(const CellCorrection& c, const CorrectionSettings& settings) {
    switch (c.trust) {
    case CellTrust::Trusted:
        return {};
    case CellTrust::Locked:
        return QStringLiteral("locked");
    case CellTrust::NoHits:
        return QStringLiteral("no kept readings");
    case CellTrust::FewHits:
        return QStringLiteral("%1 kept, fewer than %2")
            .arg(counted(c.readings, "reading", "readings"))
            .arg(settings.minHits);
    case CellTrust::OneVisit:
        return QStringLiteral("readings from one visit of %1 s; trusted from two visits or %2 s")
            .arg(secondsText(c.seconds))
            .arg(kOneVisitS);
    case CellTrust::Uncertain:
        return QStringLiteral("too uncertain: \u00B1%1 % of the target, more than \u00B1%2 %")
            .arg(percentText(c.uncertainty.value_or(1.0), 2),
                 percentText(settings.maxUncertainty, 2));
    }
    return {};
}

QString correctionDetails(const CellCorrection& c, const CorrectionSettings& settings) {
    QString text = QStringLiteral("Target %1").arg(meanAfrText(c.target));
    if (c.mean) {
        text += QStringLiteral("; measured %1 from %2 in %3 (%4 kept, %5 s)")
                    .arg(meanAfrText(*c.mean), counted(c.readings, "reading", "readings"),
                         counted(c.visits, "visit", "visits"), counted(c.kept, "record", "records"),
                         secondsText(c.seconds));
        if (c.spread) text += QStringLiteral(", spread %1").arg(meanAfrText(*c.spread));
        text += QStringLiteral("; change %1 %").arg(changePercentText(*c.change));
        if (c.uncertainty)
            text += QStringLiteral(" \u00B1%1 %").arg(percentText(*c.uncertainty, 2));
    }
    if (c.trust == CellTrust::Trusted) {
        text += QStringLiteral("; suggested %1").arg(c.suggested);
        if (c.limited)
            text += QStringLiteral(" (held to \u00B1%1 %)").arg(percentText(settings.maxChange, 0));
    } else {
        text += QStringLiteral("; keeps the map value: ") + trustReason(c, settings);
    }
    return text;
}

QString filterCountsText(const FuelSamples::Counts& counts, FilterMask on) {
    QString text = QStringLiteral("Kept %1 records (%2 readings); kept out: no wideband reading %3")
                       .arg(counts.kept)
                       .arg(counts.keptReadings)
                       .arg(counts.noReading);
    for (int f = 0; f < kFuelFilterCount; ++f) {
        text += QStringLiteral(", %1 ").arg(filterCaption(FuelFilter(f)));
        text += on.test(size_t(f)) ? QString::number(counts.keptOut[size_t(f)])
                                   : QStringLiteral("(off)");
    }
    return text + u'.';
}

namespace {
// A figure of a cell whose suggestion is not trusted goes in brackets.
QByteArray marked(const CellCorrection& c, const QByteArray& figure) {
    if (figure.isEmpty() || c.trust == CellTrust::Trusted) return figure;
    return '(' + figure + ')';
}
} // namespace

QByteArray correctionReportText(const EngineMap& map, const FuelCorrection& correction,
                                FilterMask on) {
    QByteArray out = "# Figures in brackets: no trusted suggestion, the map value stays; "
                     "lock: a locked cell\r\n";
    const MapScales& s = map.scales;
    const auto block = [&](const char* title, auto figure) {
        appendBlock(
            out, title, s, [&](const CellCorrection& c) { return marked(c, figure(c)); },
            correction);
    };
    appendBlock(
        out, "# Change %", s,
        [](const CellCorrection& c) {
            if (c.trust == CellTrust::Locked) return QByteArray("lock");
            return c.change ? marked(c, changePercentText(*c.change).toLatin1()) : QByteArray();
        },
        correction);
    // What flashing the suggestion changes, in counts.
    out += "\r\n";
    appendMapBlock(out, "# Difference", s, [&](int cell) {
        const int d = int(correction.suggested.values[size_t(cell)]) - map.values[size_t(cell)];
        return d > 0 ? '+' + number(d) : number(d);
    });
    block("# Hits kept",
          [](const CellCorrection& c) { return c.kept ? number(int64_t(c.kept)) : QByteArray(); });
    block("# Readings kept", [](const CellCorrection& c) {
        return c.readings ? number(int64_t(c.readings)) : QByteArray();
    });
    block("# Visits", [](const CellCorrection& c) {
        return c.visits ? number(int64_t(c.visits)) : QByteArray();
    });
    block("# Spread", [](const CellCorrection& c) {
        return c.spread ? meanAfrText(*c.spread).toLatin1() : QByteArray();
    });
    out += "\r\n# Records kept: " + number(int64_t(correction.counts.kept)) + "\r\n";
    out += "# Readings kept: " + number(int64_t(correction.counts.keptReadings)) + "\r\n";
    out +=
        "# Kept out, no wideband reading: " + number(int64_t(correction.counts.noReading)) + "\r\n";
    for (int f = 0; f < kFuelFilterCount; ++f) {
        out += "# Kept out, " + filterName(FuelFilter(f)).toLatin1() + ": ";
        out += on.test(size_t(f)) ? number(int64_t(correction.counts.keptOut[size_t(f)]))
                                  : QByteArray("off");
        out += "\r\n";
    }
    return out;
}

QString correctionSummary(const EngineMap& map, const FuelCorrection& correction) {
    int withReadings = 0, trusted = 0, changed = 0;
    for (size_t i = 0; i < 256; ++i) {
        const CellCorrection& c = correction.cells[i];
        withReadings += c.readings > 0;
        trusted += c.trust == CellTrust::Trusted;
        changed += correction.suggested.values[i] != map.values[i];
    }
    return QStringLiteral("%1 readings kept in %2 cells; %3 cells trusted, %4 changed")
        .arg(correction.counts.keptReadings)
        .arg(withReadings)
        .arg(trusted)
        .arg(changed);
}

} // namespace kx
