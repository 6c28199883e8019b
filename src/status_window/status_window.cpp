#include "status_window/status_window.h"

#include <algorithm>
#include <utility>

#include "platform/accessibility.h"
#include "platform/placement.h"
#include "platform/program_info.h"
#include "platform/system_message.h"
#include "platform/tooltip.h"
#include "platform/window.h"
#include "store/start_with_windows.h"
#include "store/window_place.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using S = StatusWindow;

constexpr UINT kKeeperMilliseconds = 1000;
constexpr UINT kBalloonMilliseconds = 6000;

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
    {S::RestartTrackerItem, L"Res&tart tracker"},
    {S::SettingsItem, L"S&ettings..."},
    {0, nullptr},
    {S::StartWithWindowsItem, L"Start with &Windows"},
    {S::AlertItem, L"&Alert when the tracker stops"},
    {S::NoPromptItem, L"Start and stop without a pr&ompt..."},
    {0, nullptr},
    {S::AboutItem, L"A&bout KV-ZTL"},
    {0, nullptr},
};

StartWithWindows ThisProgramAtSignIn() { return StartWithWindows(kProgramName, ThisProgramPath()); }

// Posted by the launching threads when a launch has come back; by this thread's waits when a
// process that KV-ZTL launched or a tracker process ends; by the service watch at each change
// of the service (state in wparam, exit code in lparam); by the service's search when it has
// found another answer.
constexpr UINT kLaunchesFinishedMessage = WM_APP + 1;
constexpr UINT kCommandEndedMessage = WM_APP + 2;
constexpr UINT kTrackerEndedMessage = WM_APP + 3;
constexpr UINT kServiceChangedMessage = WM_APP + 4;
constexpr UINT kServiceFoundMessage = WM_APP + 5;

Moment CreationMoment(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return Now();
    return MomentOf(created);
}

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
    // Owned windows go with their owner; nothing is told to a window that has gone.
    (void)tip_.release();
    balloon_.Forget();
    trackers_.clear();
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
    enable(RestartTrackerItem, StatusColor() == status::kRunningColor);
    tick(StartWithWindowsItem, ThisProgramAtSignIn().Enabled());
    tick(AlertItem, AlertEnabled());
    const std::optional<ServiceAccess> access = ServiceAccessNow();
    enable(NoPromptItem, access.has_value());
    tick(NoPromptItem, access && HasStartStopEntry(access->descriptor, CurrentUserSid()));
}

bool StatusWindow::OnSystemCommand(UINT id) {
    switch (id) {
    case StartTrackerItem:
        AskTracker(TrackerAction::Start);
        return true;
    case StopTrackerItem:
        AskTracker(TrackerAction::Stop);
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
    case AlertItem:
        OnAlertChosen();
        return true;
    case AboutItem:
        OnAboutChosen();
        return true;
    }
    return false;
}

std::optional<LRESULT> StatusWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case kLaunchesFinishedMessage:
        OnLaunchesFinished();
        return 0;
    case kCommandEndedMessage:
    case kTrackerEndedMessage:
        BNBT_SERVICE_CHECKER_TIMER_Timer();
        return 0;
    case kServiceFoundMessage:
        serviceWatch_->LookAgain();
        BNBT_SERVICE_CHECKER_TIMER_Timer();
        return 0;
    case kServiceChangedMessage:
        OnServiceChanged(static_cast<DWORD>(wparam), static_cast<DWORD>(lparam));
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
    control_ = std::make_unique<TrackerControl>(hwnd(), kLaunchesFinishedMessage, kCommandEndedMessage,
                                                services_.launcher, services_.direct);
    const std::shared_ptr<TrackerServiceLocator> locator = services_.serviceLocator;
    if (locator) locator->TellChanges(hwnd(), kServiceFoundMessage);
    serviceWatch_ = std::make_unique<ServiceWatch>(hwnd(), kServiceChangedMessage,
                                                   [locator] { return locator ? locator->Find() : std::nullopt; });
    PlaceWindowTwips(hwnd(), LoadPlace(services_.store, settings::kStatusPlacePrefix, settings::kStatusPlaceDefault));
    SetTimer(hwnd(), BNBT_SERVICE_CHECKER_TIMER, static_cast<UINT>(services_.pollInterval.count()), nullptr);
    SetKeeperEnabled(services_.store.Number(settings::kAlwaysOnTop).value_or(settings::kAlwaysOnTopDefault) == 1.0);
}

void StatusWindow::Form_QueryUnload() {
    if (services_.closing) services_.closing();
}

void StatusWindow::Form_Unload() { SavePlace(services_.store, settings::kStatusPlacePrefix, WindowPlaceTwips(hwnd())); }

// Also polled at once when a tracker process or a command ends, or the service changes.
void StatusWindow::BNBT_SERVICE_CHECKER_TIMER_Timer() {
    serviceWatch_->Tend();
    const bool wasRunning = StatusCaption() == status::kRunning;
    const std::vector<DWORD> found = services_.probe(
        tracker::kProcessImage, [this](DWORD id, DWORD parentId) { return control_->IsCommand(id, parentId); });
    const bool running = !found.empty();
    controls().SetBackColor(BNBT_SERVICE_STATUS_LABEL, running ? status::kRunningColor : status::kStoppedColor);
    controls().SetText(BNBT_SERVICE_STATUS_LABEL, running ? status::kRunning : status::kStopped);
    HoldTrackers(found);
    RecordHistory(running);
    ShowDescription();
    if (wasRunning && !running) OnTrackerStopped();
    FollowUp(running);
    for (const TrackerControl::Ended& ended : control_->TakeEnded()) OnCommandEnded(ended);
}

void StatusWindow::HoldTrackers(const std::vector<DWORD>& found) {
    const auto isFound = [&found](DWORD id) { return std::find(found.begin(), found.end(), id) != found.end(); };
    for (auto held = trackers_.begin(); held != trackers_.end();) {
        // Its wait says when it ends; asked of the system only where there is no wait.
        const bool ended =
            held->ended ? held->ended->HasSignalled() : WaitForSingleObject(held->process.get(), 0) != WAIT_TIMEOUT;
        if (isFound(held->id) && !ended) {
            ++held;
            continue;
        }
        DWORD code = 0;
        if (GetExitCodeProcess(held->process.get(), &code) && code != STILL_ACTIVE) lastExitCode_ = code;
        held = trackers_.erase(held);
    }
    for (const DWORD id : found) {
        if (std::any_of(trackers_.begin(), trackers_.end(), [id](const HeldTracker& t) { return t.id == id; })) {
            continue;
        }
        // A process of another account may refuse; the poll and the service's notices see it
        // end all the same.
        UniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
        if (!process) continue;
        auto ended = SignalWait::Post(process.get(), hwnd(), kTrackerEndedMessage);
        trackers_.push_back({id, std::move(process), std::move(ended)});
    }
}

void StatusWindow::RecordHistory(bool running) {
    if (running) {
        if (!trackers_.empty()) lastExitCode_.reset();
        if (!history_.IsRunning()) {
            history_.Running(trackers_.empty() ? Now() : CreationMoment(trackers_.front().process.get()));
        }
        return;
    }
    history_.Stopped(Now(), lastExitCode_, StopAskedLately());
}

std::wstring StatusWindow::Description() const { return history_.Describe(Now()); }

void StatusWindow::ShowDescription() {
    std::wstring description = Description();
    if (description == description_) return;
    description_ = std::move(description);
    const HWND indicator = controls().Get(BNBT_SERVICE_STATUS_LABEL);
    SetAccessibleDescription(indicator, description_);
    if (tip_) SetTipText(tip_.get(), indicator, description_);
}

void StatusWindow::OnMouseOverIndicator() {
    // The tip, and the common controls with it, come at the first time they are wanted.
    if (!tip_) tip_ = CreateTip(hwnd(), controls().Get(BNBT_SERVICE_STATUS_LABEL), description_);
}

void StatusWindow::FollowUp(bool running) {
    const auto now = std::chrono::steady_clock::now();
    if (startCheck_) {
        const bool commandEnded = !control_->CommandRunning(TrackerAction::Start);
        if (auto verdict = StartVerdict(*startCheck_, running, commandEnded, now, services_.service)) {
            const HWND owner = startCheck_->owner;
            startCheck_.reset();
            if (!verdict->empty()) Tell(owner, *verdict);
        }
    }
    if (stopCheck_) {
        if (auto verdict = StopVerdict(stopCheck_->asked, running, now)) {
            const StopFollowUp check = *stopCheck_;
            stopCheck_.reset();
            if (!verdict->empty()) {
                Tell(check.owner, *verdict);
            } else if (check.thenStart) {
                AskTracker(TrackerAction::Start, IsWindow(check.owner) ? check.owner : hwnd());
            }
        }
    }
}

void StatusWindow::Tell(HWND owner, const std::wstring& text) {
    // Polls go on while a message is up; a failure meanwhile adds no second one.
    if (telling_) return;
    telling_ = true;
    ShowErrorMessage(IsWindow(owner) ? owner : hwnd(), text);
    telling_ = false;
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
    // A service that is removed goes only once no handle to it is open.
    if (action == TrackerAction::Uninstall) serviceWatch_->LetGo();
    control_->Run(action, owner, trackerFolder);
}

void StatusWindow::AskTracker(TrackerAction action, HWND owner) {
    Run(action, owner ? owner : hwnd(),
        services_.store.Text(settings::kTrackerFolder).value_or(settings::kTrackerFolderDefault));
}

void StatusWindow::OnLaunchesFinished() {
    for (const TrackerControl::Finished& done : control_->TakeFinished()) {
        const bool start = done.action == TrackerAction::Start;
        const auto now = std::chrono::steady_clock::now();
        if (done.result.started() && start) {
            startCheck_ =
                StartFollowUp{.owner = done.owner, .asked = now, .serviceStarted = false, .serviceStoppedWith = {}};
        }
        if (done.action == TrackerAction::Uninstall && !done.result.started()) serviceWatch_->LookAgain();
        if (done.action == TrackerAction::Stop) {
            if (done.result.started()) stopCheck_ = StopFollowUp{done.owner, now, restartAsked_};
            restartAsked_ = false;
        }
        const std::optional<std::wstring> text =
            done.result.throughService && !done.result.started()
                ? std::optional<std::wstring>(ServiceRefusalText(start, done.result.error))
                : LaunchFailureText(done.result);
        if (text) Tell(done.owner, *text);
    }
    // A start or stop asked of the service directly has no command to wait for.
    BNBT_SERVICE_CHECKER_TIMER_Timer();
}

void StatusWindow::OnCommandEnded(const TrackerControl::Ended& ended) {
    // The service may have come, or may still be there.
    if (ended.action == TrackerAction::Install || ended.action == TrackerAction::Uninstall) {
        serviceWatch_->LookAgain();
        serviceWatch_->Tend();
    }
    if (ended.action == TrackerAction::Configure) OnRestartQuestion();
    if (ended.action == TrackerAction::SetServiceAccess) OnServiceAccessChanged(ended.exitCode);
}

void StatusWindow::OnRestartQuestion() {
    if (StatusColor() != status::kRunningColor || telling_ || SessionEnding()) return;
    telling_ = true;
    const int answer = MessageBoxW(hwnd(), L"Restart the tracker so that its new settings apply?", kProgramName,
                                   MB_YESNO | MB_ICONQUESTION);
    telling_ = false;
    if (answer == IDYES) OnRestartChosen();
}

void StatusWindow::OnServiceAccessChanged(DWORD exitCode) {
    const std::optional<bool> wanted = std::exchange(noPromptWanted_, std::nullopt);
    if (!wanted) return;
    const std::optional<ServiceAccess> access = ServiceAccessNow();
    const std::wstring service = access ? access->service : L"BNBT Service";
    if (exitCode != ERROR_SUCCESS) {
        return Tell(hwnd(), L"sc.exe could not change the security of the service \"" + service + L"\" (exit code " +
                                ExitCodeText(exitCode) + L").");
    }
    // The elevated command says little; what the service now holds is the answer.
    if (access && HasStartStopEntry(access->descriptor, CurrentUserSid()) == *wanted) return;
    Tell(hwnd(), L"The security of the service \"" + service + L"\" did not change: it still " +
                     (*wanted ? L"does not let" : L"lets") +
                     L" your account start and stop it without an elevation prompt.");
}

void StatusWindow::OnServiceChanged(DWORD state, DWORD exitCode) {
    if (startCheck_) {
        if (state == SERVICE_START_PENDING || state == SERVICE_RUNNING) startCheck_->serviceStarted = true;
        if (state == SERVICE_STOPPED && startCheck_->serviceStarted) startCheck_->serviceStoppedWith = exitCode;
    }
    BNBT_SERVICE_CHECKER_TIMER_Timer();  // arms the next notice too
    // Without a handle to the process, the service's own word on how it stopped.
    if (state == SERVICE_STOPPED && trackers_.empty() && !lastExitCode_) {
        history_.StopExitCode(exitCode);
        ShowDescription();
    }
}

void StatusWindow::OnRestartChosen() {
    if (StatusColor() != status::kRunningColor || stopCheck_) return;
    restartAsked_ = true;
    AskTracker(TrackerAction::Stop);
}

void StatusWindow::OnNoPromptChosen() {
    const std::optional<ServiceAccess> access = ServiceAccessNow();
    if (!access) return ShowError(L"The tracker's service is not installed, or its security cannot be read.");
    const std::wstring& service = access->service;
    const std::wstring sid = CurrentUserSid();
    const bool granted = HasStartStopEntry(access->descriptor, sid);
    const std::wstring text =
        granted ? L"KV-ZTL will remove the entry that lets your account start and stop the service \"" + service +
                      L"\" without an elevation prompt, asking for elevation once to do so."
                : L"KV-ZTL will add an entry to the security of the service \"" + service +
                      L"\" that lets your account start, stop and query it without an elevation prompt, asking "
                      L"for elevation once to do so.";
    if (MessageBoxW(hwnd(), text.c_str(), L"Start and stop without a prompt", MB_OKCANCEL | MB_ICONINFORMATION) !=
        IDOK) {
        return;
    }
    const std::optional<std::wstring> changed =
        granted ? WithoutStartStopEntry(access->descriptor, sid) : WithStartStopEntry(access->descriptor, sid);
    if (!changed) return ShowError(L"The security of the service \"" + service + L"\" cannot be changed by KV-ZTL.");
    if (control_->Run(TrackerAction::SetServiceAccess, hwnd(), L"", SdsetParameters(service, *changed))) {
        noPromptWanted_ = !granted;
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
    if (!AlertEnabled() || !services_.alert || StopAskedLately()) return;
    services_.alert(hwnd());
    // The words beside the flash, by the strip's lower edge, for a few seconds.
    RECT place{};
    GetWindowRect(hwnd(), &place);
    balloon_.Show(hwnd(), {(place.left + place.right) / 2, place.bottom}, L"The tracker stopped", description_,
                  kBalloonMilliseconds);
}

bool StatusWindow::StopAskedLately() const {
    const auto asked = control_->LastStopAsked();
    return asked && std::chrono::steady_clock::now() - *asked < kStopAskedLately;
}

void StatusWindow::ComeForward() noexcept {
    if (IsIconic(hwnd()) || !IsWindowVisible(hwnd())) ShowWindow(hwnd(), SW_RESTORE);
    BringOnScreen(hwnd());
    SetForegroundWindow(hwnd());
}

std::optional<ServiceAccess> StatusWindow::ServiceAccessNow() const {
    return services_.serviceAccess ? services_.serviceAccess() : std::nullopt;
}

bool StatusWindow::AlertEnabled() const {
    return services_.store.Number(settings::kAlertOnUnexpectedStop).value_or(settings::kAlertOnUnexpectedStopDefault) ==
           1.0;
}

}  // namespace kvztl
