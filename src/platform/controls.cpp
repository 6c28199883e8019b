#include "platform/controls.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/label.h"
#include "platform/window.h"

namespace kvztl {

bool ControlSet::Create(HWND parent, std::span<const ControlSpec> specs, UINT dpi) noexcept {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterLabelClass();
    for (const ControlSpec& spec : specs) {
        HWND hwnd =
            CreateWindowExW(spec.exStyle, spec.className, spec.text, WS_CHILD | WS_VISIBLE | spec.style, 0, 0, 0, 0,
                            parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)), instance, nullptr);
        if (!hwnd) return false;
        UniqueBrush brush(spec.backColor ? CreateSolidBrush(*spec.backColor) : nullptr);
        controls_.push_back({spec, hwnd, std::move(brush)});
    }
    ApplyDpi(dpi);
    return true;
}

void ControlSet::ApplyDpi(UINT dpi) noexcept {
    std::vector<UniqueFont> fonts;
    for (const Control& control : controls_) {
        UniqueFont& created = fonts.emplace_back(CreateFontAt(control.spec.font, dpi));
        const RECT place = TwipsToPixels(control.spec.place, dpi);
        SetWindowPos(control.hwnd, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(control.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(created.get()), TRUE);
    }
    // The old fonts go only after no control uses them any more.
    fonts_ = std::move(fonts);
}

void ControlSet::OnDpiChanged(HWND parent, WPARAM wparam, LPARAM lparam) noexcept {
    ApplyDpi(HIWORD(wparam));
    const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
    SetWindowPos(parent, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(parent, nullptr, TRUE);
}

ControlSet::Control* ControlSet::Find(int id) noexcept {
    auto it = std::find_if(controls_.begin(), controls_.end(), [id](const Control& c) { return c.spec.id == id; });
    return it == controls_.end() ? nullptr : &*it;
}

const ControlSet::Control* ControlSet::Find(int id) const noexcept { return const_cast<ControlSet*>(this)->Find(id); }

HWND ControlSet::Get(int id) const noexcept {
    const Control* control = Find(id);
    return control ? control->hwnd : nullptr;
}

std::wstring ControlSet::Text(int id) const { return WindowText(Get(id)); }

void ControlSet::SetText(int id, const std::wstring& text) noexcept {
    // The same text again changes nothing on the screen: nothing is drawn again.
    if (Text(id) == text) return;
    SetWindowTextW(Get(id), text.c_str());
}

bool ControlSet::Checked(int id) const noexcept { return SendMessageW(Get(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void ControlSet::SetChecked(int id, bool checked) noexcept {
    SendMessageW(Get(id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void ControlSet::Enable(int id, bool enabled) noexcept { EnableWindow(Get(id), enabled); }

std::optional<COLORREF> ControlSet::BackColor(int id) const noexcept {
    const Control* control = Find(id);
    return control ? control->spec.backColor : std::nullopt;
}

void ControlSet::SetBackColor(int id, COLORREF color) noexcept {
    Control* control = Find(id);
    if (!control || (control->brush && control->spec.backColor == color)) return;
    control->spec.backColor = color;
    control->brush.reset(CreateSolidBrush(color));
    InvalidateRect(control->hwnd, nullptr, TRUE);
}

HBRUSH ControlSet::OnCtlColor(HDC dc, HWND control) noexcept {
    auto it =
        std::find_if(controls_.begin(), controls_.end(), [control](const Control& c) { return c.hwnd == control; });
    if (it == controls_.end() || !it->brush) return nullptr;
    SetBkColor(dc, *it->spec.backColor);
    SetTextColor(dc, it->spec.textColor.value_or(GetSysColor(COLOR_WINDOWTEXT)));
    return it->brush.get();
}

std::optional<LRESULT> ControlSet::OnNotify(const NMHDR& header) noexcept {
    if (header.code != NM_CUSTOMDRAW) return std::nullopt;
    const Control* control = Find(static_cast<int>(header.idFrom));
    if (!control || control->hwnd != header.hwndFrom || (control->spec.style & BS_MULTILINE) == 0 ||
        (control->spec.style & BS_TYPEMASK) != BS_PUSHBUTTON) {
        return std::nullopt;
    }
    const auto& draw = reinterpret_cast<const NMCUSTOMDRAW&>(header);
    if (draw.dwDrawStage != CDDS_PREPAINT) return CDRF_DODEFAULT;
    DrawWrappedCaption(draw);
    return CDRF_SKIPDEFAULT;
}

// A wrapping push button's caption, drawn by this set. Themed buttons lay a wrapping
// caption out in a rectangle narrower than the button's face (under Wine one word a line,
// so a third line falls off): the caption wraps here within the face, less a small margin,
// and is centred in it. The button has drawn its face already.
void ControlSet::DrawWrappedCaption(const NMCUSTOMDRAW& draw) noexcept {
    const HWND button = draw.hdr.hwndFrom;
    const UINT dpi = WindowDpi(button);
    RECT face = draw.rc;
    InflateRect(&face, -MulDiv(4, static_cast<int>(dpi), 96), -MulDiv(3, static_cast<int>(dpi), 96));
    const std::wstring caption = WindowText(button);
    const UINT format = DT_CENTER | DT_WORDBREAK | DT_EDITCONTROL;
    const HGDIOBJ font = SelectObject(draw.hdc, reinterpret_cast<HGDIOBJ>(SendMessageW(button, WM_GETFONT, 0, 0)));
    RECT text = face;
    const int height = DrawTextW(draw.hdc, caption.c_str(), -1, &text, format | DT_CALCRECT);
    text = face;
    text.top += std::max(0, static_cast<int>(face.bottom - face.top) - height) / 2;
    SetBkMode(draw.hdc, TRANSPARENT);
    SetTextColor(draw.hdc, GetSysColor((draw.uItemState & CDIS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    const LRESULT hidden = SendMessageW(button, WM_QUERYUISTATE, 0, 0);  // cues the keyboard has not shown yet
    DrawTextW(draw.hdc, caption.c_str(), -1, &text, format | ((hidden & UISF_HIDEACCEL) ? DT_HIDEPREFIX : 0));
    SelectObject(draw.hdc, font);
    if ((draw.uItemState & CDIS_FOCUS) && !(hidden & UISF_HIDEFOCUS)) {
        RECT focus = draw.rc;
        InflateRect(&focus, -MulDiv(3, static_cast<int>(dpi), 96), -MulDiv(3, static_cast<int>(dpi), 96));
        DrawFocusRect(draw.hdc, &focus);
    }
}

}  // namespace kvztl
