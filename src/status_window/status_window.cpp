#include "status_window/status_window.h"

#include "platform/label.h"
#include "platform/placement.h"
#include "store/window_place.h"

namespace kvztl {
namespace {

constexpr TwipsRect kDefaultPlace{1000, 1000, 2280, 690};
constexpr const wchar_t* kPlacePrefix = L"Main";
constexpr UINT kPollMilliseconds = 500;
constexpr UINT kKeeperMilliseconds = 1000;

constexpr DWORD kLabelStyle = WS_BORDER | WS_CLIPSIBLINGS;
constexpr FontSpec kLabelFont{kLabelFace, 9.75, true};

// Where the two overlap the indicator lies above the title (raised after creation).
const ControlSpec kControls[] = {
    {StatusWindow::KORVANE_ZTL_TITLE, kLabelClass, L"BNBT:", kLabelStyle, 0, {0, 0, 855, 360}, kLabelFont, kBlack,
     kGreen},
    {StatusWindow::BNBT_SERVICE_STATUS_LABEL, kLabelClass, L"", kLabelStyle, 0, {825, 0, 1350, 360}, kLabelFont,
     kCyan, std::nullopt},
};

}  // namespace

StatusWindow::StatusWindow(Services services) : services_(std::move(services)) {}

std::unique_ptr<StatusWindow> StatusWindow::Create(Services services) {
    RegisterWindowClass(kClassName);
    std::unique_ptr<StatusWindow> window(new StatusWindow(std::move(services)));
    if (!window->CreateHwnd(kClassName, L"KV-ZTL", WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, WS_EX_TOOLWINDOW,
                            nullptr)) {
        return nullptr;
    }
    if (!window->controls_.Create(window->hwnd(), kControls, WindowDpi(window->hwnd()))) return nullptr;
    SetWindowPos(window->controls_.Get(BNBT_SERVICE_STATUS_LABEL), HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    window->Form_Load();
    return window;
}

LRESULT StatusWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    try {
        switch (message) {
        case WM_TIMER:
            if (wparam == BNBT_SERVICE_CHECKER_TIMER) BNBT_SERVICE_CHECKER_TIMER_Timer();
            if (wparam == AlwaysOnTopTimer) AlwaysOnTopTimer_Timer();
            return 0;
        case WM_COMMAND:
            if (HIWORD(wparam) == STN_DBLCLK && LOWORD(wparam) == BNBT_SERVICE_STATUS_LABEL) {
                BNBT_SERVICE_STATUS_LABEL_DblClick();
            }
            if (HIWORD(wparam) == STN_DBLCLK && LOWORD(wparam) == KORVANE_ZTL_TITLE) KORVANE_ZTL_TITLE_DblClick();
            return 0;
        case WM_CTLCOLORSTATIC:
            if (HBRUSH brush = controls_.OnCtlColor(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam))) {
                return reinterpret_cast<LRESULT>(brush);
            }
            break;
        case WM_DPICHANGED:
            controls_.OnDpiChanged(hwnd(), wparam, lparam);
            return 0;
        case WM_DESTROY:
            Form_Unload();
            return 0;
        case WM_NCDESTROY:
            if (services_.closed) services_.closed();
            break;
        }
    } catch (...) {
        // Nothing may unwind through the window procedure; the event is dropped.
    }
    return Default(message, wparam, lparam);
}

void StatusWindow::Form_Load() {
    PlaceWindowTwips(hwnd(), LoadPlace(services_.store, kPlacePrefix, kDefaultPlace));
    SetTimer(hwnd(), BNBT_SERVICE_CHECKER_TIMER, kPollMilliseconds, nullptr);
    SetAlwaysOnTop(services_.store.Double(L"AlwaysOnTopTimer_TICKBOX", 0) == 1.0);
    loaded_ = true;
}

void StatusWindow::Form_Unload() {
    if (loaded_) SavePlace(services_.store, kPlacePrefix, WindowPlaceTwips(hwnd()));
}

void StatusWindow::BNBT_SERVICE_CHECKER_TIMER_Timer() {
    const bool running = services_.probe(kTrackerImage);
    controls_.SetBackColor(BNBT_SERVICE_STATUS_LABEL, running ? kGreen : kRed);
    controls_.SetText(BNBT_SERVICE_STATUS_LABEL, running ? L"RUNNING" : L"STOPPED");
}

void StatusWindow::SetAlwaysOnTop(bool enabled) noexcept {
    keeperEnabled_ = enabled;
    if (enabled) {
        SetTimer(hwnd(), AlwaysOnTopTimer, kKeeperMilliseconds, nullptr);
    } else {
        KillTimer(hwnd(), AlwaysOnTopTimer);
    }
}

void StatusWindow::AlwaysOnTopTimer_Timer() noexcept {
    if (GetForegroundWindow() == hwnd()) return;
    SetWindowPos(GetForegroundWindow(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    SetWindowPos(hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
}

void StatusWindow::BNBT_SERVICE_STATUS_LABEL_DblClick() {
    // The colour is the state: green stops, red starts, the colour before the first poll
    // does nothing.
    if (StatusColor() == kGreen) services_.launcher.Launch(hwnd(), L"bnbt.exe", L"-stop");
    if (StatusColor() == kRed) services_.launcher.Launch(hwnd(), L"bnbt.exe", L"-start");
}

void StatusWindow::KORVANE_ZTL_TITLE_DblClick() {
    if (services_.openSettings) services_.openSettings(*this);
}

}  // namespace kvztl
