// A window that is never shown, there only for its messages: those that other threads, waits
// and the system post to an object that has no window of its own to show. Its handler runs
// behind the same boundary as a form's: no exception crosses the window procedure. Only the
// object that owns it ends it: a close asked from outside is ignored.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>

namespace kvztl {

class MessageWindow {
public:
    // Answers a message, or leaves it to the system (nothing).
    using Handler = std::function<std::optional<LRESULT>(UINT message, WPARAM wparam, LPARAM lparam)>;

    // A message-only window; or, where `hearsBroadcasts`, a hidden top-level one, which also
    // hears what is sent to every top-level window (the taskbar's "TaskbarCreated"). Null if
    // the system refused.
    static std::unique_ptr<MessageWindow> Create(const wchar_t* className, Handler handler,
                                                 bool hearsBroadcasts = false);
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    HWND hwnd() const noexcept { return hwnd_; }

private:
    MessageWindow(const wchar_t* className, Handler handler) : className_(className), handler_(std::move(handler)) {}
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept;

    const wchar_t* className_;
    Handler handler_;
    HWND hwnd_ = nullptr;
};

}  // namespace kvztl
