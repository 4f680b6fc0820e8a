#pragma once
// The main window's tools, one row each: their buttons, menu entries, keys, single-instance
// windows and what each listens to are all made from this table, so adding a tool is one row
// and its window.
#include "live/live_session.h"

#include <QKeySequence>
#include <QString>
#include <span>

class QWidget;

namespace kx {

struct Host;

struct ToolRow {
    enum Place { Basic, Advance, Settings, Elsewhere };
    const char* name; // the window's object name, its class's name
    Place place;
    const char* caption; // the button's, or the Settings menu entry's
    const char* button;  // the button's object name, if it has one
    const char* menu;    // the menu entry's object name, if it has one
    const char* menuCaption;
    QKeySequence key;
    bool needsEcu; // its button is enabled by a connected ECU, else from the start
    QWidget* (*make)(const Host&);
    bool forObd2 = true; // false: its button stays off for the OBD-II models
    // The window listens to the live-data stream, from when it is made until it closes.
    LiveSession::Listener (*listener)(QWidget*) = nullptr;
    // Runs each time the window is opened (or brought up again).
    void (*opened)(QWidget*) = nullptr;
};

std::span<const ToolRow> toolTable();
// A line on what the tool with this object name is for, or "".
QString toolHelp(const char* name);
// The row of the window with this object name, if there is one.
const ToolRow* toolRow(const QString& name);

} // namespace kx
