#pragma once
// Small helpers every window uses.
#include <cstdint>

class QWidget;
class QColor;

namespace kx {

// Gives every control under `root` an accessible name: its caption, else the text of the
// label whose buddy it is, else its objectName. Call after the window is built.
void nameForAccessibility(QWidget* root);

// Closes `window` when Escape is pressed in it.
void closeOnEscape(QWidget* window);

// The busy (hourglass) pointer for as long as it lives.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace kx
