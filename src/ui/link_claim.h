#pragma once
// How a tool window asks for the ECU link.
#include "link/EcuLink.h"

#include <functional>

class QWidget;

namespace kx {

struct Host;

// `tool` asks for the link under its window title; `lost`, if given, runs each time the port
// goes away while the tool is open.
void claimLink(const Host& host, QWidget* tool, EcuLink::Claim claim,
               const std::function<void()>& lost = {});

} // namespace kx
