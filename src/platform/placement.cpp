#include "platform/placement.h"

#include <algorithm>

namespace kvztl {

TwipsRect PlaceToTwips(const RECT& window, UINT systemDpi, UINT windowDpi) noexcept {
    return {PixelsToTwips(window.left, systemDpi), PixelsToTwips(window.top, systemDpi),
            PixelsToTwips(window.right - window.left, windowDpi), PixelsToTwips(window.bottom - window.top, windowDpi)};
}

namespace {

BOOL CALLBACK FindVisiblePart(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    auto* search = reinterpret_cast<std::pair<RECT, bool>*>(data);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    RECT overlap{};
    if (GetMonitorInfoW(monitor, &info) && IntersectRect(&overlap, &search->first, &info.rcWork)) {
        search->second = true;
        return FALSE;
    }
    return TRUE;
}

// A rectangle that lies wholly outside every monitor's work area goes onto the work area of
// the nearest monitor; one that is at least partly visible stays as it is.
RECT KeepReachable(const RECT& rect) noexcept {
    std::pair<RECT, bool> search{rect, false};
    // An empty rectangle intersects nothing; test a pixel at its corner instead.
    search.first.right = std::max(rect.right, rect.left + 1);
    search.first.bottom = std::max(rect.bottom, rect.top + 1);
    EnumDisplayMonitors(nullptr, nullptr, &FindVisiblePart, reinterpret_cast<LPARAM>(&search));
    return search.second ? rect : InsideNearestWorkArea(rect);
}

// Where the window is when restored: a minimised window lies far off the screen, a
// maximised one fills it.
RECT RestoredRect(HWND hwnd) noexcept {
    RECT rect{};
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    if ((!IsIconic(hwnd) && !IsZoomed(hwnd)) || !GetWindowPlacement(hwnd, &placement)) {
        GetWindowRect(hwnd, &rect);
        return rect;
    }
    rect = placement.rcNormalPosition;
    // In work-area coordinates, but for a tool window, whose are the screen's.
    if (!(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW)) {
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        if (GetMonitorInfoW(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &info)) {
            OffsetRect(&rect, info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top);
        }
    }
    return rect;
}

}  // namespace

TwipsRect WindowPlaceTwips(HWND hwnd) noexcept {
    return PlaceToTwips(RestoredRect(hwnd), SystemDpi(), WindowDpi(hwnd));
}

void PlaceWindowTwips(HWND hwnd, const TwipsRect& place) noexcept {
    constexpr UINT kFlags = SWP_NOZORDER | SWP_NOACTIVATE;
    // The window goes to its position first: the DPI it then has sizes it.
    const RECT rect = KeepReachable(PlaceToPixels(place, SystemDpi(), [hwnd](POINT at) noexcept {
        SetWindowPos(hwnd, nullptr, at.x, at.y, 0, 0, kFlags | SWP_NOSIZE);
        return WindowDpi(hwnd);
    }));
    SetWindowPos(hwnd, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, kFlags);
}

RECT InsideNearestWorkArea(const RECT& rect) noexcept {
    // An empty rectangle is near nothing; a pixel at its corner stands for it.
    const RECT probe{rect.left, rect.top, std::max(rect.right, rect.left + 1), std::max(rect.bottom, rect.top + 1)};
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoW(MonitorFromRect(&probe, MONITOR_DEFAULTTONEAREST), &info)) return rect;
    const RECT& work = info.rcWork;
    const LONG width = rect.right - rect.left;
    const LONG height = rect.bottom - rect.top;
    const LONG left = std::clamp(rect.left, work.left, std::max(work.left, work.right - width));
    const LONG top = std::clamp(rect.top, work.top, std::max(work.top, work.bottom - height));
    return {left, top, left + width, top + height};
}

void BringOnScreen(HWND hwnd) noexcept {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    const RECT inside = InsideNearestWorkArea(rect);
    if (EqualRect(&inside, &rect)) return;
    SetWindowPos(hwnd, nullptr, inside.left, inside.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {

void SetTopmost(HWND hwnd, HWND insertAfter) noexcept {
    const bool otherThread = GetWindowThreadProcessId(hwnd, nullptr) != GetCurrentThreadId();
    SetWindowPos(hwnd, insertAfter, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | (otherThread ? SWP_ASYNCWINDOWPOS : 0));
}

}  // namespace

void PinOnTop(HWND hwnd) noexcept { SetTopmost(hwnd, HWND_TOPMOST); }

void UnpinFromTop(HWND hwnd) noexcept { SetTopmost(hwnd, HWND_NOTOPMOST); }

}  // namespace kvztl
