#include "logs/log_loading.h"

#include "live/live_state.h"
#include "logs/replay_logic.h"
#include "ui/Dialogs.h"
#include "ui/host.h"

#include <QProgressBar>

namespace kx {

namespace {
void showProgress(QProgressBar* progress, double done) {
    if (progress) progress->setValue(static_cast<int>(done * 100));
}
} // namespace

LogLoad::LogLoad(const Host& host, QWidget* window, const QString& path, Loaded loaded,
                 QProgressBar* progress)
    : host_(host), window_(window), progress_(progress), loaded_(std::move(loaded)),
      busy_(std::in_place),
      job_(
          window,
          [path](std::stop_token stop, const std::function<void(double)>& report) {
              return LogReader::readFile(path, [&](double done) {
                  report(done);
                  return !stop.stop_requested();
              });
          },
          [this](LogReadResult& result) { finish(result); },
          [this](double done) { showProgress(progress_, done); }) {
    if (progress_) {
        progress_->setValue(0);
        progress_->show();
        progress_->raise();
    }
}

LogLoad::~LogLoad() {
    if (progress_) progress_->hide();
}

void LogLoad::finish(LogReadResult& result) {
    busy_.reset();
    if (progress_) progress_->hide();
    if (result.status == LogReadResult::Status::Cancelled || !window_) return;
    // One box a load: a header of unknown names lists them all in it, not one box a column.
    QStringList said = result.messages;
    if (!result.ok()) said.prepend(logInvalidStructureMessage());
    if (!said.isEmpty()) host_.dialogs.message(window_, said.join(u'\n'));
    if (!result.ok()) {
        loaded_(std::nullopt);
        return;
    }
    // The log's units go into the shared catalogue, where they stay until it is rebuilt.
    applyLogCatalogueChanges(host_.state.setup.gaugeCatalogue, result.catalogueChanges);
    loaded_(std::move(result.data));
}

} // namespace kx
