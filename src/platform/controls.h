// The child controls of a window, described in twips by a table and laid out, given fonts
// and coloured at the window's DPI.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/colors.h"
#include "platform/dpi.h"
#include "platform/handles.h"
#include "platform/label.h"

namespace kvztl {

struct ControlSpec {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;
    DWORD exStyle;
    TwipsRect place;
    FontSpec font;
    std::optional<COLORREF> backColor;
    std::optional<COLORREF> textColor;
};

// The labels of both windows are "MS Sans Serif" bold. On Windows that face is a bitmap
// font that does not scale, so they take its outline twin "Microsoft Sans Serif"; where that
// is absent (Wine), "MS Sans Serif" itself, which is an outline font there.
constexpr FontSpec LabelFont(double points) { return {L"Microsoft Sans Serif", points, true, L"MS Sans Serif"}; }

// How a label or text box looks; unset colours are the system's.
struct Look {
    FontSpec font;  // the system's message font by default
    std::optional<COLORREF> back = std::nullopt;
    std::optional<COLORREF> text = std::nullopt;
};

enum class Initially { Enabled, Disabled };
enum class Editing { Editable, ReadOnlyCentred };

// One maker per kind of control, so that each row of a window's table reads by itself.

// A bordered caption centred on a coloured ground, telling its parent of clicks and
// double-clicks (see label.h).
constexpr ControlSpec Label(int id, const wchar_t* caption, const TwipsRect& place, const Look& look) {
    return {id, kLabelClass, caption, WS_BORDER | WS_CLIPSIBLINGS, 0, place, look.font, look.back, look.text};
}

// A push button, in the tab order; a long caption wraps.
constexpr ControlSpec Button(int id, const wchar_t* caption, const TwipsRect& place,
                             Initially state = Initially::Enabled) {
    const DWORD disabled = state == Initially::Disabled ? WS_DISABLED : 0;
    return {id, L"Button", caption, BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP | disabled, 0, place, {}, {}, {}};
}

// A check box that ticks and clears itself when clicked, in the tab order.
constexpr ControlSpec TickBox(int id, const wchar_t* caption, const TwipsRect& place) {
    return {id, L"Button", caption, BS_AUTOCHECKBOX | WS_TABSTOP, 0, place, {}, {}, {}};
}

// A one-line edit box, in the tab order.
constexpr ControlSpec TextBox(int id, const wchar_t* text, const TwipsRect& place, const Look& look = {},
                              Editing editing = Editing::Editable) {
    const DWORD style =
        ES_AUTOHSCROLL | WS_TABSTOP | (editing == Editing::ReadOnlyCentred ? ES_CENTER | ES_READONLY : 0);
    return {id, L"Edit", text, style, WS_EX_CLIENTEDGE, place, look.font, look.back, look.text};
}

class ControlSet {
public:
    // Creates every control as a child of `parent`; false if any could not be created.
    bool Create(HWND parent, std::span<const ControlSpec> specs, UINT dpi) noexcept;

    // WM_DPICHANGED of the parent: the controls at the new DPI, the parent at the rectangle
    // the system suggests.
    void OnDpiChanged(HWND parent, WPARAM wparam, LPARAM lparam) noexcept;

    HWND Get(int id) const noexcept;
    std::wstring Text(int id) const;
    void SetText(int id, const std::wstring& text) noexcept;
    bool Checked(int id) const noexcept;
    void SetChecked(int id, bool checked) noexcept;
    void Enable(int id, bool enabled) noexcept;

    std::optional<COLORREF> BackColor(int id) const noexcept;
    void SetBackColor(int id, COLORREF color) noexcept;

    // WM_CTLCOLORSTATIC / WM_CTLCOLOREDIT: the brush for a control with its own colours,
    // or null when the system's colours apply.
    HBRUSH OnCtlColor(HDC dc, HWND control) noexcept;

    // WM_NOTIFY: draws the captions of wrapping push buttons (NM_CUSTOMDRAW); nothing for
    // what it leaves to the system.
    std::optional<LRESULT> OnNotify(const NMHDR& header) noexcept;

private:
    struct Control {
        ControlSpec spec;
        HWND hwnd;
        UniqueBrush brush;
    };
    static void DrawWrappedCaption(const NMCUSTOMDRAW& draw) noexcept;
    // Moves, sizes and re-fonts every control for a DPI.
    void ApplyDpi(UINT dpi) noexcept;
    Control* Find(int id) noexcept;
    const Control* Find(int id) const noexcept;

    std::vector<Control> controls_;
    std::vector<UniqueFont> fonts_;
};

}  // namespace kvztl
