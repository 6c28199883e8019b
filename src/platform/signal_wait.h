// Waits on handles (a process, say) that post a message to a window when the handle is
// signalled, once: the window learns of it at once without a poll. The thread that makes a
// wait serves it from its message loop (NextMessage or WaitForWork), which also waits
// alertably, so that the system's asynchronous calls (a service's status notices) reach it:
// no thread of its own is needed.
#pragma once

#include <windows.h>

#include <memory>

namespace kvztl {

class SignalWait {
public:
    // Posts `message` with `wparam` to `window` when `handle` is signalled; the caller keeps
    // `handle` open for the wait's life. Null when this thread already waits on as many
    // handles as the system allows (the poll then sees the change instead).
    static std::unique_ptr<SignalWait> Post(HANDLE handle, HWND window, UINT message, WPARAM wparam = 0);
    ~SignalWait();
    SignalWait(const SignalWait&) = delete;
    SignalWait& operator=(const SignalWait&) = delete;

    HANDLE handle() const noexcept { return handle_; }
    // Tells the window, once.
    void Signalled() noexcept { PostMessageW(window_, message_, wparam_, 0); }

private:
    SignalWait(HANDLE handle, HWND window, UINT message, WPARAM wparam) noexcept
        : handle_(handle), window_(window), message_(message), wparam_(wparam) {}

    HANDLE handle_;
    HWND window_;
    UINT message_;
    WPARAM wparam_;
};

// GetMessageW that also serves this thread's waits and asynchronous calls while it waits:
// false at WM_QUIT.
bool NextMessage(MSG& msg);

// Waits up to `milliseconds` for a message, a wait's handle or an asynchronous call, and
// serves the handle; the messages are left for the caller.
void WaitForWork(DWORD milliseconds) noexcept;

}  // namespace kvztl
