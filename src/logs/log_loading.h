#pragma once
// Opening a log from a window, as the replay and the analyser both do: the log is read on a
// thread of its own, so the window stays live and can close at any time.
#include "logs/log_reader.h"
#include "ui/ui_helpers.h"
#include "util/background.h"

#include <QPointer>
#include <functional>
#include <optional>

class QProgressBar;
class QWidget;

namespace kx {

struct Host;

// Reads the log at `path` for `window` (busy pointer, and the progress bar when given), then on
// the window's thread shows in one box "Invalid log file data structure" when the load failed
// and the "not supported" lines of the columns it ignores, puts the log's units into the shared
// catalogue and calls `loaded` (with nothing when the load failed). Destroying it cancels the
// read: `loaded` is not called then.
class LogLoad {
public:
    using Loaded = std::function<void(std::optional<LogData>)>;
    LogLoad(const Host& host, QWidget* window, const QString& path, Loaded loaded,
            QProgressBar* progress = nullptr);
    ~LogLoad();
    LogLoad(const LogLoad&) = delete;
    LogLoad& operator=(const LogLoad&) = delete;

    bool running() const { return !job_.over(); }

private:
    void finish(LogReadResult& result);

    const Host& host_;
    QPointer<QWidget> window_;
    QPointer<QProgressBar> progress_;
    Loaded loaded_;
    std::optional<BusyCursor> busy_;
    BackgroundJob<LogReadResult> job_; // last: stopped first
};

} // namespace kx
