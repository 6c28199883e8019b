#include "platform/signal_wait.h"

#include <algorithm>
#include <vector>

namespace kvztl {
namespace {

// This thread's waits, in the order of their handles.
thread_local std::vector<SignalWait*> t_waits;

// MsgWaitForMultipleObjectsEx waits on one handle fewer than the system's limit.
constexpr size_t kMostWaits = MAXIMUM_WAIT_OBJECTS - 1;

// Tells the window once, and waits no more.
void ServeSignalled(DWORD index) noexcept {
    if (index >= t_waits.size()) return;
    SignalWait* wait = t_waits[index];
    t_waits.erase(t_waits.begin() + index);
    wait->Signalled();
}

}  // namespace

std::unique_ptr<SignalWait> SignalWait::Post(HANDLE handle, HWND window, UINT message, WPARAM wparam) {
    if (t_waits.size() >= kMostWaits) return nullptr;
    std::unique_ptr<SignalWait> wait(new SignalWait(handle, window, message, wparam));
    t_waits.push_back(wait.get());
    return wait;
}

SignalWait::~SignalWait() { std::erase(t_waits, this); }

void WaitForWork(DWORD milliseconds) noexcept {
    HANDLE handles[kMostWaits];
    const auto count = static_cast<DWORD>(t_waits.size());
    std::transform(t_waits.begin(), t_waits.end(), handles, [](const SignalWait* wait) { return wait->handle(); });
    const DWORD result =
        MsgWaitForMultipleObjectsEx(count, handles, milliseconds, QS_ALLINPUT, MWMO_ALERTABLE | MWMO_INPUTAVAILABLE);
    if (result < WAIT_OBJECT_0 + count) ServeSignalled(result - WAIT_OBJECT_0);
}

bool NextMessage(MSG& msg) {
    // The wait comes first: a message already there ends it at once (MWMO_INPUTAVAILABLE), so
    // the queue is read once for each message, as GetMessage reads it.
    do {
        WaitForWork(INFINITE);
    } while (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    return msg.message != WM_QUIT;
}

}  // namespace kvztl
