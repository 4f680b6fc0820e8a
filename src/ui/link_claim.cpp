#include "ui/link_claim.h"

#include "ui/host.h"
#include "ui/ui_helpers.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QWidget>

namespace kx {

void claimLink(const Host& host, QWidget* tool, EcuLink::Claim claim,
               const std::function<void()>& lost,
               const std::function<void(const QString& holder)>& waiting) {
    if (claim.name.isEmpty()) claim.name = tool->windowTitle();
    host.link.acquire(tool, std::move(claim));
    if (waiting && host.link.holder() && !host.link.holds(tool)) waiting(host.link.holderName());
    if (!lost) return;
    QObject::connect(&host.link, &EcuLink::stateChanged, tool, [lost](EcuLink::State state) {
        if (state == EcuLink::State::Lost) lost();
    });
}

QString waitingNote(const QString& holder, const QString& who) {
    return holder + QStringLiteral(" has the ECU link: ") + who +
           QStringLiteral(" waits for it to close");
}

std::function<void(const QString& holder)> noteWhileWaiting(QWidget* tool, EcuLink::Claim& claim,
                                                            const QString& who) {
    QPointer<QLabel> note =
        noteBanner(tool, QStringLiteral("lblWaitNote"), QStringLiteral("ECU link status"));
    if (auto* box = qobject_cast<QBoxLayout*>(tool->layout())) box->insertWidget(0, note);
    claim.granted = [note, granted = std::move(claim.granted)] {
        if (note) note->hide();
        if (granted) granted();
    };
    return [note, who](const QString& holder) {
        if (!note) return;
        note->setText(waitingNote(holder, who));
        note->show();
    };
}

} // namespace kx
