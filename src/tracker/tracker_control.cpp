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
    if (AsksToStop(action)) lastStopAsked_ = std::chrono::steady_clock::now();
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
        // A stop that never went out asked nothing.
        if (AsksToStop(done.action) && !done.result.started()) lastStopAsked_.reset();
        if (!done.result.process) continue;
        auto ended = SignalWait::Post(done.result.process.get(), mailbox_->window, endedMessage_,
                                      static_cast<WPARAM>(done.action));
        commands_.push_back({done.action, std::move(done.result.process), std::move(ended)});
    }
    return finished;
}

void TrackerControl::DropEndedCommands() {
    std::erase_if(commands_,
                  [](const Command& command) { return WaitForSingleObject(command.process.get(), 0) != WAIT_TIMEOUT; });
}

bool TrackerControl::CommandRunning(TrackerAction action) {
    DropEndedCommands();
    return std::any_of(commands_.begin(), commands_.end(),
                       [action](const Command& command) { return command.action == action; });
}

bool TrackerControl::IsCommand(DWORD processId, DWORD parentId) {
    DropEndedCommands();
    if (std::any_of(commands_.begin(), commands_.end(),
                    [processId](const Command& command) { return GetProcessId(command.process.get()) == processId; })) {
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
