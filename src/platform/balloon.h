// A note by a window that shows for a few seconds without taking the focus: a bold title over
// a few lines of text, in the system's tooltip colours. Drawn by itself, so that the window
// it belongs to needs no common controls. Measured at the DPI of the monitor it shows on, and
// kept within that monitor's work area.
#pragma once

#include <windows.h>

#include <string>

#include "platform/handles.h"

namespace kvztl {

inline constexpr const wchar_t* kBalloonClass = L"KVZTL_BALLOON";

class Balloon {
public:
    // Shows `title` over `text` just below `at` (screen coordinates, centred on it), in front
    // of `owner`, for `milliseconds` or until clicked.
    void Show(HWND owner, POINT at, const std::wstring& title, const std::wstring& text, UINT milliseconds);
    void Hide() noexcept;
    HWND hwnd() const noexcept { return window_.get(); }
    // Its owner has gone, and the balloon with it.
    void Forget() noexcept { (void)window_.release(); }

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept;
    void Paint() noexcept;
    // Fonts and size at `dpi`, the top edge's centre at `at`, inside the work area.
    void Layout(UINT dpi, POINT at) noexcept;
    // The title's and the text's places, within the margins, at the balloon's DPI.
    void Measure(HDC dc, RECT& title, RECT& text) const noexcept;

    UniqueWindow window_;
    UniqueFont font_, bold_;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    std::wstring title_, text_;
};

}  // namespace kvztl
