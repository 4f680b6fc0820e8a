#pragma once
// Helpers shared by the suites: a dialog recorder, a temporary settings file, and a real
// pseudo-terminal pair.
#include "ui/Dialogs.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QWidget>

#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QByteArray& b, std::ostream* os) {
    *os << '"';
    for (char c : b) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F && c != '\\')
            *os << c;
        else {
            static const char* hex = "0123456789ABCDEF";
            *os << "\\x" << hex[u >> 4] << hex[u & 15];
        }
    }
    *os << '"';
}

namespace kx::test {

// Answers every dialog without showing it and records what was asked.
class RecordingDialogs : public Dialogs {
public:
    QStringList messages;
    std::vector<MessageKind> messageKinds; // one per message
    QStringList questions;
    std::deque<bool> questionAnswers; // in order; no when none is left
    int beeps = 0;
    std::deque<QString> fileAnswers; // answers to open/save choosers, in order
    std::deque<std::optional<uint32_t>> colourAnswers;
    QStringList fileRequests;            // "save:<preset>" or "open:<dir>"
    std::function<void()> whileChoosing; // runs while a file chooser is open

    void message(QWidget*, const QString& text, MessageKind kind = MessageKind::Plain) override {
        messages << text;
        messageKinds.push_back(kind);
    }
    bool question(QWidget*, const QString& text) override;
    QString saveFileName(QWidget*, const QString&, const QString& preset, const QString&,
                         const QString&) override;
    QString openFileName(QWidget*, const QString& dir, const QString&) override;
    std::optional<uint32_t> chooseColour(QWidget*, uint32_t) override;
    void beep() override { ++beeps; }
};

// A pseudo-terminal pair: `path()` is the slave device Kestrix opens, the master fd is the
// far end that the test reads and writes.
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    bool ok() const { return master_ >= 0; }
    const QString& path() const { return path_; }
    int master() const { return master_; }
    void write(const QByteArray& bytes);
    // Reads what is available within `ms` milliseconds (events keep flowing meanwhile).
    QByteArray readFor(int ms);
    // Closes the master: the slave side sees a hang-up.
    void hangUp();

private:
    int master_ = -1;
    int slave_ = -1; // kept open so the slave does not report a hang-up before Kestrix opens it
    QString path_;
};

// Bytes from a list of values, for frames written out in tests.
inline QByteArray bytes(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

// Bytes from hexadecimal text: "FF01" -> 0xFF 0x01.
inline QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

// The control of that objectName under `w`; a test failure (and null) when there is none.
template <class T> T* child(QWidget* w, const QString& name) {
    T* c = w->findChild<T*>(name);
    EXPECT_NE(c, nullptr) << name.toStdString();
    return c;
}
template <class T> T* child(QWidget* w, const char* name) {
    return child<T>(w, QString::fromLatin1(name));
}

// Runs the event loop until `pred` is true or `ms` elapsed; returns pred().
bool waitUntil(const std::function<bool()>& pred, int ms);

// The whole file, or nothing when it cannot be read.
QByteArray fileBytes(const QString& path);

} // namespace kx::test
