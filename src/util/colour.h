#pragma once
// Stored colours are whole numbers with red in the low byte (0x00BBGGRR); a number with the top
// bit set names a system colour by its index in the low byte. A rule of the settings, which the
// windows follow when they draw (so Qt Gui, header only); and the one colour scale of the
// wideband's ratio that every window shows it in.
#include <QColor>
#include <QGuiApplication>
#include <QPalette>
#include <cstdint>

namespace kx {

inline constexpr uint32_t kSystemColourFlag = 0x80000000u;

// The palette role that stands for a system colour index.
inline QPalette::ColorRole systemColourRole(uint32_t index) {
    switch (index) {
    case 0x05:
        return QPalette::Base; // window
    case 0x08:
        return QPalette::Text; // window text
    case 0x0D:
        return QPalette::Highlight;
    case 0x0E:
        return QPalette::HighlightedText;
    case 0x0F:
        return QPalette::Button; // button face
    case 0x10:
        return QPalette::Dark; // button shadow
    case 0x12:
        return QPalette::ButtonText;
    case 0x14:
        return QPalette::Light; // button highlight
    case 0x17:
        return QPalette::ToolTipText;
    case 0x18:
        return QPalette::ToolTipBase;
    default:
        return QPalette::Window;
    }
}

inline QColor colourFromBgr(uint32_t value) {
    if (value & kSystemColourFlag)
        return QGuiApplication::palette().color(systemColourRole(value & 0xFFu));
    return QColor(static_cast<int>(value & 0xFFu), static_cast<int>((value >> 8) & 0xFFu),
                  static_cast<int>((value >> 16) & 0xFFu));
}

// The stored form of a plain colour.
inline uint32_t bgrFromColour(const QColor& colour) {
    return static_cast<uint32_t>(colour.red()) | static_cast<uint32_t>(colour.green()) << 8 |
           static_cast<uint32_t>(colour.blue()) << 16;
}

// A wideband ratio's colour: green below the stoichiometric 14.7, red from it up.
inline constexpr uint32_t afrColour(float afr) {
    return afr < 14.7f ? 0x00FF00u : 0x0000FFu;
}

} // namespace kx
