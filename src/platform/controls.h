// The child controls of a window, described in twips by a table and laid out, given fonts
// and coloured at the window's DPI.
#pragma once

#include <windows.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/dpi.h"
#include "platform/handles.h"

namespace kvztl {

struct ControlSpec {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;
    DWORD exStyle;
    TwipsRect place;
    FontSpec font;
    std::optional<COLORREF> backColor = std::nullopt;
    std::optional<COLORREF> textColor = std::nullopt;
};

inline constexpr COLORREF kGreen = 0x00FF00;
inline constexpr COLORREF kRed = 0x0000FF;
inline constexpr COLORREF kCyan = 0xFFFF00;
inline constexpr COLORREF kBlack = 0x000000;

// The labels of both windows are "MS Sans Serif" bold. On Windows that face is a bitmap
// font that does not scale, so they take its outline twin "Microsoft Sans Serif"; where that
// is absent (Wine), "MS Sans Serif" itself, which is an outline font there.
constexpr FontSpec LabelFont(double points) { return {L"Microsoft Sans Serif", points, true, L"MS Sans Serif"}; }

class ControlSet {
public:
    // Creates every control as a child of `parent`; false if any could not be created.
    bool Create(HWND parent, std::span<const ControlSpec> specs, UINT dpi) noexcept;

    // Moves, sizes and re-fonts every control for a new DPI.
    void ApplyDpi(UINT dpi) noexcept;

    // WM_DPICHANGED of the parent: the controls at the new DPI, the parent at the rectangle
    // the system suggests.
    void OnDpiChanged(HWND parent, WPARAM wparam, LPARAM lparam) noexcept;

    HWND Get(int id) const noexcept;
    std::wstring Text(int id) const;
    void SetText(int id, const std::wstring& text) noexcept;
    bool Checked(int id) const noexcept;
    void Enable(int id, bool enabled) noexcept;
    bool Enabled(int id) const noexcept;

    std::optional<COLORREF> BackColor(int id) const noexcept;
    void SetBackColor(int id, COLORREF color) noexcept;

    // WM_CTLCOLORSTATIC / WM_CTLCOLOREDIT: the brush for a control with its own colours,
    // or null when the system's colours apply.
    HBRUSH OnCtlColor(HDC dc, HWND control) noexcept;

private:
    struct Control {
        ControlSpec spec;
        HWND hwnd;
        UniqueBrush brush;
    };
    Control* Find(int id) noexcept;
    const Control* Find(int id) const noexcept;

    std::vector<Control> controls_;
    std::vector<UniqueFont> fonts_;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
};

}  // namespace kvztl
