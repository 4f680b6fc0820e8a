#pragma once
// Every message box, file chooser, colour chooser and beep goes through here, so that tests
// can answer them instead of blocking on a modal window.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

class QWidget;

namespace kx {

// The icon of a message box: none for notices, a warning sign for refused input and failures.
enum class MessageKind { Plain, Warning };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A modal box titled "Kestrix" with an OK button.
    virtual void message(QWidget* parent, const QString& text,
                         MessageKind kind = MessageKind::Plain) = 0;
    // A modal yes/no question titled "Kestrix"; true for yes. Without an answer, no: a caller
    // asks before it does something that cannot be undone.
    virtual bool question(QWidget* parent, const QString& text);
    // True when nothing is at `path`, or the user agrees to replace the file that is.
    bool mayReplace(QWidget* parent, const QString& path);
    // Save-file chooser; "" when cancelled.
    virtual QString saveFileName(QWidget* parent, const QString& dir, const QString& preset,
                                 const QString& filter, const QString& defaultSuffix) = 0;
    // Open-file chooser; "" when cancelled.
    virtual QString openFileName(QWidget* parent, const QString& dir, const QString& filter) = 0;
    // Open-file chooser for one or more files; empty when cancelled. Without a chooser of its
    // own, the single one.
    virtual QStringList openFileNames(QWidget* parent, const QString& dir, const QString& filter);
    // Colour chooser over 0x00BBGGRR colours; nullopt when cancelled.
    virtual std::optional<uint32_t> chooseColour(QWidget* parent, uint32_t initial) = 0;
    virtual void beep() = 0;
};

// The real, modal dialogs.
class TonePlayer;

class QtDialogs : public Dialogs {
public:
    QtDialogs();
    ~QtDialogs() override;
    void message(QWidget* parent, const QString& text,
                 MessageKind kind = MessageKind::Plain) override;
    bool question(QWidget* parent, const QString& text) override;
    QString saveFileName(QWidget* parent, const QString& dir, const QString& preset,
                         const QString& filter, const QString& defaultSuffix) override;
    QString openFileName(QWidget* parent, const QString& dir, const QString& filter) override;
    QStringList openFileNames(QWidget* parent, const QString& dir, const QString& filter) override;
    std::optional<uint32_t> chooseColour(QWidget* parent, uint32_t initial) override;
    // The alert tone on the sound device, or the system beep where there is none.
    void beep() override;

private:
    std::unique_ptr<TonePlayer> tone_;
};

// Filter lists are written "Name|*.ext|Name|*.ext"; this turns them into Qt's form.
QString qtFilter(const QString& pipeFilter);

} // namespace kx
