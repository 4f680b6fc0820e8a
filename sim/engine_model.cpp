#include "engine_model.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

namespace kxsim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kCylinders = 6;
// Road speed per 1000 rpm in each gear (index 0 is neutral).
constexpr double kKmhPer1000[] = {0, 7.5, 13, 19, 25, 31};
constexpr int kTopGear = 5;

uint8_t clampByte(double v) {
    return uint8_t(std::clamp(std::lround(v), 0L, 255L));
}
uint16_t clampWord(double v) {
    return uint16_t(std::clamp(std::lround(v), 0L, 0x7FFFL));
}
double approach(double value, double target, double tau, double dt) {
    return value + (target - value) * std::min(1.0, dt / tau);
}

} // namespace

EngineModel::EngineModel(uint64_t seed, double coolantStartC) : rng_(seed) {
    s_.coolantC = coolantStartC;
    s_.fuelTempC = coolantStartC;
    s_.airTempC = coolantStartC + 2;
    s_.cranking = true;
    s_.selfLearn = 100 + rng_.uniform(-5, 5);
    s_.selfLearnRh = 100 + rng_.uniform(-5, 5);
    o2PeriodScale_ = rng_.uniform(0.8, 1.2);
}

void EngineModel::advance(double seconds) {
    pending_ += std::max(0.0, seconds);
    while (pending_ >= kStep) {
        step(kStep);
        pending_ -= kStep;
    }
}

void EngineModel::startLaunch(double delay) {
    launchAt_ = s_.time + pending_ + delay;
}

double EngineModel::launchTime() const {
    return launchAt_ ? s_.time + pending_ - *launchAt_ : -1;
}

double EngineModel::launchSpeed(double t) {
    if (t <= 0) return 0;
    // The speedometer counts in 2 km/h steps and shows the first as soon as the wheels turn:
    // moving off is 2 km/h, so 0-100 by the speedometer takes the profile's 8.0 s.
    if (t <= 8) return 2 + 12.25 * t;
    if (t <= 14) return 100 + 40.0 / 6 * (t - 8);
    return 140;
}

double EngineModel::launchRpm(double t) {
    return t <= 0 ? 800 : 1000 + 40 * launchSpeed(t);
}

void EngineModel::startPull(double delay) {
    pullAt_ = s_.time + pending_ + delay;
}

double EngineModel::pullTime() const {
    return pullAt_ ? s_.time + pending_ - *pullAt_ : -1;
}

double EngineModel::pullTorque(double rpm) {
    const double x = (rpm - 4500) / 2500;
    return 300 - 60 * x * x;
}

double EngineModel::pullPower(double rpm) {
    return pullTorque(rpm) * 2 * kPi * rpm / 60;
}

namespace {
// The pull's engine speed every millisecond from the throttle opening to the limiter, by the
// classic fourth-order Runge-Kutta steps of d(rpm)/dt.
const std::vector<double>& pullCurve() {
    static const std::vector<double> curve = [] {
        using M = EngineModel;
        const double metresPerRev = M::kPullKmhPerRpm / 3.6 * 60; // v = rpm · this / 60
        const auto rate = [&](double rpm) {
            const double v = rpm * metresPerRev / 60;
            const double force = M::pullPower(rpm) / v - 0.5 * M::kPullRho * M::kPullCdA * v * v -
                                 M::kPullCrr * M::kPullMassKg * 9.80665;
            return force / M::kPullMassKg / metresPerRev * 60; // rpm per second
        };
        std::vector<double> c{M::kPullStartRpm};
        const double h = 0.001;
        while (c.back() < M::kPullLimiterRpm && c.size() < 100000) {
            const double r = c.back();
            const double k1 = rate(r), k2 = rate(r + h / 2 * k1), k3 = rate(r + h / 2 * k2),
                         k4 = rate(r + h * k3);
            c.push_back(r + h / 6 * (k1 + 2 * k2 + 2 * k3 + k4));
        }
        return c;
    }();
    return curve;
}
} // namespace

double EngineModel::pullRpm(double t) {
    if (t <= 0) return kPullStartRpm;
    const std::vector<double>& c = pullCurve();
    const double end = double(c.size() - 1) / 1000;
    if (t >= end) return std::max(kPullStartRpm, c.back() - 1000 * (t - end));
    const double at = t * 1000;
    const size_t i = size_t(at);
    return c[i] + (c[i + 1] - c[i]) * (at - double(i));
}

double EngineModel::pullThrottle(double t) {
    if (t < 0) return 0.15;
    return t < double(pullCurve().size() - 1) / 1000 ? 1.0 : 0.0;
}

void EngineModel::setActiveTest(std::optional<ActiveTest> test) {
    test_ = test;
    if (testIs(kTestClearSelfLearn)) s_.selfLearn = s_.selfLearnRh = 100;
}

bool EngineModel::engineRunsFree() const {
    return !test_;
}

double EngineModel::effectiveCoolant() const {
    // A forced coolant temperature is what the ECU believes, so everything it controls follows.
    return testIs(kTestCoolant) ? double(test_->param) - 50 : s_.coolantC;
}

EngineModel::Driver EngineModel::scenario(double t) const {
    Driver d;
    if (!engineRunsFree()) return d; // active tests are run standing at idle
    const double c = std::fmod(t, kCycle);
    auto blip = [&](double from, double len, double height) {
        return (c >= from && c < from + len) ? height * std::sin(kPi * (c - from) / len) : 0.0;
    };
    if (c >= 25 && c < 35) {
        d.phase = 1;
        d.throttle = blip(26, 2, 0.5) + blip(30.5, 2, 0.7);
    } else if (c >= 40 && c < 53) {
        d.phase = 2;
        d.throttle = 1.0;
    } else if (c >= 53 && c < 65) {
        d.phase = 3;
        d.throttle = 0.22;
    } else if (c >= 65 && c < 75) {
        d.phase = 4;
    }
    return d;
}

double EngineModel::idleTarget() const {
    if (testIs(kTestIdleAdjust)) return 800;
    const double coolant = effectiveCoolant();
    double idle = 800 + std::max(0.0, 60 - coolant) * 8;
    if (testIs(kTestAac)) idle = 500 + 10 * (test_->param / 2.55);
    if (testIs(kTestIacv)) idle += (test_->param / 2.55 - 30) * 4;
    if (testIs(kTestTiming)) idle += 15 * int8_t(test_->param);
    if (testIs(kTestAfBase)) idle -= std::abs(int(test_->param) - 100) * 3;
    if (testIs(kTestCylinderCut)) idle -= 100 * std::popcount(unsigned(test_->param & 0x3F));
    if (s_.airCon) idle += 50;
    return std::max(idle, 300.0);
}

void EngineModel::step(double dt) {
    s_.time += dt;
    const bool pumpOff = testIs(kTestFuelPump) && test_->param == 0;
    const bool tooFewCylinders =
        testIs(kTestCylinderCut) && std::popcount(unsigned(test_->param & 0x3F)) > kCylinders / 2;
    if ((pumpOff || tooFewCylinders) && !s_.stalled) {
        s_.stalled = true;
        s_.cranking = false;
    } else if (!pumpOff && !tooFewCylinders && s_.stalled) {
        s_.stalled = false; // the driver turns the key again
        s_.cranking = true;
        startedAt_ = s_.time;
    }
    if (s_.cranking && s_.time - startedAt_ >= kStartLength) s_.cranking = false;

    const double c = std::fmod(s_.time, kCycle);
    s_.airCon = engineRunsFree() && c >= 75 && c < 95;
    s_.powerSteering = engineRunsFree() && c >= 15 && c < 20;

    Driver d = scenario(s_.time);
    if (s_.stalled || s_.cranking) d = Driver{};
    s_.throttle =
        std::clamp(d.throttle + (d.throttle > 0 ? rng_.uniform(-0.01, 0.01) : 0), 0.0, 1.0);
    updateSpeed(d, dt);
    updateRpm(d, dt);
    updateSensors(d, dt);
}

void EngineModel::updateSpeed(const Driver& d, double dt) {
    double& v = s_.speedKmh;
    shiftPause_ = std::max(0.0, shiftPause_ - dt);
    switch (d.phase) {
    case 2:
        if (s_.gear == 0) s_.gear = 1;
        if (shiftPause_ <= 0) v += 14 * (1 - v / 230) * s_.throttle * dt;
        if (s_.gear < kTopGear && v / kKmhPer1000[s_.gear] * 1000 > 6600) {
            ++s_.gear;
            shiftPause_ = 0.35;
        }
        break;
    case 3:
        v = approach(v, 100, 2.5, dt);
        s_.gear = 1;
        while (s_.gear < kTopGear && v / kKmhPer1000[s_.gear + 1] * 1000 >= 1800)
            ++s_.gear;
        break;
    case 4:
        v = std::max(0.0, v - 20 * dt);
        if (s_.gear > 1 && v / kKmhPer1000[s_.gear] * 1000 < 1300) --s_.gear;
        if (v < 8) s_.gear = 0;
        break;
    default:
        v = std::max(0.0, v - 20 * dt);
        if (v < 8) s_.gear = 0;
        break;
    }
    if (s_.stalled) s_.gear = 0;
}

void EngineModel::updateRpm(const Driver& d, double dt) {
    double& rpm = s_.rpm;
    if (s_.stalled) {
        rpm = rpm < 50 ? 0 : approach(rpm, 0, 0.4, dt);
        return;
    }
    if (s_.cranking) {
        rpm = 220 + rng_.uniform(-30, 30);
        return;
    }
    rpmNoise_ = 0.95 * rpmNoise_ + rng_.uniform(-4, 4);
    const double idle = idleTarget();
    double target;
    double tau;
    if (s_.gear == 0) {
        target = idle + s_.throttle * 6200;
        tau = target > rpm ? 0.25 : 0.5;
    } else {
        target = s_.speedKmh / kKmhPer1000[s_.gear] * 1000;
        if (d.phase == 2 && s_.speedKmh < 20) target = std::max(target, 2200 + 1500 * s_.throttle);
        if (shiftPause_ > 0) target *= 0.9;
        target = std::max(target, idle);
        tau = 0.1;
    }
    // Fewer firing cylinders make the engine run rough.
    double rough = 1;
    if (testIs(kTestCylinderCut)) rough += 0.75 * std::popcount(unsigned(test_->param & 0x3F));
    rpm = approach(rpm, target, tau, dt) + rpmNoise_ * rough * dt * 10;
    rpm = std::clamp(rpm, 0.0, 7800.0);
}

void EngineModel::updateSensors(const Driver& d, double dt) {
    const bool running = !s_.stalled && !s_.cranking;
    const double coolant = effectiveCoolant();

    if (running) s_.coolantC = approach(s_.coolantC, 86, 55, dt);
    if (s_.stalled) s_.coolantC = approach(s_.coolantC, 20, 600, dt);
    s_.fuelTempC = approach(s_.fuelTempC, running ? 38 : 25, 300, dt);
    s_.airTempC = approach(s_.airTempC, s_.gear == 0 ? 32 : 24, 60, dt);

    double battery = s_.cranking ? 10.4 : s_.stalled ? 12.4 : 14.1 - (s_.airCon ? 0.1 : 0);
    s_.batteryV = battery + rng_.uniform(-0.05, 0.05);

    const double airPerCycle = 0.18 + 0.82 * s_.throttle;
    const double load = running ? std::clamp(s_.rpm / 6500 * airPerCycle, 0.0, 1.0) : 0;
    s_.airFlowV = (running ? 0.9 + 3.8 * load : s_.cranking ? 0.6 : 0.3) + rng_.uniform(0, 0.01);
    s_.egtV = approach(s_.egtV, running ? 0.8 + 3.0 * load : 0.6, 5, dt);

    const bool fuelCut = d.phase == 4 && s_.gear > 0 && s_.rpm > 1400;
    const double coldFactor = 1 + std::max(0.0, 60 - coolant) / 100;
    const double afBase = testIs(kTestAfBase) ? test_->param : 100.0;
    s_.injectorMs = (!running || fuelCut) ? (s_.cranking ? 4.0 : 0.0)
                                          : (1.0 + 8.5 * airPerCycle) * coldFactor * afBase / 100;

    const bool idling = s_.gear == 0 && s_.throttle < 0.02;
    double timing = 15;
    if (!idling) {
        timing = 15 + 22 * std::clamp((s_.rpm - 800) / 4000, 0.0, 1.0) -
                 12 * s_.throttle * s_.rpm / 7000;
    }
    if (testIs(kTestTiming)) timing += int8_t(test_->param);
    if (testIs(kTestIdleAdjust)) timing = 15;
    s_.timingDeg = running ? std::clamp(timing, -10.0, 60.0) : 10;

    if (testIs(kTestAac)) {
        s_.aacPercent = test_->param / 2.55;
    } else if (testIs(kTestIdleAdjust)) {
        s_.aacPercent = 30;
    } else {
        s_.aacPercent = std::clamp((idleTarget() - 500) / 10, 0.0, 100.0);
    }

    // Oxygen sensors: open loop while cold, rich at full throttle, lean on a fuel cut, and
    // otherwise the closed-loop swing around stoichiometric.
    o2Phase_ += dt / (1.2 * o2PeriodScale_);
    if (o2Phase_ >= 1) {
        o2Phase_ -= 1;
        o2PeriodScale_ = rng_.uniform(0.8, 1.2);
    }
    auto swing = [&](double phase) {
        const double bias = (afBase - 100) * 0.01;
        return std::clamp(0.45 + bias + 0.38 * std::tanh(3 * std::sin(2 * kPi * phase)), 0.02,
                          0.95);
    };
    double o2;
    double o2Rh;
    if (!running) {
        o2 = o2Rh = approach(s_.o2, 0.1, 2, dt);
    } else if (fuelCut) {
        o2 = o2Rh = 0.05;
    } else if (s_.throttle > 0.8) {
        o2 = o2Rh = 0.88;
    } else if (coolant < 45) {
        o2 = o2Rh = 0.45;
    } else {
        o2 = swing(o2Phase_);
        o2Rh = swing(o2Phase_ + 0.3);
        if (!test_) {
            s_.selfLearn = approach(s_.selfLearn, 103, 60, dt);
            s_.selfLearnRh = approach(s_.selfLearnRh, 97, 60, dt);
        }
    }
    s_.o2 = std::clamp(o2 + rng_.uniform(-0.01, 0.01), 0.0, 1.0);
    s_.o2Rh = std::clamp(o2Rh + rng_.uniform(-0.01, 0.01), 0.0, 1.0);
}

uint16_t EngineModel::rpmRaw() const {
    if (pullAt_) return clampWord(pullRpm(pullTime()) / 12.5);
    if (launchAt_) return clampWord(launchRpm(launchTime()) / 12.5);
    return clampWord(s_.rpm / 12.5);
}

uint8_t EngineModel::throttleRaw() const {
    if (pullAt_) return clampByte((0.45 + 3.85 * pullThrottle(pullTime())) / 0.02);
    return clampByte((0.45 + 3.85 * s_.throttle) / 0.02);
}

uint8_t EngineModel::registerValue(uint8_t reg) const {
    const bool running = !s_.stalled && !s_.cranking;
    const double coolant = effectiveCoolant();
    auto temp = [](double c) { return clampByte(c + 50); };
    auto hi = [](uint16_t w) { return uint8_t(w >> 8); };
    auto lo = [](uint16_t w) { return uint8_t(w & 0xFF); };
    switch (reg) {
    case 0x00:
        return hi(rpmRaw());
    case 0x01:
        return lo(rpmRaw());
    case 0x04:
        return hi(clampWord(s_.airFlowV / 0.005));
    case 0x05:
        return lo(clampWord(s_.airFlowV / 0.005));
    case 0x06:
        return hi(clampWord(s_.airFlowV * 0.98 / 0.005));
    case 0x07:
        return lo(clampWord(s_.airFlowV * 0.98 / 0.005));
    case 0x08:
        return temp(coolant);
    case 0x09:
    case 0x35:
        return clampByte(s_.o2 * 100);
    case 0x0A:
    case 0x36:
        return clampByte(s_.o2Rh * 100);
    case 0x0B:
        // The launch's steps are whole: a step shows from the instant the car reaches it.
        if (launchAt_) return clampByte(std::floor(launchSpeed(launchTime()) / 2 + 1e-9));
        if (pullAt_) return clampByte(pullRpm(pullTime()) * kPullKmhPerRpm / 2);
        return clampByte(s_.speedKmh / 2);
    case 0x0C:
        return clampByte(s_.batteryV / 0.08);
    case 0x0D:
        return throttleRaw();
    case 0x0F:
        return temp(s_.fuelTempC);
    case 0x11:
        return temp(s_.airTempC);
    case 0x12:
        return clampByte(s_.egtV / 0.02);
    case 0x13:
        return uint8_t((s_.throttle < 0.02 ? 0x01 : 0) | (s_.cranking ? 0x02 : 0) |
                       (s_.gear == 0 ? 0x04 : 0) | (s_.powerSteering ? 0x08 : 0) |
                       (s_.airCon ? 0x10 : 0));
    case 0x14:
        return hi(clampWord(s_.injectorMs / 0.01));
    case 0x15:
        return lo(clampWord(s_.injectorMs / 0.01));
    case 0x16:
        return clampByte(110 - s_.timingDeg);
    case 0x17:
        return clampByte(s_.aacPercent * 2.55);
    case 0x1A:
    case 0x1B:
        return testIs(kTestAfBase) ? test_->param : 100;
    case 0x1C:
        return clampByte(s_.selfLearn);
    case 0x1D:
        return clampByte(s_.selfLearnRh);
    case 0x1E: {
        bool pump = running || s_.cranking;
        if (testIs(kTestFuelPump)) pump = test_->param != 0;
        bool vct = running && s_.rpm > 1500 && s_.rpm < 5500 && s_.throttle > 0.3;
        if (testIs(kTestVct)) vct = test_->param != 0;
        int fan = coolant >= 100 ? 2 : coolant >= 95 ? 1 : 0;
        if (s_.airCon) fan = std::max(fan, 1);
        return uint8_t((s_.airCon && running ? 0x80 : 0) | (pump ? 0x40 : 0) | (vct ? 0x20 : 0) |
                       fan);
    }
    case 0x1F: {
        const bool wasteGate = running && s_.rpm > 3000 && s_.throttle > 0.6;
        const bool egr = running && coolant > 60 && s_.gear > 0 && s_.throttle > 0.1 &&
                         s_.throttle < 0.4 && s_.rpm > 1500 && s_.rpm < 3500;
        return uint8_t((wasteGate ? 0x20 : 0) | (egr ? 0x01 : 0));
    }
    case 0x21:
        return s_.o2 < 0.45 ? 0x80 : 0x00;
    case 0x22:
        return hi(clampWord(s_.injectorMs * 1.01 / 0.01));
    case 0x23:
        return lo(clampWord(s_.injectorMs * 1.01 / 0.01));
    default:
        return 0;
    }
}

} // namespace kxsim
