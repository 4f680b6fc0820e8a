#pragma once
// How a tool window asks for the ECU link.
#include "link/EcuLink.h"

#include <functional>

class QString;
class QWidget;

namespace kx {

struct Host;

// `tool` asks for the link under its window title; `lost`, if given, runs each time the port
// goes away while the tool is open. `waiting`, if given, runs at once with the holder's name
// when another tool has the link: the window says so on itself and shows no values until its
// claim is granted.
void claimLink(const Host& host, QWidget* tool, EcuLink::Claim claim,
               const std::function<void()>& lost = {},
               const std::function<void(const QString& holder)>& waiting = {});

// What a window that waits for the link says on itself; `who` is the window as the sentence
// names it ("the dashboard").
QString waitingNote(const QString& holder, const QString& who);

// The `waiting` of claimLink for a tool laid out top to bottom that has no values to hide: a
// note banner at its top says whose turn it waits for, until `claim` is granted (its `granted`
// is wrapped to hide the note). Call before claimLink moves the claim.
std::function<void(const QString& holder)> noteWhileWaiting(QWidget* tool, EcuLink::Claim& claim,
                                                            const QString& who);

} // namespace kx
