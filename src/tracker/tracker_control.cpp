#include "tracker/tracker_control.h"

#include <algorithm>
#include <mutex>
#include <thread>

#include "vocabulary.h"

namespace kvztl {
namespace {

struct ProgramCommand {
    const wchar_t* program;
    const wchar_t* parameters;
};

ProgramCommand CommandOf(TrackerAction action) {
    switch (action) {
    case TrackerAction::Start:
        return {tracker::kProgram, tracker::kStart};
    case TrackerAction::Stop:
        return {tracker::kProgram, tracker::kStop};
    case TrackerAction::Install:
        return {tracker::kProgram, tracker::kInstall};
    case TrackerAction::Uninstall:
        return {tracker::kProgram, tracker::kUninstall};
    case TrackerAction::Configure:
    case TrackerAction::Explore:
    case TrackerAction::SetServiceAccess:
        break;
    }
    return {tracker::kConfigurationProgram, L""};
}

LaunchResult Carry(TrackerAction action, HWND owner, const std::wstring& trackerFolder, const std::wstring& parameters,
                   const Launcher& launcher, const DirectControl& direct) {
    if (direct && (action == TrackerAction::Start || action == TrackerAction::Stop)) {
        if (const std::optional<DWORD> error = direct(action == TrackerAction::Start)) {
            const auto outcome =
                *error == ERROR_SUCCESS ? LaunchResult::Outcome::Started : LaunchResult::Outcome::Failed;
            return {outcome, L"", *error, {}, true};
        }
    }
    if (action == TrackerAction::Explore) return launcher.Explore(owner, trackerFolder);
    if (action == TrackerAction::SetServiceAccess)
        return launcher.RunSystemProgram(owner, SystemWindowsPath(L"System32\\sc.exe"), parameters);
    const ProgramCommand command = CommandOf(action);
    return launcher.RunTrackerProgram(owner, command.program, command.parameters, trackerFolder);
}

// Removing the service stops the tracker as well.
bool AsksToStop(TrackerAction action) { return action == TrackerAction::Stop || action == TrackerAction::Uninstall; }

bool HasEnded(HANDLE process) noexcept { return WaitForSingleObject(process, 0) != WAIT_TIMEOUT; }

}  // namespace

// Shared with the launching threads, which may outlive the control (a prompt still open
// when the strip closes): they hand in their outcome here and tell the window.
struct TrackerControl::Mailbox {
    Mailbox(HWND to, UINT with) noexcept : window(to), message(with) {}

    HWND window;
    UINT message;
    std::mutex mutex;
    std::vector<TrackerAction> underWay;
    std::vector<Finished> finished;
};

TrackerControl::TrackerControl(HWND window, UINT finishedMessage, UINT endedMessage, Launcher launcher,
                               DirectControl direct)
    : mailbox_(std::make_shared<Mailbox>(window, finishedMessage)),
      endedMessage_(endedMessage),
      launcher_(std::move(launcher)),
      direct_(std::move(direct)) {}

TrackerControl::~TrackerControl() = default;

bool TrackerControl::Run(TrackerAction action, HWND owner, const std::wstring& trackerFolder, std::wstring parameters) {
    {
        const std::lock_guard lock(mailbox_->mutex);
        auto& underWay = mailbox_->underWay;
        if (std::find(underWay.begin(), underWay.end(), action) != underWay.end()) return false;
        underWay.push_back(action);
    }
    if (AsksToStop(action)) stopsUnderWay_.emplace_back(action, std::chrono::steady_clock::now());
    std::thread([mailbox = mailbox_, launcher = launcher_, direct = direct_, action, owner, trackerFolder,
                 parameters = std::move(parameters)] {
        LaunchResult result = Carry(action, owner, trackerFolder, parameters, launcher, direct);
        {
            const std::lock_guard lock(mailbox->mutex);
            std::erase(mailbox->underWay, action);
            mailbox->finished.push_back({action, owner, std::move(result)});
        }
        PostMessageW(mailbox->window, mailbox->message, 0, 0);
    }).detach();
    return true;
}

std::vector<TrackerControl::Finished> TrackerControl::TakeFinished() {
    std::vector<Finished> finished;
    {
        const std::lock_guard lock(mailbox_->mutex);
        finished.swap(mailbox_->finished);
    }
    for (Finished& done : finished) {
        // A stop that went out counts from when it was asked; one that did not asked nothing.
        const auto underWay = std::find_if(stopsUnderWay_.begin(), stopsUnderWay_.end(),
                                           [&done](const auto& stop) { return stop.first == done.action; });
        if (underWay != stopsUnderWay_.end()) {
            if (done.result.started())
                stopWentOut_ = std::max(stopWentOut_.value_or(underWay->second), underWay->second);
            stopsUnderWay_.erase(underWay);
        }
        if (!done.result.process) continue;
        auto ended = SignalWait::Post(done.result.process.get(), mailbox_->window, endedMessage_);
        commands_.push_back({done.action, std::move(done.result.process), std::move(ended)});
    }
    return finished;
}

std::vector<TrackerControl::Ended> TrackerControl::TakeEnded() {
    std::vector<Ended> ended;
    std::erase_if(commands_, [&ended](const Command& command) {
        if (!HasEnded(command.process.get())) return false;
        DWORD code = 0;
        GetExitCodeProcess(command.process.get(), &code);
        ended.push_back({command.action, code});
        return true;
    });
    return ended;
}

std::optional<std::chrono::steady_clock::time_point> TrackerControl::LastStopAsked() const {
    std::optional<TimePoint> last = stopWentOut_;
    for (const auto& stop : stopsUnderWay_) last = std::max(last.value_or(stop.second), stop.second);
    return last;
}

bool TrackerControl::CommandRunning(TrackerAction action) const {
    return std::any_of(commands_.begin(), commands_.end(), [action](const Command& command) {
        return command.action == action && !HasEnded(command.process.get());
    });
}

bool TrackerControl::IsCommand(DWORD processId, DWORD parentId) const {
    if (std::any_of(commands_.begin(), commands_.end(), [processId](const Command& command) {
            return GetProcessId(command.process.get()) == processId && !HasEnded(command.process.get());
        })) {
        return true;
    }
    // The shell has started it but its handle is not here yet.
    return parentId == GetCurrentProcessId() && Busy();
}

bool TrackerControl::Busy() const {
    const std::lock_guard lock(mailbox_->mutex);
    return !mailbox_->underWay.empty() || !mailbox_->finished.empty();
}

}  // namespace kvztl
