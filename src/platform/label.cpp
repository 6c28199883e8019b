#include "platform/label.h"

#include <string>

#include "platform/accessibility.h"
#include "platform/handles.h"
#include "platform/window.h"

namespace kvztl {
namespace {

void Notify(HWND label, WORD code) {
    SendMessageW(GetParent(label), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(label), code), reinterpret_cast<LPARAM>(label));
}

void Paint(HWND label) {
    PaintScope paint(label);
    RECT client{};
    GetClientRect(label, &client);
    const SelectionScope font(paint.dc(), reinterpret_cast<HFONT>(GetWindowLongPtrW(label, 0)));
    auto* ground = reinterpret_cast<HBRUSH>(SendMessageW(
        GetParent(label), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(paint.dc()), reinterpret_cast<LPARAM>(label)));
    FillRect(paint.dc(), &client, ground ? ground : GetSysColorBrush(COLOR_BTNFACE));
    const std::wstring text = WindowText(label);
    SetBkMode(paint.dc(), TRANSPARENT);
    DrawTextW(paint.dc(), text.c_str(), static_cast<int>(text.size()), &client, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
}

LRESULT CALLBACK LabelProcedure(HWND label, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    switch (message) {
    case WM_PAINT:
        Paint(label);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // painted whole in WM_PAINT
    case WM_SETFONT:
        SetWindowLongPtrW(label, 0, static_cast<LONG_PTR>(wparam));
        if (LOWORD(lparam)) InvalidateRect(label, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return GetWindowLongPtrW(label, 0);
    case WM_SETTEXT: {
        // The same caption again changes nothing, and a screen reader hears of real changes
        // only.
        const auto* text = reinterpret_cast<const wchar_t*>(lparam);
        if (WindowText(label) == (text ? text : L"")) return TRUE;
        const LRESULT result = DefWindowProcW(label, message, wparam, lparam);
        InvalidateRect(label, nullptr, TRUE);
        AnnounceNameChange(label);
        return result;
    }
    case WM_GETOBJECT:
        if (static_cast<LONG>(lparam) == OBJID_CLIENT) {
            if (const LRESULT answer = AnswerAsStaticText(label, wparam)) return answer;
        }
        break;
    case WM_NCDESTROY:
        ForgetAccessibleDescription(label);
        break;
    case WM_LBUTTONDOWN:
        Notify(label, STN_CLICKED);
        return 0;
    case WM_LBUTTONDBLCLK:
        Notify(label, STN_DBLCLK);
        return 0;
    }
    return DefWindowProcW(label, message, wparam, lparam);
}

}  // namespace

void RegisterLabelClass() noexcept {
    WNDCLASSEXW wc{};
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = LabelProcedure;
    wc.cbWndExtra = sizeof(LONG_PTR);  // the font
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kLabelClass;
    RegisterClassOnce(wc);
}

}  // namespace kvztl
