#include "link/link_messages.h"

#include "link/EcuLink.h"
#include "link/SerialPort.h"
#include "link/port_paths.h"
#include "util/settings.h"

namespace kx {

QString portErrorText(int error, const QString& device, const QString& detail) {
    QString text;
    switch (error) {
    case PortInvalid:
        text = QStringLiteral("Invalid Port number");
        break;
    case PortAlreadyOpen:
        text = QStringLiteral("Port already open");
        break;
    default:
        text = QStringLiteral("Unexpected error #") + QString::number(error);
        break;
    }
    if (error == PortNoPermission)
        text += QStringLiteral("\n\nYou may not use %1. Add your user to the 'dialout' group "
                               "(sudo usermod -aG dialout $USER), then log out and in again.")
                    .arg(device);
    else if (!detail.isEmpty() && error != PortInvalid && error != PortAlreadyOpen)
        text += QStringLiteral("\n\n") + detail;
    // A port gone under another name: the detail names where the adapter is now.
    else if (error == PortInvalid && detail.contains(QLatin1String(kByIdDir)))
        text += QStringLiteral("\n\n") + detail;
    return text;
}

QString linkStatusText(const EcuLink& link, const Settings& settings, const QString& note,
                       const QString& shown) {
    const QString comms = QStringLiteral("Comms");
    const QString device = link.device();
    switch (link.state()) {
    case EcuLink::State::Lost:
        return QStringLiteral("ECU port %1 lost: %2. Trying again every 2 s.")
            .arg(device, link.lastProblem());
    case EcuLink::State::NoAnswer: {
        // The port as set (a number) and the device it names; a path is said once.
        const QString port = settings.read(comms, QStringLiteral("ComPort"));
        const QString where =
            port.startsWith(u'/') ? device : QStringLiteral("%1 (port %2)").arg(device, port);
        return QStringLiteral("No answer from the ECU on %1 at %2 baud: check the port, the "
                              "cable and the ignition")
            .arg(where, settings.read(comms, QStringLiteral("Speed")));
    }
    case EcuLink::State::Connected:
        return link.silent() ? noDataText(link.lastFrameAt()) + QStringLiteral(": asking again "
                                                                               "every 2 s")
                             : note;
    case EcuLink::State::WrongId:
        return QStringLiteral("An ECU answered, but not with id %1: try Find ECU")
            .arg(settings.read(comms, QStringLiteral("ECUid")).toUpper());
    case EcuLink::State::Connecting:
    case EcuLink::State::Identifying:
        return link.isRetry() ? shown : note;
    default:
        return note;
    }
}

} // namespace kx
