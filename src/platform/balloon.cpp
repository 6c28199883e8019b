#include "platform/balloon.h"

#include <algorithm>

#include "platform/dpi.h"
#include "platform/placement.h"
#include "platform/system_entry.h"
#include "platform/window.h"

namespace kvztl {
namespace {

constexpr UINT_PTR kHideTimer = 1;
constexpr int kMargin = 8;      // pixels at 96 DPI
constexpr int kMaxWidth = 400;  // pixels at 96 DPI: longer lines wrap
constexpr DWORD kStyle = WS_POPUP | WS_BORDER;
constexpr DWORD kExStyle = WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW;

UniqueFont MessageFont(UINT dpi, bool bold) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    LOGFONTW font = metrics.lfStatusFont;
    font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
    if (bold) font.lfWeight = FW_BOLD;
    return UniqueFont(CreateFontIndirectW(&font));
}

int Scaled(int pixels, UINT dpi) noexcept { return MulDiv(pixels, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI); }

}  // namespace

void Balloon::Show(HWND owner, POINT at, const std::wstring& title, const std::wstring& text, UINT milliseconds) {
    if (!window_) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &Balloon::Procedure;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kBalloonClass;
        RegisterClassOnce(wc);
        window_.reset(CreateWindowExW(kExStyle, kBalloonClass, title.c_str(), kStyle, 0, 0, 0, 0, owner, nullptr,
                                      nullptr, nullptr));
        if (!window_) return;
        SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    title_ = title;
    text_ = text;
    SetWindowTextW(window_.get(), (title + L"\n" + text).c_str());  // what a screen reader reads
    // Measured for the monitor it will show on, which may not be its owner's.
    Layout(DpiAt(at), at);
    ShowWindow(window_.get(), SW_SHOWNOACTIVATE);
    InvalidateRect(window_.get(), nullptr, TRUE);
    SetTimer(window_.get(), kHideTimer, milliseconds, nullptr);
}

void Balloon::Layout(UINT dpi, POINT at) noexcept {
    dpi_ = dpi;
    font_ = MessageFont(dpi, false);
    bold_ = MessageFont(dpi, true);
    RECT titleRect{}, textRect{};
    {
        const WindowDC dc(window_.get());
        Measure(dc.get(), titleRect, textRect);
    }
    const int margin = Scaled(kMargin, dpi);
    RECT frame{0, 0, std::max(titleRect.right, textRect.right) + margin, textRect.bottom + margin};
    // The frame's border at that DPI, where the system can tell.
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = SystemEntry<AdjustForDpiFn>(L"user32.dll", "AdjustWindowRectExForDpi");
    if (!adjustForDpi || !adjustForDpi(&frame, kStyle, FALSE, kExStyle, dpi)) {
        AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    }
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    const RECT place = InsideNearestWorkArea({at.x - width / 2, at.y, at.x - width / 2 + width, at.y + height});
    SetWindowPos(window_.get(), HWND_TOPMOST, place.left, place.top, width, height, SWP_NOACTIVATE);
}

void Balloon::Hide() noexcept {
    if (!window_) return;
    KillTimer(window_.get(), kHideTimer);
    ShowWindow(window_.get(), SW_HIDE);
}

void Balloon::Measure(HDC dc, RECT& title, RECT& text) const noexcept {
    const int margin = Scaled(kMargin, dpi_);
    const int widest = Scaled(kMaxWidth, dpi_);
    title = {margin, margin, margin + widest, margin};
    {
        const SelectionScope font(dc, bold_.get());
        DrawTextW(dc, title_.c_str(), -1, &title, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    }
    text = {margin, title.bottom + margin / 2, margin + widest, title.bottom + margin / 2};
    const SelectionScope font(dc, font_.get());
    DrawTextW(dc, text_.c_str(), -1, &text, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
}

void Balloon::Paint() noexcept {
    PaintScope paint(window_.get());
    RECT client{};
    GetClientRect(window_.get(), &client);
    FillRect(paint.dc(), &client, GetSysColorBrush(COLOR_INFOBK));
    SetBkMode(paint.dc(), TRANSPARENT);
    SetTextColor(paint.dc(), GetSysColor(COLOR_INFOTEXT));
    RECT title{}, text{};
    Measure(paint.dc(), title, text);
    {
        const SelectionScope font(paint.dc(), bold_.get());
        DrawTextW(paint.dc(), title_.c_str(), -1, &title, DT_WORDBREAK | DT_NOPREFIX);
    }
    const SelectionScope font(paint.dc(), font_.get());
    DrawTextW(paint.dc(), text_.c_str(), -1, &text, DT_WORDBREAK | DT_NOPREFIX);
}

LRESULT CALLBACK Balloon::Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    auto* balloon = reinterpret_cast<Balloon*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (balloon) {
        switch (message) {
        case WM_PAINT:
            balloon->Paint();
            return 0;
        case WM_TIMER:
        case WM_LBUTTONDOWN:
            balloon->Hide();
            return 0;
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_DPICHANGED: {
            // Moved onto a monitor of another scale: measured again there, from the place the
            // system suggests. (Its own move to a place of the same scale changes nothing.)
            if (HIWORD(wparam) == balloon->dpi_) return 0;
            const RECT& suggested = *reinterpret_cast<const RECT*>(lparam);
            balloon->Layout(HIWORD(wparam), {(suggested.left + suggested.right) / 2, suggested.top});
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        }
        case WM_NCDESTROY:
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            break;
        }
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace kvztl
