#include "support/windows.h"

namespace kvztl::test {

Form::Ptr<StatusWindow> WindowTest::OpenStatus(ProcessProbe probe) {
    if (!probe) probe = [this](std::wstring_view) { return trackerRunning; };
    auto window = StatusWindow::Create({test.store(), std::move(probe), launcher, {}, {}, [this](HWND) { ++alerts; }});
    if (window) window->Show();
    return window;
}

void WindowTest::Poll(StatusWindow& window) {
    SendMessageW(window.hwnd(), WM_TIMER, StatusWindow::BNBT_SERVICE_CHECKER_TIMER, 0);
}

Form::Ptr<SettingsWindow> WindowTest::OpenSettings(StatusWindow& status) {
    auto window = SettingsWindow::Create(SettingsHostFor(status), test.store(), launcher);
    if (window) window->Show();
    return window;
}

}  // namespace kvztl::test
