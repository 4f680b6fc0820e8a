#pragma once
// What a screen reader gets of a window, read through Qt's accessibility interfaces.
#include <QString>

class QObject;
class QWidget;

namespace kx::test {

// The accessible name of `object`, as a screen reader reads it now.
QString spokenName(QObject* object);

// A label or a frame that shows no text, or a dial not named yet: there is nothing to read,
// so no name to have.
bool showsNothing(QWidget* w);

// `root` and every element under it, one line each, indented by depth: role, name, and the
// value and description where there are any. Hidden elements are left out.
QString accessibleTree(QObject* root);

} // namespace kx::test
