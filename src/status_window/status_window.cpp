#include "status_window/status_window.h"

#include "platform/label.h"
#include "platform/placement.h"
#include "store/settings_keys.h"
#include "store/window_place.h"

namespace kvztl {
namespace {

constexpr UINT kPollMilliseconds = 500;
constexpr UINT kKeeperMilliseconds = 1000;

constexpr DWORD kLabelStyle = WS_BORDER | WS_CLIPSIBLINGS;
constexpr FontSpec kLabelFont = LabelFont(9.75);

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
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            // The process may end as soon as this returns: store what closing would.
            if (wparam) Form_Unload();
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
    PlaceWindowTwips(hwnd(), LoadPlace(services_.store, settings::kStatusPlacePrefix, settings::kStatusPlaceDefault));
    SetTimer(hwnd(), BNBT_SERVICE_CHECKER_TIMER, kPollMilliseconds, nullptr);
    SetAlwaysOnTop(services_.store.Double(settings::kAlwaysOnTop, settings::kAlwaysOnTopDefault) == 1.0);
    loaded_ = true;
}

void StatusWindow::Form_Unload() {
    if (loaded_) SavePlace(services_.store, settings::kStatusPlacePrefix, WindowPlaceTwips(hwnd()));
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
    const HWND foreground = GetForegroundWindow();
    if (foreground == hwnd()) return;
    // The z-order only: activation and the keyboard focus stay where the user has them. The
    // call on another thread's window is posted, so a hung program cannot hold up the strip.
    constexpr UINT kZOrderOnly = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE;
    const bool otherThread = GetWindowThreadProcessId(foreground, nullptr) != GetCurrentThreadId();
    SetWindowPos(foreground, HWND_NOTOPMOST, 0, 0, 0, 0, kZOrderOnly | (otherThread ? SWP_ASYNCWINDOWPOS : 0));
    SetWindowPos(hwnd(), HWND_TOPMOST, 0, 0, 0, 0, kZOrderOnly);
}

void StatusWindow::BNBT_SERVICE_STATUS_LABEL_DblClick() {
    // The colour is the state, read once: green stops, red starts, the colour before the
    // first poll does nothing. (A failed launch's message box lets polls run meanwhile.)
    const COLORREF color = StatusColor();
    if (color != kGreen && color != kRed) return;
    const std::wstring folder = services_.store.Text(settings::kTrackerFolder, settings::kTrackerFolderDefault);
    services_.launcher.RunTrackerProgram(hwnd(), L"bnbt.exe", color == kGreen ? L"-stop" : L"-start", folder);
}

void StatusWindow::KORVANE_ZTL_TITLE_DblClick() {
    if (services_.openSettings) services_.openSettings(*this);
}

}  // namespace kvztl
