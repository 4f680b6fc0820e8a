#pragma once
// The simulated engine: a repeating drive scenario (start, idle, rev cycles, a drive with
// road speed, idle again), warm-up, noise from a seed, and the responses to active tests.
// Plain code without I/O or threads; time only moves through advance().
#include "rng.h"

#include <cstdint>
#include <optional>

namespace kxsim {

// Test bytes of the active test request 0x0A, test, parameter.
enum TestByte : uint8_t {
    kTestCoolant = 0x80,
    kTestAfBase = 0x81,
    kTestTiming = 0x82,
    kTestAac = 0x84,
    kTestIacv = 0x85,
    kTestCylinderCut = 0x88,
    kTestFuelPump = 0x89,
    kTestClearSelfLearn = 0x8B,
    kTestIdleAdjust = 0x8C,
    kTestVct = 0x8F,
};

struct ActiveTest {
    uint8_t test = 0;
    uint8_t param = 0;
    bool operator==(const ActiveTest&) const = default;
};

// Physical state, in engineering units.
struct EngineState {
    double time = 0; // simulated seconds since start
    double rpm = 0;
    double throttle = 0; // 0 closed .. 1 wide open
    double speedKmh = 0;
    int gear = 0; // 0 neutral (or clutch in)
    bool cranking = false;
    bool stalled = false;
    double coolantC = 20;
    double fuelTempC = 20;
    double airTempC = 22;
    double batteryV = 12.4;
    double o2 = 0.45;      // volts, bank 1
    double o2Rh = 0.45;    // volts, bank 2
    double timingDeg = 15; // degrees before top dead centre
    double aacPercent = 30;
    double injectorMs = 0;
    double airFlowV = 0;
    double egtV = 0.8;
    double selfLearn = 100;
    double selfLearnRh = 100;
    bool airCon = false;
    bool powerSteering = false;
};

class EngineModel {
public:
    explicit EngineModel(uint64_t seed = 1, double coolantStartC = 20);

    // Moves simulated time on by `seconds` (in fixed internal steps, so equal totals give
    // equal states).
    void advance(double seconds);

    // The raw byte of a live-data register (0 for registers the model does not know).
    uint8_t registerValue(uint8_t reg) const;
    // Engine speed as the ECU counts it (rpm / 12.5) and the raw throttle byte.
    uint16_t rpmRaw() const;
    uint8_t throttleRaw() const;

    // The launch profile: the car stands at idle for `delay` seconds, then the speedometer
    // shows its first 2 km/h step and rises evenly to 100 km/h 8.0 s later, then to 140 km/h
    // at 14.0 s, and holds it. Engine speed rises with it: 1000 rpm + 40 rpm per km/h. While
    // a launch runs, engine speed and road speed follow it, whatever the scenario does.
    void startLaunch(double delay);
    bool launching() const { return launchAt_.has_value(); }
    // Seconds since the car moved off (negative while it stands).
    double launchTime() const;
    // The profile's speed (km/h) and engine speed at `t` seconds after moving off.
    static double launchSpeed(double t);
    static double launchRpm(double t);

    // The dyno pull: the car cruises in third gear (19 km/h per 1000 rpm) at 2000 rpm on a
    // light throttle for `delay` seconds, then the throttle opens fully and the car accelerates
    // under pullTorque() against the constants below, with no drivetrain loss and no rotating
    // mass: m·dv/dt = T·ω/v - ½·ρ·CdA·v² - Crr·m·g. At kPullLimiterRpm the throttle closes and
    // engine speed falls 1000 rpm a second back to the cruise. While a pull runs, engine speed,
    // road speed (rounded to its 2 km/h step) and throttle follow it, whatever the scenario does.
    void startPull(double delay);
    bool pulling() const { return pullAt_.has_value(); }
    // Seconds since the throttle opened (negative before).
    double pullTime() const;
    static constexpr double kPullMassKg = 1400;
    static constexpr double kPullCdA = 0.65;
    static constexpr double kPullCrr = 0.015;
    static constexpr double kPullRho = 1.2;
    static constexpr double kPullKmhPerRpm = 0.019;
    static constexpr double kPullStartRpm = 2000;
    static constexpr double kPullLimiterRpm = 6800;
    // Engine torque at full throttle: 300 Nm at 4500 rpm, falling as a parabola to 240 Nm at
    // 2000 and 7000 rpm.
    static double pullTorque(double rpm);
    // Its power, T·ω, in watts: the truth a dyno should find.
    static double pullPower(double rpm);
    // Engine speed and throttle (0..1) at `t` seconds after the throttle opened.
    static double pullRpm(double t);
    static double pullThrottle(double t);

    void setActiveTest(std::optional<ActiveTest> test);
    const std::optional<ActiveTest>& activeTest() const { return test_; }
    const EngineState& state() const { return s_; }

    static constexpr double kStep = 0.01;
    static constexpr double kCycle = 100.0; // length of one drive scenario, seconds
    static constexpr double kStartLength = 1.5;

private:
    struct Driver {
        double throttle = 0;
        int phase = 0; // 0 idle, 1 revs, 2 accelerate, 3 cruise, 4 brake
    };
    void step(double dt);
    Driver scenario(double cycleTime) const;
    bool engineRunsFree() const; // an active test holds the car at idle
    double effectiveCoolant() const;
    double idleTarget() const;
    void updateRpm(const Driver& d, double dt);
    void updateSpeed(const Driver& d, double dt);
    void updateSensors(const Driver& d, double dt);
    bool testIs(uint8_t t) const { return test_ && test_->test == t; }

    Rng rng_;
    EngineState s_;
    std::optional<ActiveTest> test_;
    double pending_ = 0;
    double startedAt_ = 0; // time of the last engine start
    double rpmNoise_ = 0;
    double o2Phase_ = 0;
    double o2PeriodScale_ = 1;
    double shiftPause_ = 0;
    std::optional<double> launchAt_; // engine time of moving off
    std::optional<double> pullAt_;   // engine time of the throttle opening
};

} // namespace kxsim
