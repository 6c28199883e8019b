#include "platform/signal_wait.h"

namespace kvztl {

std::unique_ptr<SignalWait> SignalWait::Post(HANDLE handle, HWND window, UINT message, WPARAM wparam) {
    std::unique_ptr<SignalWait> wait(new SignalWait(window, message, wparam));
    if (!RegisterWaitForSingleObject(&wait->wait_, handle, &SignalWait::Signalled, wait.get(), INFINITE,
                                     WT_EXECUTEONLYONCE)) {
        return nullptr;
    }
    return wait;
}

SignalWait::~SignalWait() {
    if (wait_) UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE);
}

void CALLBACK SignalWait::Signalled(void* context, BOOLEAN) noexcept {
    const auto* wait = static_cast<const SignalWait*>(context);
    PostMessageW(wait->window_, wait->message_, wait->wparam_, 0);
}

}  // namespace kvztl
