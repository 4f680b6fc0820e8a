#pragma once
// What screen readers get of a dial: the gauge's name, its value with the scale's ends, and
// the peak in the description.
#include <QLabel>
#include <QPointer>

namespace kx {

class GaugePicture;

// The dial's reading, kept current by its gauge; the texts are read from the overlays as they
// are at the moment of asking.
struct DialReading {
    QPointer<QLabel> name, value, peak;
    double current = 0, minimum = 0, maximum = 0;
};

// Registers the dial's accessible interface with Qt (the first call; later ones do nothing).
void installGaugeAccessibility();

// Tells screen readers that a dial's value changed.
void sendDialValueChange(GaugePicture* dial);

} // namespace kx
