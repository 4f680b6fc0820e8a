#include "app/LiveShare.h"

#include "live/Form1.h"
#include "logs/frmDataLog.h"
#include "ui/host.h"

#include <QPointer>

namespace kx {

LiveShare::LiveShare(EcuLink& link, LiveState& state, const Settings& settings,
                     std::function<Form1*()> display, std::function<frmDataLog*()> logger)
    : link_(link), state_(state), settings_(settings), display_(std::move(display)),
      logger_(std::move(logger)) {}

void LiveShare::opened(QWidget* tool) {
    QWidget* other = tool == display_() ? static_cast<QWidget*>(logger_()) : display_();
    if (other && link_.holds(other)) {
        link_.ReadMode = 4;
        return;
    }
    link_.acquire(tool, claim(tool));
}

bool LiveShare::closed(QWidget* tool) {
    Form1* display = display_();
    frmDataLog* logger = logger_();
    if (link_.ReadMode != 4 || !display || !logger || (tool != display && tool != logger))
        return false;
    QWidget* other = tool == display ? static_cast<QWidget*>(logger) : display;
    if (link_.holds(tool)) link_.handOver(tool, other, claim(other));
    link_.ReadMode = tool == display ? 3 : 2;
    return true;
}

EcuLink::Claim LiveShare::claim(QWidget* tool) {
    EcuLink::Claim c;
    c.name = tool == display_() ? QStringLiteral("Data Display") : QStringLiteral("Data Logging");
    c.liveData = true;
    c.receiver = [this](const QByteArray& f) { frame(f); };
    c.deliveryDone = [this] { shown(); };
    QPointer<QWidget> guard(tool);
    c.granted = [this, guard] {
        if (guard) arm(guard);
    };
    c.resumed = c.granted;
    c.rearm = c.granted;
    return c;
}

void LiveShare::arm(QObject* owner) {
    const bool display = display_() != nullptr;
    const bool logger = logger_() != nullptr;
    filter_.reset(storedEcuBaud(settings_));
    link_.run(owner, liveDataStream(state_.setup, display && logger ? 4 : display ? 2 : 3));
}

void LiveShare::frame(const QByteArray& frame) {
    const int mode = link_.ReadMode;
    if (mode < 2 || mode > 4) return;
    const auto passed = filterFrame(filter_, frame, state_.setup, link_.trace());
    if (!passed) return;
    getFullData(passed->bytes, state_.setup, state_.units, state_.live);
    auto* logger = logger_();
    if (logger && mode != 2) logger->saveLogData(passed->at);
}

void LiveShare::shown() {
    const int mode = link_.ReadMode;
    Form1* display = display_();
    if (display && (mode == 2 || mode == 4)) display->setDataDisplay();
}

} // namespace kx
