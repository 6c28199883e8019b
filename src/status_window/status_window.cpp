#include "status_window/status_window.h"

#include <stdexcept>
#include <utility>

#include "platform/accessibility.h"
#include "platform/placement.h"
#include "platform/program_info.h"
#include "platform/system_message.h"
#include "platform/tooltip.h"
#include "platform/window.h"
#include "store/choices.h"
#include "store/start_with_windows.h"
#include "store/window_place.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using S = StatusWindow;

constexpr UINT kKeeperMilliseconds = 1000;
// How late Windows may run each timer, to wake the processor once for several programs' timers.
constexpr ULONG kPollToleranceMilliseconds = 50;
constexpr ULONG kKeeperToleranceMilliseconds = 100;
constexpr UINT kBalloonMilliseconds = 6000;

// Posted to itself: a failure to tell, a question to ask, once the poll has ended.
constexpr UINT kTellMessage = WM_APP + 1;
constexpr UINT kAskToRestartMessage = WM_APP + 2;

// The menu's items, before the system's own; a null text is a separator.
struct MenuEntry {
    UINT id;
    const wchar_t* text;
};
constexpr MenuEntry kMenuEntries[] = {
    {S::StartTrackerItem, L"&Start tracker"},
    {S::StopTrackerItem, L"Sto&p tracker"},
    {S::RestartTrackerItem, L"Res&tart tracker"},
    {S::SettingsItem, L"S&ettings..."},
    {S::HistoryItem, L"Tracker &history..."},
    {0, nullptr},
    {S::StartWithWindowsItem, L"Start with &Windows"},
    {S::NotificationIconItem, L"Show in the &notification area"},
    {S::AlertItem, L"&Alert when the tracker stops"},
    {S::NoPromptItem, L"Start and stop without a pr&ompt..."},
    {0, nullptr},
    {S::AboutItem, L"A&bout KV-ZTL"},
    {0, nullptr},
};

StartWithWindows ThisProgramAtSignIn() { return StartWithWindows(kProgramName, ThisProgramPath()); }

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
    AddMenuItems(GetSystemMenu(window->hwnd(), FALSE));
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
    // Owned windows go with their owner; nothing is told to a window that has gone.
    (void)tip_.release();
    balloon_.Forget();
    if (tracker_) tracker_->Forget(this);
    if (services_.closed) services_.closed();
}

std::optional<LRESULT> StatusWindow::OnMessage(UINT message, WPARAM wparam, LPARAM /*lparam*/) {
    switch (message) {
    case kTellMessage:
        TellNow();
        return 0;
    case kAskToRestartMessage:
        AskToRestartNow();
        return 0;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wparam) == controls().Get(BNBT_SERVICE_STATUS_LABEL)) OnMouseOverIndicator();
        return std::nullopt;
    }
    if (message != BringForwardMessage()) return std::nullopt;
    ComeForward();
    return 0;
}

void StatusWindow::Form_Load() {
    tracker_ = TrackerModel::Create(services_.tracker);
    if (!tracker_) throw std::runtime_error("the tracker's model could not be made");
    tracker_->Observe(this);
    PlaceWindowTwips(hwnd(), LoadPlace(services_.store, settings::kStatusPlacePrefix, settings::kStatusPlaceDefault));
    SetCoalescableTimer(hwnd(), BNBT_SERVICE_CHECKER_TIMER, static_cast<UINT>(services_.pollInterval.count()), nullptr,
                        kPollToleranceMilliseconds);
    SetKeeperEnabled(services_.store.Number(settings::kAlwaysOnTop).value_or(settings::kAlwaysOnTopDefault) == 1.0);
}

void StatusWindow::Form_QueryUnload() {
    if (services_.closing) services_.closing();
}

void StatusWindow::Form_Unload() { SavePlace(services_.store, settings::kStatusPlacePrefix, WindowPlaceTwips(hwnd())); }

void StatusWindow::AlwaysOnTopTimer_Timer() noexcept {
    // A hidden strip takes nothing from anyone; nor does the strip rise above a hidden window
    // in front (the icon's, while its menu is open).
    const HWND foreground = GetForegroundWindow();
    if (!Shown() || foreground == hwnd() || (foreground && !IsWindowVisible(foreground))) return;
    UnpinFromTop(foreground);
    PinOnTop(hwnd());
}

void StatusWindow::BNBT_SERVICE_STATUS_LABEL_DblClick() {
    // The colour is the state, read once: green stops, red starts, the colour before the
    // first poll does nothing. (A failed launch's message lets polls run meanwhile.)
    const COLORREF color = StatusColor();
    if (color == status::kRunningColor) tracker_->Run(TrackerAction::Stop, hwnd());
    if (color == status::kStoppedColor) tracker_->Run(TrackerAction::Start, hwnd());
}

void StatusWindow::KORVANE_ZTL_TITLE_DblClick() {
    if (services_.openSettings) services_.openSettings(*this);
}

void StatusWindow::OnTrackerPolled(const TrackerModel& tracker) {
    // The indicator is the record of the last poll, written at every one.
    const bool running = tracker.State() == TrackerState::Running;
    controls().SetBackColor(BNBT_SERVICE_STATUS_LABEL, running ? status::kRunningColor : status::kStoppedColor);
    controls().SetText(BNBT_SERVICE_STATUS_LABEL, tracker.StatusText());
    if (tracker.Description() == description_) return;
    description_ = tracker.Description();
    const HWND indicator = controls().Get(BNBT_SERVICE_STATUS_LABEL);
    SetAccessibleDescription(indicator, description_);
    if (tip_) SetTipText(tip_.get(), indicator, description_);
}

void StatusWindow::OnTrackerStoppedUnasked(const TrackerModel& tracker) {
    if (!IsOn(services_.store, choices::kAlert)) return;
    if (services_.alert) services_.alert(hwnd());
    // The icon's notification tells it where there is one (and the note stands in where
    // Windows refuses that); else the note.
    if (!IconShown()) ShowNote(kUnexpectedStopTitle, tracker.Description());
}

void StatusWindow::ShowNote(const wchar_t* title, const std::wstring& text) {
    RECT place{};
    GetWindowRect(hwnd(), &place);
    balloon_.Show(hwnd(), {(place.left + place.right) / 2, place.bottom}, title, text, kBalloonMilliseconds);
}

void StatusWindow::OnTrackerFailed(const TrackerFailure& failure) {
    // Polls go on while a message is up; a failure meanwhile adds no second one.
    if (telling_ || toTell_) return;
    toTell_ = failure;
    PostMessageW(hwnd(), kTellMessage, 0, 0);
}

void StatusWindow::TellNow() {
    const std::optional<TrackerFailure> failure = std::exchange(toTell_, std::nullopt);
    if (!failure || telling_) return;
    telling_ = true;
    ShowErrorMessage(IsWindow(failure->owner) ? failure->owner : hwnd(), failure->text);
    telling_ = false;
}

void StatusWindow::OnConfigurationClosed() { PostMessageW(hwnd(), kAskToRestartMessage, 0, 0); }

void StatusWindow::AskToRestartNow() {
    if (tracker_->State() != TrackerState::Running || telling_ || SessionEnding()) return;
    telling_ = true;
    const int answer = MessageBoxW(hwnd(), L"Restart the tracker so that its new settings apply?", kProgramName,
                                   MB_YESNO | MB_ICONQUESTION);
    telling_ = false;
    if (answer == IDYES) OnRestartChosen();
}

void StatusWindow::OnMouseOverIndicator() {
    // The tip, and the common controls with it, come at the first time they are wanted.
    if (!tip_) tip_ = CreateTip(hwnd(), controls().Get(BNBT_SERVICE_STATUS_LABEL), description_);
}

void StatusWindow::SetKeeperEnabled(bool enabled) noexcept {
    keeperEnabled_ = enabled;
    if (enabled) {
        SetCoalescableTimer(hwnd(), AlwaysOnTopTimer, kKeeperMilliseconds, nullptr, kKeeperToleranceMilliseconds);
    } else {
        KillTimer(hwnd(), AlwaysOnTopTimer);
    }
}

void StatusWindow::AddMenuItems(HMENU menu) noexcept {
    UINT position = 0;
    for (const MenuEntry& entry : kMenuEntries) {
        const UINT kind = entry.text ? MF_STRING : MF_SEPARATOR;
        InsertMenuW(menu, position++, MF_BYPOSITION | kind, entry.id, entry.text);
    }
}

void StatusWindow::UpdateMenu(HMENU menu) const {
    const auto enable = [menu](UINT item, bool enabled) {
        EnableMenuItem(menu, item, enabled ? MF_ENABLED : MF_GRAYED);
    };
    const auto tick = [menu](UINT item, bool ticked) { CheckMenuItem(menu, item, ticked ? MF_CHECKED : MF_UNCHECKED); };
    // Start and stop as a double-click would do now; before the first poll, neither.
    enable(StartTrackerItem, StatusColor() == status::kStoppedColor);
    enable(StopTrackerItem, StatusColor() == status::kRunningColor);
    enable(RestartTrackerItem, StatusColor() == status::kRunningColor);
    tick(StartWithWindowsItem, ThisProgramAtSignIn().Enabled());
    enable(NotificationIconItem, static_cast<bool>(services_.showIcon));
    enable(HistoryItem, static_cast<bool>(services_.openHistory));
    tick(NotificationIconItem, IconShown());
    tick(AlertItem, IsOn(services_.store, choices::kAlert));
    const std::optional<TrackerModel::NoPromptAccess> access = tracker_->NoPrompt();
    enable(NoPromptItem, access.has_value());
    tick(NoPromptItem, access && access->granted);
}

bool StatusWindow::Choose(UINT item) {
    switch (item) {
    case StartTrackerItem:
        tracker_->Run(TrackerAction::Start, hwnd());
        return true;
    case StopTrackerItem:
        tracker_->Run(TrackerAction::Stop, hwnd());
        return true;
    case RestartTrackerItem:
        OnRestartChosen();
        return true;
    case NoPromptItem:
        OnNoPromptChosen();
        return true;
    case SettingsItem:
        KORVANE_ZTL_TITLE_DblClick();
        return true;
    case StartWithWindowsItem:
        OnStartWithWindowsChosen();
        return true;
    case NotificationIconItem:
        OnNotificationIconChosen();
        return true;
    case AlertItem:
        OnAlertChosen();
        return true;
    case AboutItem:
        OnAboutChosen();
        return true;
    case HistoryItem:
        OnHistoryChosen();
        return true;
    }
    return false;
}

void StatusWindow::Run(TrackerAction action, HWND owner, const std::wstring& trackerFolder) {
    tracker_->Run(action, owner, trackerFolder);
}

void StatusWindow::OnRestartChosen() { tracker_->Restart(hwnd()); }

void StatusWindow::OnNoPromptChosen() {
    const std::optional<TrackerModel::NoPromptAccess> access = tracker_->NoPrompt();
    if (!access) return ShowError(L"The tracker's service is not installed, or its security cannot be read.");
    const std::wstring& service = access->service;
    if (access->granted && !access->own) {
        const std::wstring text = L"Your account may already start and stop the service \"" + service +
                                  L"\" without an elevation prompt, through an entry in its security that KV-ZTL "
                                  L"did not add. KV-ZTL leaves that entry as it is.";
        MessageBoxW(hwnd(), text.c_str(), L"Start and stop without a prompt", MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (!access->changed)
        return ShowError(L"The security of the service \"" + service + L"\" cannot be changed by KV-ZTL.");
    const std::wstring text =
        access->own ? L"KV-ZTL will remove the entry it added that lets your account start and stop the service \"" +
                          service + L"\" without an elevation prompt, asking for elevation once to do so."
                    : L"KV-ZTL will add an entry to the security of the service \"" + service +
                          L"\" that lets your account start, stop and query it without an elevation prompt, asking "
                          L"for elevation once to do so.";
    if (MessageBoxW(hwnd(), text.c_str(), L"Start and stop without a prompt", MB_OKCANCEL | MB_ICONINFORMATION) ==
        IDOK) {
        tracker_->ChangeNoPrompt(*access, hwnd());
    }
}

void StatusWindow::OnStartWithWindowsChosen() {
    const StartWithWindows signIn = ThisProgramAtSignIn();
    const LSTATUS result = signIn.Enabled() ? signIn.Disable() : signIn.Enable();
    if (result != ERROR_SUCCESS) {
        ShowError(L"Could not change whether KV-ZTL starts with Windows: " + SystemMessage(static_cast<DWORD>(result)));
    }
}

void StatusWindow::OnAlertChosen() { SetOn(services_.store, choices::kAlert, !IsOn(services_.store, choices::kAlert)); }

void StatusWindow::OnNotificationIconChosen() {
    if (!services_.showIcon) return;
    const bool on = !IconShown();
    // Without the icon, the strip is the program's only face.
    if (!on) ShowStrip(true);
    services_.showIcon(on);
}

void StatusWindow::OnHistoryChosen() {
    if (services_.openHistory) services_.openHistory();
}

void StatusWindow::OnAboutChosen() {
    const std::wstring text = std::wstring(kProgramName) + L" " + ProgramVersion() +
                              L"\n\nShows whether the BNBT tracker runs, and starts or stops it.\n\n" +
                              kHomepageAddress + L"\n\nStarts with Windows: " +
                              ThisProgramAtSignIn().Command().value_or(L"no");
    MessageBoxW(hwnd(), text.c_str(), L"About KV-ZTL", MB_OK | MB_ICONINFORMATION);
}

void StatusWindow::ComeForward() {
    if (!Shown()) ShowStrip(true);
    if (IsIconic(hwnd())) ShowWindow(hwnd(), SW_RESTORE);
    BringOnScreen(hwnd());
    SetForegroundWindow(hwnd());
}

void StatusWindow::ShowStrip(bool shown) {
    if (!shown && !IconShown()) return;
    SetOn(services_.store, choices::kShowStrip, shown);
    if (shown == Shown()) return;
    if (shown) {
        Show();
    } else {
        ShowWindow(hwnd(), SW_HIDE);
    }
}

}  // namespace kvztl
