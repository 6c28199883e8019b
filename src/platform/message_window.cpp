#include "platform/message_window.h"

#include "platform/debug_trace.h"
#include "platform/window.h"

namespace kvztl {

std::unique_ptr<MessageWindow> MessageWindow::Create(const wchar_t* className, Handler handler, bool hearsBroadcasts) {
    WNDCLASSEXW wc{};
    wc.lpfnWndProc = &MessageWindow::Procedure;
    wc.lpszClassName = className;
    RegisterClassOnce(wc);
    std::unique_ptr<MessageWindow> window(new MessageWindow(className, std::move(handler)));
    // A tool window, so that a hidden top-level one never shows in the taskbar or Alt+Tab.
    CreateWindowExW(hearsBroadcasts ? WS_EX_TOOLWINDOW : 0, className, L"", WS_POPUP, 0, 0, 0, 0,
                    hearsBroadcasts ? nullptr : HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), window.get());
    if (!window->hwnd_) {
        TraceWindowEvent(className, L"the window could not be created", GetLastError());
        return nullptr;
    }
    return window;
}

MessageWindow::~MessageWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
}

LRESULT CALLBACK MessageWindow::Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    MessageWindow* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<MessageWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (message == WM_NCDESTROY && self) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self = nullptr;
    }
    std::optional<LRESULT> result;
    if (self && self->handler_) {
        try {
            result = self->handler_(message, wparam, lparam);
        } catch (...) {
            // Nothing may unwind through the window procedure: the message is dropped, and said so.
            TraceDroppedMessage(self->className_, message);
        }
    }
    if (result) return *result;
    // Only its owner ends it: a close (Alt+F4 while it is in front, a polite taskkill) would
    // leave the object without its window.
    if (message == WM_CLOSE) return 0;
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace kvztl
