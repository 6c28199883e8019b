// A top-level window's outer rectangle in twips.
#pragma once

#include <windows.h>

#include "platform/dpi.h"

namespace kvztl {

TwipsRect WindowPlaceTwips(HWND hwnd) noexcept;

// Moves and sizes the window to `place` at its own DPI, kept reachable (see KeepReachable).
void PlaceWindowTwips(HWND hwnd, const TwipsRect& place) noexcept;

// A rectangle that lies wholly outside every monitor's work area is moved onto the work area
// of the nearest monitor; one that is at least partly visible is returned unchanged.
RECT KeepReachable(const RECT& rect) noexcept;

}  // namespace kvztl
