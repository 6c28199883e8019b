#include "tracker/tracker_model.h"

#include <algorithm>
#include <utility>

#include "platform/system_message.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

constexpr const wchar_t* kWindowClass = L"KVZTL_TRACKER";

// Posted to the model's window by the launching threads when a launch has come back; by this
// thread's waits when a process that KV-ZTL launched or a tracker process ends; by the service
// watch at each change of the service (state in wparam, exit code in lparam); by the service's
// search when it has found another answer.
constexpr UINT kLaunchesFinishedMessage = WM_APP + 1;
constexpr UINT kCommandEndedMessage = WM_APP + 2;
constexpr UINT kTrackerEndedMessage = WM_APP + 3;
constexpr UINT kServiceChangedMessage = WM_APP + 4;
constexpr UINT kServiceFoundMessage = WM_APP + 5;

// Asked to stop by this program within this time before it stops, the tracker stopped as
// asked: nothing unexpected.
constexpr auto kStopAskedLately = std::chrono::seconds(30);
// A start asked here, or a notice of the service starting or stopping, this recent tells how the
// tracker came or went.
constexpr auto kCauseLately = std::chrono::seconds(60);

bool Lately(const std::optional<std::chrono::steady_clock::time_point>& when) {
    return when && std::chrono::steady_clock::now() - *when < kCauseLately;
}

Moment CreationMoment(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return Now();
    return MomentOf(created);
}

}  // namespace

const wchar_t* FailureTitle(TrackerAction action) noexcept {
    switch (action) {
    case TrackerAction::Start:
        return L"The tracker did not start";
    case TrackerAction::Stop:
        return L"The tracker did not stop";
    default:
        return kProgramName;
    }
}

std::unique_ptr<TrackerModel> TrackerModel::Create(Services services) {
    std::unique_ptr<TrackerModel> model(new TrackerModel(std::move(services)));
    if (!model->window_) return nullptr;
    return model;
}

TrackerModel::TrackerModel(Services services)
    : services_(std::move(services)),
      window_(MessageWindow::Create(
          kWindowClass,
          [this](UINT message, WPARAM wparam, LPARAM lparam) { return OnMessage(message, wparam, lparam); })),
      control_(window_ ? window_->hwnd() : nullptr, kLaunchesFinishedMessage, kCommandEndedMessage, services_.launcher,
               services_.direct) {
    if (!window_) return;
    const std::shared_ptr<TrackerServiceLocator> locator = services_.serviceLocator;
    if (locator) locator->TellChanges(window_->hwnd(), kServiceFoundMessage);
    serviceWatch_ = std::make_unique<ServiceWatch>(window_->hwnd(), kServiceChangedMessage,
                                                   [locator] { return locator ? locator->Find() : std::nullopt; });
}

TrackerModel::~TrackerModel() {
    if (services_.serviceLocator) services_.serviceLocator->TellChanges(nullptr, 0);
}

void TrackerModel::Observe(TrackerObserver* observer) { observers_.push_back(observer); }

void TrackerModel::Forget(TrackerObserver* observer) noexcept { std::erase(observers_, observer); }

template <typename Event>
void TrackerModel::Tell(Event event) {
    // A copy: an observer may come or go while it is told (a message box lets polls run).
    const std::vector<TrackerObserver*> observers = observers_;
    for (TrackerObserver* observer : observers) {
        if (std::find(observers_.begin(), observers_.end(), observer) != observers_.end()) event(*observer);
    }
}

std::optional<LRESULT> TrackerModel::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case kLaunchesFinishedMessage:
        OnLaunchesFinished();
        return 0;
    case kCommandEndedMessage:
    case kTrackerEndedMessage:
        Poll();
        return 0;
    case kServiceChangedMessage:
        OnServiceChanged(static_cast<DWORD>(wparam), static_cast<DWORD>(lparam));
        return 0;
    case kServiceFoundMessage:
        serviceWatch_->LookAgain();
        Poll();
        return 0;
    }
    return std::nullopt;
}

void TrackerModel::Poll() {
    serviceWatch_->Tend();
    const TrackerState before = state_;
    const bool wasRunning = before == TrackerState::Running;
    // While a tracker process that KV-ZTL holds still runs, the answer is known without a
    // snapshot; its end brings a poll at once, which takes one again.
    std::vector<DWORD> found = LiveTrackers();
    if (found.empty()) {
        found = services_.probe(tracker::kProcessImage,
                                [this](DWORD id, DWORD parentId) { return control_.IsCommand(id, parentId); });
    }
    const bool running = !found.empty();
    state_ = running ? TrackerState::Running : TrackerState::Stopped;
    HoldTrackers(found);
    Record(before);
    RecordHistory(running);
    TellPolled();
    if (wasRunning && !running && !StopAskedLately()) {
        Tell([this](TrackerObserver& observer) { observer.OnTrackerStoppedUnasked(*this); });
    }
    FollowUp(running);
    for (const TrackerControl::Ended& ended : control_.TakeEnded()) OnCommandEnded(ended);
}

std::wstring TrackerModel::StatusText() const {
    switch (state_) {
    case TrackerState::Running:
        return status::kRunning;
    case TrackerState::Stopped:
        return status::kStopped;
    case TrackerState::Unknown:
        break;
    }
    return {};
}

void TrackerModel::TellPolled() {
    // Worded once for every observer.
    const Moment now = Now();
    description_ = history_.Describe(now);
    record_ = services_.record ? services_.record->Summary(now) : std::wstring();
    if (!record_.empty() && !description_.empty()) description_ += L"\n" + record_;
    Tell([this](TrackerObserver& observer) { observer.OnTrackerPolled(*this); });
}

std::wstring TrackerModel::Summary() const {
    if (state_ == TrackerState::Unknown) return kProgramName;
    std::wstring summary = L"BNBT: " + StatusText() + L"\n" + description_.substr(0, description_.find(L'\n'));
    if (record_.empty()) return summary;
    // The notification area shows 127 characters of a tip: the record's line loses its last
    // parts (" · ...") rather than be cut in the middle of one.
    constexpr size_t kTipRoom = 127;
    std::wstring record = record_;
    for (size_t cut;
         summary.size() + 1 + record.size() > kTipRoom && (cut = record.rfind(L" \x00B7 ")) != std::wstring::npos;) {
        record.resize(cut);
    }
    return summary + L"\n" + record;
}

std::vector<DWORD> TrackerModel::LiveTrackers() const {
    std::vector<DWORD> live;
    for (const HeldTracker& held : trackers_) {
        if (!Ended(held)) live.push_back(held.id);
    }
    return live;
}

bool TrackerModel::Ended(const HeldTracker& held) noexcept {
    // Asked of the process itself: its wait may not have been served yet (a message box's loop
    // serves none).
    return WaitForSingleObject(held.process.get(), 0) != WAIT_TIMEOUT;
}

void TrackerModel::HoldTrackers(const std::vector<DWORD>& found) {
    const auto isFound = [&found](DWORD id) { return std::find(found.begin(), found.end(), id) != found.end(); };
    for (auto held = trackers_.begin(); held != trackers_.end();) {
        if (isFound(held->id) && !Ended(*held)) {
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
        auto ended = SignalWait::Post(process.get(), window_->hwnd(), kTrackerEndedMessage);
        trackers_.push_back({id, std::move(process), std::move(ended)});
    }
}

void TrackerModel::Record(TrackerState before) {
    TrackerRecord* record = services_.record.get();
    if (!record) return;
    const bool anew = record->Watches() != recordedWatches_;
    if (state_ == before && !anew) return;
    recordedWatches_ = record->Watches();
    Event event;
    if (state_ == TrackerState::Running) {
        event.kind = EventKind::Up;
        event.cause = UpCause();
        if (!trackers_.empty()) event.since = CreationMoment(trackers_.front().process.get());
    } else {
        event.kind = EventKind::Down;
        event.cause = before == TrackerState::Running ? DownCause() : Cause::NotRunning;
        if (event.cause == Cause::Exited) event.exitCode = lastExitCode_ ? lastExitCode_ : serviceExitCode_;
    }
    // Told once: the next change has causes of its own.
    startAsked_.reset();
    serviceStarting_.reset();
    serviceStopping_.reset();
    serviceExitCode_.reset();
    record->Write(std::move(event));
}

Cause TrackerModel::UpCause() const {
    if (Lately(startAsked_)) return Cause::KvZtl;
    if (Lately(serviceStarting_)) return Cause::Service;
    return Cause::Found;
}

Cause TrackerModel::DownCause() const {
    if (StopAskedLately()) return Cause::Asked;
    if (Lately(serviceStopping_)) return Cause::Service;
    if (lastExitCode_ || serviceExitCode_) return Cause::Exited;
    return Cause::Vanished;
}

void TrackerModel::RecordHistory(bool running) {
    if (running) {
        lastExitCode_.reset();  // of a run before this one
        if (!history_.IsRunning()) {
            history_.Running(trackers_.empty() ? Now() : CreationMoment(trackers_.front().process.get()));
        }
        return;
    }
    history_.Stopped(Now(), lastExitCode_, StopAskedLately());
}

void TrackerModel::FollowUp(bool running) {
    const auto now = std::chrono::steady_clock::now();
    if (startCheck_) {
        const bool commandEnded = !control_.CommandRunning(TrackerAction::Start);
        if (auto verdict = StartVerdict(*startCheck_, running, commandEnded, now, services_.service)) {
            const HWND owner = startCheck_->owner;
            startCheck_.reset();
            if (!verdict->empty()) Fail(TrackerAction::Start, owner, *verdict);
        }
    }
    if (stopCheck_) {
        if (auto verdict = StopVerdict(stopCheck_->asked, running, now)) {
            const StopFollowUp check = *stopCheck_;
            stopCheck_.reset();
            if (!verdict->empty()) {
                Fail(TrackerAction::Stop, check.owner, *verdict);
            } else if (check.thenStart) {
                Run(TrackerAction::Start, check.owner);
            }
        }
    }
}

void TrackerModel::Fail(TrackerAction action, HWND owner, const std::wstring& text) {
    const bool startOrStop = action == TrackerAction::Start || action == TrackerAction::Stop;
    if (startOrStop && services_.record) {
        services_.record->Write({.kind = EventKind::Failed,
                                 .cause = action == TrackerAction::Start ? Cause::Start : Cause::Stop,
                                 .text = text});
    }
    if (action == TrackerAction::Start) startAsked_.reset();
    const TrackerFailure failure{action, owner, text};
    Tell([&failure](TrackerObserver& observer) { observer.OnTrackerFailed(failure); });
}

bool TrackerModel::StopAskedLately() const {
    const auto asked = control_.LastStopAsked();
    return asked && std::chrono::steady_clock::now() - *asked < kStopAskedLately;
}

void TrackerModel::Run(TrackerAction action, HWND owner) {
    Run(action, owner, services_.store.Text(settings::kTrackerFolder).value_or(settings::kTrackerFolderDefault));
}

void TrackerModel::Run(TrackerAction action, HWND owner, const std::wstring& trackerFolder) {
    // A service that is removed goes only once no handle to it is open.
    if (action == TrackerAction::Uninstall) serviceWatch_->LetGo();
    if (action == TrackerAction::Start) startAsked_ = std::chrono::steady_clock::now();
    control_.Run(action, owner, trackerFolder);
}

void TrackerModel::Restart(HWND owner) {
    if (state_ != TrackerState::Running || stopCheck_) return;
    restartAsked_ = true;
    Run(TrackerAction::Stop, owner);
}

void TrackerModel::OnLaunchesFinished() {
    for (const TrackerControl::Finished& done : control_.TakeFinished()) {
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
        if (text) Fail(done.action, done.owner, *text);
    }
    // A start or stop asked of the service directly has no command to wait for.
    Poll();
}

void TrackerModel::OnServiceChanged(DWORD state, DWORD exitCode) {
    // A change from a state seen before tells how the tracker came or went; the first notice
    // only says how the service is.
    const auto now = std::chrono::steady_clock::now();
    const bool wasUp = serviceState_ == SERVICE_START_PENDING || serviceState_ == SERVICE_RUNNING;
    const bool wasDown = serviceState_ == SERVICE_STOPPED || serviceState_ == SERVICE_STOP_PENDING;
    if (wasDown && (state == SERVICE_START_PENDING || state == SERVICE_RUNNING)) serviceStarting_ = now;
    // A stop through the service manager whose STOP_PENDING went by unseen ends in a clean STOPPED.
    if (wasUp && (state == SERVICE_STOP_PENDING || (state == SERVICE_STOPPED && exitCode == NO_ERROR))) {
        serviceStopping_ = now;
    }
    if (state == SERVICE_STOPPED) serviceExitCode_ = exitCode;
    serviceState_ = state;
    if (startCheck_) {
        if (state == SERVICE_START_PENDING || state == SERVICE_RUNNING) startCheck_->serviceStarted = true;
        if (state == SERVICE_STOPPED && startCheck_->serviceStarted) startCheck_->serviceStoppedWith = exitCode;
    }
    Poll();  // arms the next notice too
    // Without a handle to the process, the service's own word on how it stopped.
    if (state == SERVICE_STOPPED && trackers_.empty() && !lastExitCode_) {
        history_.StopExitCode(exitCode);
        TellPolled();
    }
}

void TrackerModel::OnCommandEnded(const TrackerControl::Ended& ended) {
    // The service may have come, or may still be there.
    if (ended.action == TrackerAction::Install || ended.action == TrackerAction::Uninstall) {
        serviceWatch_->LookAgain();
        serviceWatch_->Tend();
    }
    if (ended.action == TrackerAction::Configure && state_ == TrackerState::Running) {
        Tell([](TrackerObserver& observer) { observer.OnConfigurationClosed(); });
    }
    if (ended.action == TrackerAction::SetServiceAccess) OnServiceAccessChanged(ended.exitCode);
}

std::optional<TrackerModel::NoPromptAccess> TrackerModel::NoPrompt() const {
    const std::optional<ServiceAccess> access = services_.serviceAccess ? services_.serviceAccess() : std::nullopt;
    if (!access) return std::nullopt;
    const std::wstring sid = CurrentUserSid();
    const bool granted = HasStartStopEntry(access->descriptor, sid);
    const bool own = HasOwnStartStopEntry(access->descriptor, sid);
    std::optional<std::wstring> changed;
    if (own) {
        changed = WithoutOwnStartStopEntry(access->descriptor, sid);
    } else if (!granted) {
        changed = WithStartStopEntry(access->descriptor, sid);
    }
    return NoPromptAccess{access->service, granted, own, std::move(changed)};
}

void TrackerModel::ChangeNoPrompt(const NoPromptAccess& access, HWND owner) {
    if (!access.changed) return;
    if (control_.Run(TrackerAction::SetServiceAccess, owner, L"", SdsetParameters(access.service, *access.changed))) {
        noPromptWanted_ = !access.own;
    }
}

void TrackerModel::OnServiceAccessChanged(DWORD exitCode) {
    const std::optional<bool> wanted = std::exchange(noPromptWanted_, std::nullopt);
    if (!wanted) return;
    const std::optional<NoPromptAccess> now = NoPrompt();
    const std::wstring service = now ? now->service : kTrackerServiceName;
    if (exitCode != ERROR_SUCCESS) {
        return Fail(TrackerAction::SetServiceAccess, nullptr,
                    L"sc.exe could not change the security of the service \"" + service + L"\" (exit code " +
                        ExitCodeText(exitCode) + L").");
    }
    // The elevated command says little; what the service now holds is the answer.
    if (now && now->own == *wanted) return;
    Fail(TrackerAction::SetServiceAccess, nullptr,
         L"The security of the service \"" + service + L"\" did not change: it still " +
             (*wanted ? L"does not let" : L"lets") + L" your account start and stop it without an elevation prompt.");
}

}  // namespace kvztl
