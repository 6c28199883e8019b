#include "platform/dpi.h"

#include <cmath>

#include "platform/system_entry.h"

namespace kvztl {
namespace {

// Entry points that only newer Windows versions have, looked up once.
template <typename Fn>
Fn User32Entry(const char* name) noexcept {
    return SystemEntry<Fn>(L"user32.dll", name);
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
using SetProcessDpiAwarenessContextFn = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);

}  // namespace

UINT WindowDpi(HWND hwnd) noexcept {
    static const auto getDpiForWindow = User32Entry<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow && hwnd) {
        if (UINT dpi = getDpiForWindow(hwnd)) return dpi;
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

int TwipsToPixels(double twips, UINT dpi) noexcept {
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

double PixelsToTwips(int pixels, UINT dpi) noexcept {
    return static_cast<double>(pixels) * kTwipsPerInch / dpi;
}

RECT TwipsToPixels(const TwipsRect& twips, UINT dpi) noexcept {
    const int left = TwipsToPixels(twips.left, dpi);
    const int top = TwipsToPixels(twips.top, dpi);
    return {left, top, left + TwipsToPixels(twips.width, dpi), top + TwipsToPixels(twips.height, dpi)};
}

TwipsRect PixelsToTwips(const RECT& pixels, UINT dpi) noexcept {
    return {PixelsToTwips(pixels.left, dpi), PixelsToTwips(pixels.top, dpi),
            PixelsToTwips(pixels.right - pixels.left, dpi), PixelsToTwips(pixels.bottom - pixels.top, dpi)};
}

UniqueFont CreateFontAt(const wchar_t* face, double points, bool bold, UINT dpi) noexcept {
    if (points <= 0) {
        static const auto forDpi = User32Entry<SystemParametersInfoForDpiFn>("SystemParametersInfoForDpi");
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof(metrics);
        const BOOL ok = forDpi ? forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi)
                               : SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
        if (ok) return UniqueFont(CreateFontIndirectW(&metrics.lfMessageFont));
        return UniqueFont(nullptr);
    }
    LOGFONTW font{};
    font.lfHeight = -static_cast<LONG>(std::lround(points * dpi / 72.0));
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    return UniqueFont(CreateFontIndirectW(&font));
}

void EnablePerMonitorDpiAwareness() noexcept {
    static const auto setContext = User32Entry<SetProcessDpiAwarenessContextFn>("SetProcessDpiAwarenessContext");
    if (!setContext) return;
    if (!setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
}

}  // namespace kvztl
