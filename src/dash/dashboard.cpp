#include "dash/dashboard.h"

#include "live/gauge_setup.h"
#include "live/spike_filter.h"
#include "util/numbers.h"

#include <QRegularExpression>
#include <algorithm>
#include <limits>

namespace kx {

namespace {

constexpr uint8_t kFixedRegisters[kDashFixedBytes] = {0x00, 0x01, 0x0B};

// The register bytes a dial adds to the frame: a register value has at most two.
int dialBytes(const GaugeInfo& dial) {
    return std::min<int>(dial.size(), 2);
}

} // namespace

DashStream dashStream(const GaugeSetup& setup) {
    DashStream stream;
    int bytes = 0;
    for (size_t i = 0; i < stream.gauges.size(); ++i) {
        const uint8_t g = setup.dashSelection[i];
        if (g >= kGaugeCount) break;
        stream.gauges[i] = g;
        stream.dials[i] = setup.gaugeCatalogue[g];
        bytes += dialBytes(stream.dials[i]);
    }
    stream.byteCount = static_cast<uint8_t>(bytes);
    return stream;
}

QByteArray dashRequest(const DashStream& stream) {
    QByteArray request;
    request.reserve(2 * stream.byteCount + 2 * kDashFixedBytes);
    const auto append = [&request](uint8_t reg) {
        request.append(static_cast<char>(kRegisterRead));
        request.append(static_cast<char>(reg));
    };
    for (uint8_t reg : kFixedRegisters)
        append(reg);
    for (size_t i = 0; i < stream.gauges.size(); ++i) {
        if (stream.gauges[i] == DashStream::kNoGauge) return {};
        for (int r = 0; r < dialBytes(stream.dials[i]); ++r)
            append(stream.dials[i].iniStr(r));
    }
    return request;
}

GaugeSetup dashStreamSetup(const DashStream& stream) {
    // Engine speed (0x00, 0x01) and road speed (0x0B), then the dials; a dial of no gauge ends
    // the layout there, as it ends the request.
    GaugeSetup s = streamLayout({channel::Rpm, channel::Speed, stream.gauges[0], stream.gauges[1]});
    if (s.displayByteCount != kDashFixedBytes + stream.byteCount) s = streamLayout({});
    return s;
}

LinkSequence iniDashboard(const DashStream& stream) {
    return LinkSequence().arm(dashRequest(stream), 10, dashThreshold(stream.byteCount));
}

int dashThreshold(uint8_t dashByteCount) {
    return 2 * (dashByteCount + 5);
}

std::optional<int16_t> dashLimit(const QString& stored) {
    const std::optional<long long> n = parseWhole(stored);
    if (!n || *n < std::numeric_limits<int16_t>::min() || *n > std::numeric_limits<int16_t>::max())
        return std::nullopt;
    return static_cast<int16_t>(*n);
}

LampStep alertStep(const std::array<uint32_t, 2>& fill, uint32_t back, float rpm, float speed,
                   std::optional<int16_t> rpmLimit, std::optional<int16_t> speedLimit) {
    LampStep s{fill, 0};
    if (rpmLimit && rpm > *rpmLimit) {
        ++s.beeps;
        s.fill[0] = fill[0] == kOrange ? back : kOrange;
    } else {
        s.fill[0] = back;
    }
    if (speedLimit && speed > *speedLimit) {
        ++s.beeps;
        s.fill[1] = fill[1] == kRed ? kBlue : kRed;
    } else {
        s.fill[1] = back;
    }
    return s;
}

DashLayout dashLayout(int w, int h) {
    DashLayout l;
    const int c = w / 2;
    const int r = (h / 3) * 2;
    for (int i = 0; i < 2; ++i) {
        l.dial[size_t(i)] = {i * c, 0, c, r};
        l.lamp[size_t(i)] = {i * c, r, c, h / 3};
    }
    l.captionPoints = roundToInt(c * 0.002);
    return l;
}

std::array<int, 2> captionPosition(const DashLayout& l, int i, int captionWidth,
                                   int captionHeight) {
    const int c = l.lamp[size_t(i)].width;
    const int r = l.lamp[size_t(i)].top;
    return {i * c + (c / 2 - captionWidth / 2), r + r / 4 - captionHeight / 2};
}

const QStringList& dashSetupItems() {
    // The same 25 names as the data-display settings' lists.
    static const QStringList items = [] {
        QStringList names;
        for (int g = 0; g < kGaugeCount; ++g)
            names << gaugeListName(g);
        return names;
    }();
    return items;
}

bool validRpmText(const QString& text) {
    static const QRegularExpression four(QStringLiteral("^[0-9]{4}$"));
    return four.match(text).hasMatch();
}

bool validSpeedText(const QString& text) {
    static const QRegularExpression twoOrThree(QStringLiteral("^[0-9]{2,3}$"));
    return twoOrThree.match(text).hasMatch();
}

} // namespace kx
