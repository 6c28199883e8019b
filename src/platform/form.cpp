#include "platform/form.h"

#include <algorithm>

#include "platform/debug_trace.h"
#include "platform/signal_wait.h"
#include "platform/window.h"

namespace kvztl {

void Form::Destroyer::operator()(Form* form) const noexcept {
    // Destroying sends WM_NCDESTROY, which lets go of the link to this object.
    if (form->hwnd_) DestroyWindow(form->hwnd_);
    delete form;
}

bool Form::CreateAndLoad(const Design& design, HWND owner) noexcept {
    RegisterFormClass(design.className, &Form::Procedure);
    className_ = design.className;
    CreateWindowExW(design.exStyle, design.className, design.caption, design.style, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, GetModuleHandleW(nullptr), this);
    if (!hwnd_) {
        Trace(L"the window could not be created", GetLastError());
        return false;
    }
    if (!controls_.Create(hwnd_, design.controls, WindowDpi(hwnd_))) {
        Trace(L"its controls could not be created", GetLastError());
        return false;
    }
    try {
        Form_Load();
    } catch (...) {
        Trace(L"loading failed");
        return false;
    }
    loaded_ = true;
    return true;
}

void Form::Trace(const wchar_t* event, std::optional<DWORD> error) const noexcept {
    TraceWindowEvent(className_, event, error);
}

void Form::Show() noexcept {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    const HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    if (first && (GetWindowLongPtrW(first, GWL_STYLE) & WS_TABSTOP)) SetFocus(first);
}

void Form::RunModal(HWND owner) {
    modalOwner_ = owner;
    EnableWindow(owner, FALSE);
    Show();
    MSG msg{};
    bool quit = false;
    while (hwnd_) {
        if (!NextMessage(msg)) {
            quit = true;
            break;
        }
        // TAB, the arrows and SPACE move between and press the controls, as in a dialog.
        if (!IsDialogMessageW(hwnd_, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    EnableWindow(owner, TRUE);
    modalOwner_ = nullptr;
    // The program is ending: the window closes (and stores) as its pointer goes, and the
    // outer loop must see the request too.
    if (quit) PostQuitMessage(static_cast<int>(msg.wParam));
}

std::vector<HWND>& Form::DialogKeyWindows() noexcept {
    static std::vector<HWND> windows;
    return windows;
}

void Form::AcceptDialogKeys() { DialogKeyWindows().push_back(hwnd_); }

bool Form::TranslateDialogKeys(MSG& msg) noexcept {
    const HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    const std::vector<HWND>& windows = DialogKeyWindows();
    if (!root || std::find(windows.begin(), windows.end(), root) == windows.end()) return false;
    return IsDialogMessageW(root, &msg) != FALSE;
}

void Form::ShowError(const std::optional<std::wstring>& text) const {
    if (text) ShowErrorMessage(hwnd_, *text);
}

void Form::Unload() {
    // Once, whichever comes first of the session's end and the window's.
    if (!loaded_) return;
    loaded_ = false;
    Form_Unload();
}

std::optional<LRESULT> Form::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wparam), HIWORD(wparam));
        return 0;
    case WM_TIMER:
        OnTimer(wparam);
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
        if (HBRUSH brush = controls_.OnCtlColor(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam))) {
            return reinterpret_cast<LRESULT>(brush);
        }
        return std::nullopt;
    case WM_NOTIFY:
        if (std::optional<LRESULT> drawn = controls_.OnNotify(*reinterpret_cast<const NMHDR*>(lparam))) return drawn;
        return OnMessage(message, wparam, lparam);
    case WM_PAINT: {
        const PaintScope paint(hwnd_);
        OnPaint(paint.dc());
        return 0;
    }
    case WM_DPICHANGED:
        controls_.OnDpiChanged(hwnd_, wparam, lparam);
        OnScaleChanged();
        return 0;
    case WM_ACTIVATE:
        // Coming back to the window brings the focus back to the control that had it.
        if (LOWORD(wparam) == WA_INACTIVE) {
            focus_ = GetFocus();
        } else if (focus_ && IsChild(hwnd_, focus_)) {
            SetFocus(focus_);
            return 0;
        }
        return std::nullopt;
    case WM_CLOSE:
        // The owner takes input again before this window goes, so it is the one activated.
        if (modalOwner_) EnableWindow(modalOwner_, TRUE);
        Form_QueryUnload();
        return std::nullopt;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The process may end as soon as this returns: store what closing would, and show
        // nothing that would hold up the logoff. (An end that was called off clears it.)
        SetSessionEnding(wparam != 0);
        if (!wparam) return 0;
        Form_QueryUnload();
        Unload();
        return 0;
    case WM_DESTROY:
        Unload();
        return 0;
    case WM_NCDESTROY:
        std::erase(DialogKeyWindows(), hwnd_);
        OnDestroyed();
        return std::nullopt;
    case WM_INITMENUPOPUP:
        // The window menu is known by its handle: the flag in lparam is not always set (Wine
        // leaves it clear for a right-click on the title bar and for Alt+Space).
        if (HIWORD(lparam) || reinterpret_cast<HMENU>(wparam) == GetSystemMenu(hwnd_, FALSE)) {
            OnSystemMenuOpening(reinterpret_cast<HMENU>(wparam));
        }
        return std::nullopt;
    case WM_SYSCOMMAND:
        if (OnSystemCommand(static_cast<UINT>(wparam & 0xFFF0))) return 0;
        return std::nullopt;
    }
    return OnMessage(message, wparam, lparam);
}

LRESULT CALLBACK Form::Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    Form* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(hwnd, message, wparam, lparam);
    std::optional<LRESULT> result;
    try {
        result = self->Handle(message, wparam, lparam);
    } catch (...) {
        // Nothing may unwind through the window procedure: the event is dropped, and said so.
        TraceDroppedMessage(self->className_, message);
    }
    if (!result) result = DefWindowProcW(hwnd, message, wparam, lparam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
    }
    return *result;
}

}  // namespace kvztl
