#include "logs/log_loading.h"

#include "logs/replay_logic.h"
#include "ui/Dialogs.h"
#include "ui/host.h"
#include "ui/ui_helpers.h"

#include <QCoreApplication>
#include <QProgressBar>

namespace kx {

std::optional<LogData> loadLogFromWindow(const Host& host, QWidget* window, const QString& path,
                                         const bool& cancel, QProgressBar* progress) {
    LogReadResult result;
    {
        BusyCursor busy;
        if (progress) {
            progress->setValue(0);
            progress->show();
            progress->raise();
        }
        // The reader reports every ~50 ms: events flow meanwhile, and a close asked cancels.
        result = LogReader::readFile(path, [&](double done) {
            if (progress) progress->setValue(static_cast<int>(done * 100));
            QCoreApplication::processEvents();
            return !cancel;
        });
        if (progress) progress->hide();
    }
    if (result.status == LogReadResult::Status::Cancelled) return std::nullopt;
    // One box a load: a header of unknown names lists them all in it, not one box a column.
    QStringList said = result.messages;
    if (!result.ok()) said.prepend(logInvalidStructureMessage());
    if (!said.isEmpty()) host.dialogs.message(window, said.join(u'\n'));
    if (!result.ok()) return std::nullopt;
    // The log's units go into the shared catalogue, where they stay until it is rebuilt.
    applyLogCatalogueChanges(host.state.setup.gaugeCatalogue, result.catalogueChanges);
    return std::move(result.data);
}

} // namespace kx
