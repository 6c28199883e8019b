#include "status_window/status_window.h"

#include "platform/placement.h"
#include "store/window_place.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using S = StatusWindow;

constexpr UINT kPollMilliseconds = 500;
constexpr UINT kKeeperMilliseconds = 1000;

const ControlSpec kControls[] = {
    Label(S::KORVANE_ZTL_TITLE, L"BNBT:", {0, 0, 855, 360}, {.font = LabelFont(9.75), .back = kBlack, .text = kGreen}),
    Label(S::BNBT_SERVICE_STATUS_LABEL, L"", {825, 0, 1350, 360}, {.font = LabelFont(9.75), .back = kCyan}),
};

}  // namespace

Form::Ptr<StatusWindow> StatusWindow::Create(Services services) {
    auto window = Form::Create(
        new StatusWindow(std::move(services)),
        {kClassName, kProgramName, WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, WS_EX_TOOLWINDOW, kControls}, nullptr);
    // Where the two overlap, the indicator lies above the title.
    if (window) {
        SetWindowPos(window->controls().Get(BNBT_SERVICE_STATUS_LABEL), HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    return window;
}

void StatusWindow::OnTimer(UINT_PTR id) {
    switch (id) {
    case BNBT_SERVICE_CHECKER_TIMER:
        return BNBT_SERVICE_CHECKER_TIMER_Timer();
    case AlwaysOnTopTimer:
        return AlwaysOnTopTimer_Timer();
    }
}

void StatusWindow::OnCommand(int id, int code) {
    if (code != STN_DBLCLK) return;
    switch (id) {
    case BNBT_SERVICE_STATUS_LABEL:
        return BNBT_SERVICE_STATUS_LABEL_DblClick();
    case KORVANE_ZTL_TITLE:
        return KORVANE_ZTL_TITLE_DblClick();
    }
}

void StatusWindow::OnDestroyed() {
    if (services_.closed) services_.closed();
}

void StatusWindow::Form_Load() {
    PlaceWindowTwips(hwnd(), LoadPlace(services_.store, settings::kStatusPlacePrefix, settings::kStatusPlaceDefault));
    SetTimer(hwnd(), BNBT_SERVICE_CHECKER_TIMER, kPollMilliseconds, nullptr);
    SetKeeperEnabled(services_.store.Number(settings::kAlwaysOnTop).value_or(settings::kAlwaysOnTopDefault) == 1.0);
}

void StatusWindow::Form_Unload() { SavePlace(services_.store, settings::kStatusPlacePrefix, WindowPlaceTwips(hwnd())); }

void StatusWindow::BNBT_SERVICE_CHECKER_TIMER_Timer() {
    const bool running = services_.probe(tracker::kProcessImage);
    controls().SetBackColor(BNBT_SERVICE_STATUS_LABEL, running ? status::kRunningColor : status::kStoppedColor);
    controls().SetText(BNBT_SERVICE_STATUS_LABEL, running ? status::kRunning : status::kStopped);
}

void StatusWindow::SetKeeperEnabled(bool enabled) noexcept {
    keeperEnabled_ = enabled;
    if (enabled) {
        SetTimer(hwnd(), AlwaysOnTopTimer, kKeeperMilliseconds, nullptr);
    } else {
        KillTimer(hwnd(), AlwaysOnTopTimer);
    }
}

void StatusWindow::AlwaysOnTopTimer_Timer() noexcept {
    const HWND foreground = GetForegroundWindow();
    if (foreground == hwnd()) return;
    UnpinFromTop(foreground);
    PinOnTop(hwnd());
}

void StatusWindow::BNBT_SERVICE_STATUS_LABEL_DblClick() {
    // The colour is the state, read once: green stops, red starts, the colour before the
    // first poll does nothing. (A failed launch's message lets polls run meanwhile.)
    const COLORREF color = StatusColor();
    if (color != status::kRunningColor && color != status::kStoppedColor) return;
    const std::wstring folder =
        services_.store.Text(settings::kTrackerFolder).value_or(settings::kTrackerFolderDefault);
    const wchar_t* command = color == status::kRunningColor ? tracker::kStop : tracker::kStart;
    ShowError(LaunchFailureText(services_.launcher.RunTrackerProgram(hwnd(), tracker::kProgram, command, folder)));
}

void StatusWindow::KORVANE_ZTL_TITLE_DblClick() {
    if (services_.openSettings) services_.openSettings(*this);
}

}  // namespace kvztl
