// A top-level window's outer rectangle in twips. A position is a desktop coordinate,
// converted at the system DPI: one scale for the whole desktop, the one at which versions
// unaware of DPI stored their places. A size is converted at the DPI of the monitor the
// window is on.
#pragma once

#include <windows.h>

#include "platform/dpi.h"

namespace kvztl {

// The place of the window as it is when restored, also while it is minimised or maximised.
TwipsRect WindowPlaceTwips(HWND hwnd) noexcept;

// Moves the window to `place`, then sizes it at the DPI of the monitor it has landed on. A
// place wholly outside every monitor's work area is moved onto the nearest monitor; one that
// is at least partly visible is kept exactly.
void PlaceWindowTwips(HWND hwnd, const TwipsRect& place) noexcept;

// The two conversions for any desktop. `dpiAt` answers the DPI of the monitor where a
// window placed at that desktop point lands.
TwipsRect PlaceToTwips(const RECT& window, UINT systemDpi, UINT windowDpi) noexcept;
template <typename DpiAt>
RECT PlaceToPixels(const TwipsRect& place, UINT systemDpi, DpiAt dpiAt) {
    const POINT at{TwipsToPixels(place.left, systemDpi), TwipsToPixels(place.top, systemDpi)};
    const UINT dpi = dpiAt(at);
    return {at.x, at.y, at.x + TwipsToPixels(place.width, dpi), at.y + TwipsToPixels(place.height, dpi)};
}

// Moves the window wholly onto the work area of the monitor nearest to it, if it is not there.
void BringOnScreen(HWND hwnd) noexcept;

// The rectangle moved wholly into the work area of the monitor nearest to it, as far as it fits.
RECT InsideNearestWorkArea(const RECT& rect) noexcept;

// Topmost on and off by the z-order alone: activation and the keyboard focus stay where the
// user has them. A window of another thread is changed without waiting for it, so a hung
// program cannot hold up the caller.
void PinOnTop(HWND hwnd) noexcept;
void UnpinFromTop(HWND hwnd) noexcept;

}  // namespace kvztl
