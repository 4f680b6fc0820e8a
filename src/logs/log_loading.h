#pragma once
// Opening a log from a window, as the replay and the analyser both do.
#include "logs/log_reader.h"

#include <optional>

class QProgressBar;
class QWidget;

namespace kx {

struct Host;

// Reads the log while window events go on (busy pointer, and the progress bar when given),
// shows in one box "Invalid log file data structure" when the load fails and the "not
// supported" lines of the columns it ignores, and puts the log's units into the shared
// catalogue. nullopt when the load failed
// or `cancel` turned true meanwhile.
std::optional<LogData> loadLogFromWindow(const Host& host, QWidget* window, const QString& path,
                                         const bool& cancel, QProgressBar* progress = nullptr);

} // namespace kx
