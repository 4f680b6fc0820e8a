#pragma once
// The dyno's vehicle inputs, described once: the Dyno window's fields, the settings (section
// Dyno), kestrix-cli dyno's options and their help, the range check and the inputs line of a
// report all come from kVehicleInputs. A new input is a field here, a row there and its use in
// the physics.
#include <QByteArray>
#include <QString>
#include <array>

namespace kx {

class Settings;

// The defaults are the table's.
struct VehicleInputs {
    VehicleInputs();
    double massKg; // with the driver
    double cdA;    // m²
    double crr;
    double rho; // kg/m³
    double lossPct;
    double stepRpm;
};

struct VehicleInput {
    double VehicleInputs::*field;
    const char* option;    // kestrix-cli dyno --option
    const char* argument;  // its value in the usage and help ("KG")
    const char* key;       // the settings key in section Dyno
    const char* control;   // the window's field
    const char* label;     // the window's caption, with its shortcut
    const char* unit;      // after the label and in the range ("kg"); "" for none
    const char* rangeName; // who the range check names ("mass: 50 to 100000 kg")
    const char* help;      // kestrix-cli's help; %1 is the default
    const char* reported;  // the inputs line of a report ("mass %1 kg"); "" leaves it out
    double low, high, fallback;
    int decimals; // in the window
};

inline constexpr std::array<VehicleInput, 6> kVehicleInputs = {{
    {&VehicleInputs::massKg, "mass", "KG", "Mass", "spnMass", "&Mass with driver", "kg", "mass",
     "mass with the driver (default %1)", "mass %1 kg", 50, 100000, 1300, 0},
    {&VehicleInputs::cdA, "cda", "M2", "CdA", "spnCdA", "&CdA", "m²", "CdA", "drag area, CdA (%1)",
     "CdA %1 m2", 0, 20, 0.65, 3},
    {&VehicleInputs::crr, "crr", "C", "Crr", "spnCrr", "&Rolling coefficient", "",
     "rolling coefficient", "rolling coefficient (%1)", "rolling coefficient %1", 0, 1, 0.015, 4},
    {&VehicleInputs::rho, "rho", "KG_M3", "Rho", "spnRho", "Air &density", "kg/m³", "air density",
     "air density (%1)", "air %1 kg/m3", 0.1, 5, 1.2, 3},
    {&VehicleInputs::lossPct, "loss", "PCT", "Loss", "spnLoss", "Drivetrain &loss", "%",
     "drivetrain loss", "drivetrain loss in %; %1, the default, gives power at the wheels",
     "drivetrain loss %1 %", 0, 90, 0, 1},
    {&VehicleInputs::stepRpm, "step", "RPM", "Step", "spnStep", "&Step", "RPM", "step",
     "a line every RPM step (%1)", "", 10, 2000, 250, 0},
}};

// The window's label of an input, with its shortcut and unit: "&Mass with driver (kg)"; its
// caption is the same without the shortcut.
QString vehicleInputLabel(const VehicleInput& input);
QString vehicleInputCaption(const VehicleInput& input);
// "  --mass KG        mass with the driver (default 1300)": kestrix-cli's help line.
QString vehicleInputHelpLine(const VehicleInput& input);
// "[--mass KG]", in kestrix-cli's usage lines.
QString vehicleInputUsage(const VehicleInput& input);

// The inputs kept in the settings (section Dyno); the defaults where a key is missing or not a
// usable number.
VehicleInputs readVehicleInputs(const Settings& settings);
void saveVehicleInputs(Settings& settings, const VehicleInputs& in);
// Why an input is refused ("" when every one is usable).
QString vehicleInputsProblem(const VehicleInputs& in);
// "# mass 1300 kg, CdA 0.65 m2, ...": the inputs a report was worked out with.
QByteArray inputsLine(const VehicleInputs& in);

} // namespace kx
