#pragma once
// S("...") : a QString from a plain ASCII literal, the form every caption in the windows is
// written in.
#include <QString>

namespace kx {

inline QString S(const char* text) {
    return QString::fromLatin1(text);
}

} // namespace kx
