#pragma once
// Small helpers every window uses.
#include "util/user_file.h"

#include <QFont>
#include <QPalette>
#include <cstdint>
#include <functional>
#include <optional>

class QHBoxLayout;
class QLabel;
class QPushButton;
class QPlainTextEdit;
class QString;
class QWidget;
class QColor;
class QImage;

namespace kx {

// What the program asks of the window system, before the application object exists. On X11,
// Qt paints into memory it shares with the X server and waits for the server (a round trip)
// before it paints there again; the data display repaints a few small pieces of its dials
// twenty-odd times a second, and those cost less sent over the connection. A user's own
// QT_XCB_NO_MITSHM stands.
void prepareWindowSystem();

// Gives every control under `root` that has no caption of its own an accessible name: the text
// of the label whose buddy it is, else its objectName. Labels, buttons and group boxes keep
// reading their captions as they are now. Call after the window is built.
void nameForAccessibility(QWidget* root);

// Where a value's context is read: as the description, or in the name before the value
// ("Fuel Pump: On").
enum class Context { Description, InName };

// A control that shows a value. Screen readers read what it shows now, never a name frozen
// when the window was built; `context` says what the value is. Call again when the context
// changes. A text box also gets a keyboard caret, so its lines can be read one by one.
void showsValue(QLabel* label, const QString& context, Context where = Context::Description);
void showsValue(QPlainTextEdit* text, const QString& context);

// One colour of the widget's palette, from a stored 0x00BBGGRR colour.
void setColour(QWidget* widget, QPalette::ColorRole role, uint32_t colour);

// A label with its objectName, made a child of `parent`.
QLabel* namedLabel(QWidget* parent, const QString& name, const QString& text);
// The note a window shows on itself when its values are not live (it waits for the link, the
// ECU is silent, the port was lost): a hidden, word-wrapped banner that reads its text to a
// screen reader under `context`.
QLabel* noteBanner(QWidget* parent, const QString& name, const QString& context);
// A push button with its objectName, made a child of `parent` (or of the layout it goes in).
QPushButton* namedButton(QWidget* parent, const QString& name, const QString& caption);

// A settings window's row of buttons, right-aligned: the default one, named "btn" and its
// caption, runs `accept`; "btnCancel" closes the window.
QHBoxLayout* saveCancelRow(QWidget* window, const std::function<void()>& accept,
                           const QString& acceptCaption, const QString& cancelCaption);
QHBoxLayout* saveCancelRow(QWidget* window, const std::function<void()>& accept);

// Closes `window` when Escape is pressed in it.
void closeOnEscape(QWidget* window);

// The busy (hourglass) pointer for as long as it lives.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// The font at `points` (at least 1), made smaller when `text` would not fit `room` pixels.
QFont fittedFont(QFont font, const QString& text, double points, int room = 0);
// The widget's font at `points` (at least 1).
void setFontSize(QWidget* widget, double points);
// The label's font at `points`, made smaller when its text would not fit it.
void fitLabelFont(QLabel* label, double points);

// Writes `image` as the PNG file `path` (see writeUserText: a file that exists is replaced only
// with `existing` Replace, and a failed write leaves it as it was). The reason when it fails.
std::optional<QString> savePng(const QImage& image, const QString& path, ExistingFile existing);

} // namespace kx
