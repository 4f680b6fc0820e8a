#pragma once
// The binary trace of the ECU link: 'S' and the bytes of one write, 'R' and the bytes of one
// receive event, with no separators or time stamps.
#include <QByteArray>
#include <QFile>
#include <QString>

namespace kx {

class DebugTrace {
public:
    static QString defaultPath(); // "Kestrixdebug.log" in the working directory

    // Opens (and truncates, so no tail of an older, longer trace is left behind).
    bool open(const QString& path = defaultPath());
    bool isOpen() const { return file_.isOpen(); }
    void close() { file_.close(); }
    void send(const QByteArray& bytes) { record('S', bytes); }
    void receive(const QByteArray& bytes) { record('R', bytes); }

private:
    void record(char marker, const QByteArray& bytes);
    QFile file_;
};

} // namespace kx
