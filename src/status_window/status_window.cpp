#include "status_window/status_window.h"

#include "platform/placement.h"
#include "platform/program_info.h"
#include "platform/system_message.h"
#include "platform/window.h"
#include "store/start_with_windows.h"
#include "store/window_place.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using S = StatusWindow;

constexpr UINT kPollMilliseconds = 500;
constexpr UINT kKeeperMilliseconds = 1000;

// Asked to stop by this program within this time before it stops, the tracker stopped as
// asked: no alert.
constexpr auto kStopAskedLately = std::chrono::seconds(30);

// The system menu's own items come after these; a null text is a separator.
struct MenuEntry {
    UINT id;
    const wchar_t* text;
};
constexpr MenuEntry kMenuEntries[] = {
    {S::StartTrackerItem, L"&Start tracker"},
    {S::StopTrackerItem, L"Sto&p tracker"},
    {S::SettingsItem, L"S&ettings..."},
    {0, nullptr},
    {S::StartWithWindowsItem, L"Start with &Windows"},
    {S::AlertItem, L"&Alert when the tracker stops"},
    {0, nullptr},
    {S::AboutItem, L"A&bout KV-ZTL"},
    {0, nullptr},
};

StartWithWindows ThisProgramAtSignIn() { return StartWithWindows(kProgramName, ProgramPath()); }

// Posted by the launching threads when a launch has come back.
constexpr UINT kLaunchesFinishedMessage = WM_APP + 1;

UINT BringForwardMessage() noexcept {
    static const UINT message = RegisterWindowMessageW(kBringForwardMessage);
    return message;
}

const ControlSpec kControls[] = {
    Label(S::KORVANE_ZTL_TITLE, L"BNBT:", {0, 0, 855, 360}, {.font = LabelFont(9.75), .back = kBlack, .text = kGreen}),
    Label(S::BNBT_SERVICE_STATUS_LABEL, L"", {825, 0, 1350, 360}, {.font = LabelFont(9.75), .back = kCyan}),
};

}  // namespace

Form::Ptr<StatusWindow> StatusWindow::Create(Services services) {
    auto window = Form::Create(
        new StatusWindow(std::move(services)),
        {kClassName, kProgramName, WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, WS_EX_TOOLWINDOW, kControls}, nullptr);
    if (!window) return nullptr;
    // Where the two overlap, the indicator lies above the title.
    SetWindowPos(window->controls().Get(BNBT_SERVICE_STATUS_LABEL), HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    window->AddMenuItems();
    // A second start of lower rights than this one (this one run elevated) may still ask
    // it to come forward.
    ChangeWindowMessageFilterEx(window->hwnd(), BringForwardMessage(), MSGFLT_ALLOW, nullptr);
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

void StatusWindow::OnSystemMenuOpening(HMENU menu) {
    const auto enable = [menu](UINT item, bool enabled) {
        EnableMenuItem(menu, item, enabled ? MF_ENABLED : MF_GRAYED);
    };
    const auto tick = [menu](UINT item, bool ticked) { CheckMenuItem(menu, item, ticked ? MF_CHECKED : MF_UNCHECKED); };
    // Start and stop as a double-click would do now; before the first poll, neither.
    enable(StartTrackerItem, StatusColor() == status::kStoppedColor);
    enable(StopTrackerItem, StatusColor() == status::kRunningColor);
    tick(StartWithWindowsItem, ThisProgramAtSignIn().Enabled());
    tick(AlertItem, AlertEnabled());
}

bool StatusWindow::OnSystemCommand(UINT id) {
    switch (id) {
    case StartTrackerItem:
        AskTracker(TrackerAction::Start);
        return true;
    case StopTrackerItem:
        AskTracker(TrackerAction::Stop);
        return true;
    case SettingsItem:
        KORVANE_ZTL_TITLE_DblClick();
        return true;
    case StartWithWindowsItem:
        OnStartWithWindowsChosen();
        return true;
    case AlertItem:
        OnAlertChosen();
        return true;
    case AboutItem:
        OnAboutChosen();
        return true;
    }
    return false;
}

std::optional<LRESULT> StatusWindow::OnMessage(UINT message, WPARAM, LPARAM) {
    if (message == kLaunchesFinishedMessage) {
        OnLaunchesFinished();
        return 0;
    }
    if (message != BringForwardMessage()) return std::nullopt;
    ComeForward();
    return 0;
}

void StatusWindow::Form_Load() {
    control_ = std::make_unique<TrackerControl>(hwnd(), kLaunchesFinishedMessage, services_.launcher);
    PlaceWindowTwips(hwnd(), LoadPlace(services_.store, settings::kStatusPlacePrefix, settings::kStatusPlaceDefault));
    SetTimer(hwnd(), BNBT_SERVICE_CHECKER_TIMER, kPollMilliseconds, nullptr);
    SetKeeperEnabled(services_.store.Number(settings::kAlwaysOnTop).value_or(settings::kAlwaysOnTopDefault) == 1.0);
}

void StatusWindow::Form_Unload() { SavePlace(services_.store, settings::kStatusPlacePrefix, WindowPlaceTwips(hwnd())); }

void StatusWindow::BNBT_SERVICE_CHECKER_TIMER_Timer() {
    const bool wasRunning = StatusCaption() == status::kRunning;
    const bool running = services_.probe(
        tracker::kProcessImage, [this](DWORD id, DWORD parentId) { return control_->IsCommand(id, parentId); });
    controls().SetBackColor(BNBT_SERVICE_STATUS_LABEL, running ? status::kRunningColor : status::kStoppedColor);
    controls().SetText(BNBT_SERVICE_STATUS_LABEL, running ? status::kRunning : status::kStopped);
    if (wasRunning && !running) OnTrackerStopped();
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
    if (color == status::kRunningColor) AskTracker(TrackerAction::Stop);
    if (color == status::kStoppedColor) AskTracker(TrackerAction::Start);
}

void StatusWindow::KORVANE_ZTL_TITLE_DblClick() {
    if (services_.openSettings) services_.openSettings(*this);
}

void StatusWindow::AddMenuItems() noexcept {
    const HMENU menu = GetSystemMenu(hwnd(), FALSE);
    UINT position = 0;
    for (const MenuEntry& entry : kMenuEntries) {
        const UINT kind = entry.text ? MF_STRING : MF_SEPARATOR;
        InsertMenuW(menu, position++, MF_BYPOSITION | kind, entry.id, entry.text);
    }
}

void StatusWindow::Run(TrackerAction action, HWND owner, const std::wstring& trackerFolder) {
    control_->Run(action, owner, trackerFolder);
}

void StatusWindow::AskTracker(TrackerAction action) {
    Run(action, hwnd(), services_.store.Text(settings::kTrackerFolder).value_or(settings::kTrackerFolderDefault));
}

void StatusWindow::OnLaunchesFinished() {
    for (const TrackerControl::Finished& done : control_->TakeFinished()) {
        const std::optional<std::wstring> text = LaunchFailureText(done.result);
        // Polls go on while a message is up; a failure meanwhile adds no second one.
        if (!text || telling_) continue;
        telling_ = true;
        ShowErrorMessage(IsWindow(done.owner) ? done.owner : hwnd(), *text);
        telling_ = false;
    }
}

void StatusWindow::OnStartWithWindowsChosen() {
    const StartWithWindows signIn = ThisProgramAtSignIn();
    const LSTATUS result = signIn.Enabled() ? signIn.Disable() : signIn.Enable();
    if (result != ERROR_SUCCESS) {
        ShowError(L"Could not change whether KV-ZTL starts with Windows: " + SystemMessage(static_cast<DWORD>(result)));
    }
}

void StatusWindow::OnAlertChosen() {
    services_.store.Save(settings::kAlertOnUnexpectedStop, AlertEnabled() ? L"0" : L"1");
}

void StatusWindow::OnAboutChosen() {
    const std::wstring text = std::wstring(kProgramName) + L" " + ProgramVersion() +
                              L"\n\nShows whether the BNBT tracker runs, and starts or stops it.\n\n" +
                              kHomepageAddress + L"\n\nStarts with Windows: " +
                              ThisProgramAtSignIn().Command().value_or(L"no");
    MessageBoxW(hwnd(), text.c_str(), L"About KV-ZTL", MB_OK | MB_ICONINFORMATION);
}

void StatusWindow::OnTrackerStopped() {
    if (!AlertEnabled() || !services_.alert) return;
    const auto asked = control_->LastStopAsked();
    if (asked && std::chrono::steady_clock::now() - *asked < kStopAskedLately) return;
    services_.alert(hwnd());
}

void StatusWindow::ComeForward() noexcept {
    if (IsIconic(hwnd()) || !IsWindowVisible(hwnd())) ShowWindow(hwnd(), SW_RESTORE);
    BringOnScreen(hwnd());
    SetForegroundWindow(hwnd());
}

bool StatusWindow::AlertEnabled() const {
    return services_.store.Number(settings::kAlertOnUnexpectedStop).value_or(settings::kAlertOnUnexpectedStopDefault) ==
           1.0;
}

}  // namespace kvztl
