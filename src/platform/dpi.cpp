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
using GetDpiForSystemFn = UINT(WINAPI*)();
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
using SetProcessDpiAwarenessContextFn = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI, from shellscalingapi.h

}  // namespace

UINT WindowDpi(HWND hwnd) noexcept {
    static const auto getDpiForWindow = User32Entry<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow && hwnd) {
        if (UINT dpi = getDpiForWindow(hwnd)) return dpi;
    }
    return SystemDpi();
}

UINT DpiAt(POINT point) noexcept {
    // shcore is loaded only when this is first asked (the alert's note).
    static const auto getDpiForMonitor = SystemEntry<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
    UINT x = 0, y = 0;
    if (getDpiForMonitor &&
        SUCCEEDED(getDpiForMonitor(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), kEffectiveDpi, &x, &y)) && y) {
        return y;
    }
    return SystemDpi();
}

UINT SystemDpi() noexcept {
    static const auto getDpiForSystem = User32Entry<GetDpiForSystemFn>("GetDpiForSystem");
    if (getDpiForSystem) {
        if (UINT dpi = getDpiForSystem()) return dpi;
    }
    const WindowDC screen;
    const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

int SystemMetricAt(int index, UINT dpi) noexcept {
    static const auto forDpi = User32Entry<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    return forDpi ? forDpi(index, dpi)
                  : MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

int TwipsToPixels(double twips, UINT dpi) noexcept {
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

double PixelsToTwips(int pixels, UINT dpi) noexcept { return static_cast<double>(pixels) * kTwipsPerInch / dpi; }

RECT TwipsToPixels(const TwipsRect& twips, UINT dpi) noexcept {
    const int left = TwipsToPixels(twips.left, dpi);
    const int top = TwipsToPixels(twips.top, dpi);
    return {left, top, left + TwipsToPixels(twips.width, dpi), top + TwipsToPixels(twips.height, dpi)};
}

namespace {

int CALLBACK NoteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool FaceInstalled(const wchar_t* face) noexcept {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    const WindowDC screen;
    EnumFontFamiliesExW(screen.get(), &wanted, &NoteFound, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

}  // namespace

UniqueFont CreateFontAt(const FontSpec& spec, UINT dpi) noexcept {
    if (!spec.face || spec.points <= 0) {
        static const auto forDpi = User32Entry<SystemParametersInfoForDpiFn>("SystemParametersInfoForDpi");
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof(metrics);
        const BOOL ok = forDpi ? forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi)
                               : SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
        if (ok) return UniqueFont(CreateFontIndirectW(&metrics.lfMessageFont));
        return UniqueFont(nullptr);
    }
    LOGFONTW font{};
    font.lfHeight = -static_cast<LONG>(std::lround(spec.points * dpi / 72.0));
    font.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    // Without a face of that name the font mapper would pick whatever it likes.
    const wchar_t* face = spec.fallbackFace && !FaceInstalled(spec.face) ? spec.fallbackFace : spec.face;
    lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    return UniqueFont(CreateFontIndirectW(&font));
}

void EnablePerMonitorDpiAwareness() noexcept {
    static const auto setContext = User32Entry<SetProcessDpiAwarenessContextFn>("SetProcessDpiAwarenessContext");
    if (!setContext) return;
    if (!setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
}

}  // namespace kvztl
