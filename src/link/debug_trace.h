#pragma once
// The binary trace of the ECU link: 'S' and the bytes of one write, 'R' and the bytes of one
// receive event, with no separators or time stamps; and 'N' with a line of text ending in a
// newline, a note of what the program made of what it received.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <functional>

namespace kx {

class DebugTrace {
public:
    static QString defaultPath(); // "Kestrixdebug.log" in the working directory

    // Opens the file, replacing an older trace (the user asked for one under this fixed name),
    // so no tail of a longer trace is left behind. A symbolic link, a FIFO or anything else but
    // a regular file is refused. The first failure of a run is handed to the failure handler.
    bool open(const QString& path = defaultPath());
    bool isOpen() const { return file_.isOpen(); }
    void close() { file_.close(); }
    void send(const QByteArray& bytes) { record('S', bytes); }
    void receive(const QByteArray& bytes) { record('R', bytes); }
    void note(const QByteArray& text) { record('N', text + '\n'); }

    // Told why the trace cannot be opened: the system's error number and a sentence naming
    // the file. Called once a run, however often the open is tried again.
    using FailureHandler = std::function<void(int error, const QString& detail)>;
    void onFailure(FailureHandler handler) { failure_ = std::move(handler); }

private:
    void record(char marker, const QByteArray& bytes);
    QFile file_;
    FailureHandler failure_;
    bool failureTold_ = false;
};

} // namespace kx
