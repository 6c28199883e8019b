// A wait on a handle (a process, an event) that posts a message to a window when the handle
// is signalled, once, from the system's thread pool: the window learns of it at once without
// blocking or polling. Unregistered, waiting for a callback under way, when it goes.
#pragma once

#include <windows.h>

#include <memory>

namespace kvztl {

class SignalWait {
public:
    // Posts `message` with `wparam` to `window` when `handle` is signalled; the caller keeps
    // `handle` open for the wait's life. Null when the system refused the wait.
    static std::unique_ptr<SignalWait> Post(HANDLE handle, HWND window, UINT message, WPARAM wparam = 0);
    ~SignalWait();
    SignalWait(const SignalWait&) = delete;
    SignalWait& operator=(const SignalWait&) = delete;

private:
    SignalWait(HWND window, UINT message, WPARAM wparam) noexcept
        : window_(window), message_(message), wparam_(wparam) {}
    static void CALLBACK Signalled(void* context, BOOLEAN timedOut) noexcept;

    HWND window_;
    UINT message_;
    WPARAM wparam_;
    HANDLE wait_ = nullptr;
};

}  // namespace kvztl
