// Twips and pixels at a given DPI (a window's own, or the desktop's system DPI for stored
// places), fonts at a window's DPI, and the process's DPI awareness.
#pragma once

#include <windows.h>

#include "platform/handles.h"

namespace kvztl {

inline constexpr int kTwipsPerInch = 1440;

// A place and size in twips (1/1440 inch), the unit of every stored window place.
struct TwipsRect {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    friend bool operator==(const TwipsRect&, const TwipsRect&) = default;
};

UINT WindowDpi(HWND hwnd) noexcept;

// The DPI of the monitor nearest to a point of the desktop (the system DPI where the system
// cannot tell).
UINT DpiAt(POINT point) noexcept;

// The one scale of the whole desktop's coordinates: the DPI of the primary monitor when the
// user signed in, the scale at which a DPI-unaware program sees every monitor.
UINT SystemDpi() noexcept;

// A system metric (GetSystemMetrics) at `dpi`.
int SystemMetricAt(int index, UINT dpi) noexcept;

int TwipsToPixels(double twips, UINT dpi) noexcept;
double PixelsToTwips(int pixels, UINT dpi) noexcept;
RECT TwipsToPixels(const TwipsRect& twips, UINT dpi) noexcept;

struct FontSpec {
    const wchar_t* face = nullptr;  // null: the system's message font
    double points = 0;              // 0: the system's message font
    bool bold = false;
    const wchar_t* fallbackFace = nullptr;  // where `face` is not installed
};

UniqueFont CreateFontAt(const FontSpec& spec, UINT dpi) noexcept;

// Opts the process into per-monitor (v2 where available) DPI awareness when the manifest
// could not, e.g. for a test host. Harmless when already aware.
void EnablePerMonitorDpiAwareness() noexcept;

}  // namespace kvztl
