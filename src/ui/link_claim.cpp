#include "ui/link_claim.h"

#include "ui/host.h"

#include <QWidget>

namespace kx {

void claimLink(const Host& host, QWidget* tool, EcuLink::Claim claim,
               const std::function<void()>& lost) {
    if (claim.name.isEmpty()) claim.name = tool->windowTitle();
    host.link.acquire(tool, std::move(claim));
    if (!lost) return;
    QObject::connect(&host.link, &EcuLink::stateChanged, tool, [lost](EcuLink::State state) {
        if (state == EcuLink::State::Lost) lost();
    });
}

} // namespace kx
