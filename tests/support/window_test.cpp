#include "support/window_test.h"

namespace kvztl::test {

StatusWindow::Services WindowTest::StandIns() {
    return {
        .store = test.store(),
        .tracker =
            {
                .store = test.store(),
                // A running tracker's id that no process has: nothing to hold.
                .probe =
                    [this](std::wstring_view, const ProcessFilter&) {
                        return trackerRunning ? std::vector<DWORD>{0xFFFFFFF0} : std::vector<DWORD>{};
                    },
                .launcher = Launcher(std::ref(shell)),
                .direct = {},   // always the elevated command, through the recording shell
                .service = {},  // a start is judged by the probe alone
                .serviceLocator = std::make_shared<TrackerServiceLocator>(),
                .serviceAccess = {},  // no service's access list to read
                .record = {},         // nothing recorded
            },
        .openSettings = {},
        .openHistory = {},
        .closing = {},
        .closed = {},
        .alert = [this](HWND) { ++alerts; },
        .iconShown = {},
        .showIcon = {},
    };
}

Form::Ptr<StatusWindow> WindowTest::OpenStatus(const std::function<void(StatusWindow::Services&)>& adjust) {
    StatusWindow::Services services = StandIns();
    if (adjust) adjust(services);
    auto window = StatusWindow::Create(std::move(services));
    if (window) window->Show();
    return window;
}

void WindowTest::Poll(StatusWindow& window) {
    SendMessageW(window.hwnd(), WM_TIMER, StatusWindow::BNBT_SERVICE_CHECKER_TIMER, 0);
}

bool WindowTest::Settle(const StatusWindow& window) {
    return PumpUntil([&] { return !window.LaunchesUnderWay(); }, 10s);
}

Form::Ptr<SettingsWindow> WindowTest::OpenSettings(StatusWindow& status) {
    auto window = SettingsWindow::Create(SettingsHostFor(status), test.store());
    if (window) window->Show();
    return window;
}

}  // namespace kvztl::test
