#pragma once
// The main window's Help menu: the About box and the user guide.
class QWidget;

namespace kx {

class Dialogs;

// "About Kestrix": modal, but shown without a nested event loop.
void showAboutBox(QWidget* parent);
// Opens the installed user guide in the desktop's viewer, or says why it cannot.
void showUserGuide(QWidget* parent, Dialogs& dialogs);

} // namespace kx
