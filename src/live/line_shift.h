#pragma once
// A stray byte and a lost byte inside one live-data frame leave it its length, with every byte
// between the two one place out of step. Frames either side of it show what it should read.
#include "live/live_data.h"

#include <QByteArray>

namespace kx {

// How far `data`'s values and switch bits lie outside what `last` and `next` read, each slot
// in units of one count plus the neighbours' own spread (their values between them cost
// nothing); a switch bit that differs from both neighbours costs one. All three hold the
// values' bytes of one layout, `layout` the frame they belong to.
double outsideNeighbours(const QByteArray& data, const QByteArray& last, const QByteArray& next,
                         const FrameReadings& layout);

// Whether the frame `held`, between `last` and `next` of the same layout, reads as its
// neighbours once a stretch of two or more of its bytes is put back one place (a stray byte at
// one end of the stretch, a lost one at the other), where as it came it lies well outside them.
bool shiftedByLine(const QByteArray& last, const FrameReadings& lastReadings,
                   const QByteArray& held, const FrameReadings& heldReadings,
                   const QByteArray& next, const FrameReadings& nextReadings);

} // namespace kx
