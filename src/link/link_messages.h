#pragma once
// What the program says about the ECU link: the window's message box and status note, and the
// command-line logger's status, say the same.
#include <QString>

namespace kx {

class EcuLink;
class Settings;

// The message for an open() error number of the port layer, with the system's detail where
// it helps and, for a permission error, how to join the 'dialout' group.
QString portErrorText(int error, const QString& device, const QString& detail);

// What the link is doing when it is not simply working (lost, unanswered, silent, another ECU
// id), else `note`; "" when there is nothing to say. While a retry connects, `shown` (the text
// shown so far) stays, rather than flickering.
QString linkStatusText(const EcuLink& link, const Settings& settings, const QString& note,
                       const QString& shown);

} // namespace kx
