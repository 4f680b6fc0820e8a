#include "tools/active_test.h"

#include "util/numbers.h"

namespace kx {

std::vector<TestValue> engineTempValues(bool fahr) {
    std::vector<TestValue> values;
    for (int t = -10; t <= 150; ++t) {
        // Every Fahrenheit value has one decimal at most; rounding drops the binary noise.
        const QString text =
            fahr ? QString::number(roundHalfEven(t * 1.8 + 32, 1), 'g', 15) : QString::number(t);
        values.push_back({text, uint8_t(t + 50)});
    }
    return values;
}

std::vector<TestValue> afBaseValues() {
    std::vector<TestValue> values;
    for (int v = 75; v <= 125; ++v)
        values.push_back({QString::number(v), uint8_t(v)});
    return values;
}

std::vector<TestValue> timingValues() {
    std::vector<TestValue> values;
    for (int n = -15; n <= 15; ++n) {
        if (n == 0) continue;
        const QString text = n < 0 ? QString::number(n) : QStringLiteral("+%1").arg(n);
        values.push_back({text, uint8_t(n < 0 ? n + 256 : n)});
    }
    return values;
}

std::vector<TestValue> valveValues() {
    std::vector<TestValue> values;
    for (int p = 0; p <= 100; ++p)
        values.push_back({QString::number(p), uint8_t(roundHalfEven(p * 2.55))});
    return values;
}

uint8_t cylinderMask(const std::array<bool, 8>& checked) {
    uint8_t mask = 0;
    for (size_t k = 0; k < checked.size(); ++k)
        if (checked[k]) mask = uint8_t(mask | (1u << k));
    return mask;
}

QByteArray activeTestRequest(uint8_t test, uint8_t param) {
    QByteArray r;
    r.append(char(activetest::Request)).append(char(test)).append(char(param));
    return r;
}

LinkSequence restoreLiveData(const LinkSequence& liveArming) {
    LinkSequence s;
    s.stopStream();
    s.append(liveArming);
    return s.startStream();
}

LinkSequence sendActiveTest(uint8_t test, uint8_t param, const LinkSequence& liveArming) {
    LinkSequence s;
    s.stopStream().write(activeTestRequest(test, param));
    s.append(liveArming);
    return s.startStream();
}

} // namespace kx
