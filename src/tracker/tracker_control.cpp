#include "tracker/tracker_control.h"

#include <algorithm>
#include <mutex>
#include <thread>

#include "vocabulary.h"

namespace kvztl {
namespace {

struct Command {
    const wchar_t* program;
    const wchar_t* parameters;
};

Command CommandOf(TrackerAction action) {
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
        break;
    }
    return {tracker::kConfigurationProgram, L""};
}

// Removing the service stops the tracker as well.
bool AsksToStop(TrackerAction action) { return action == TrackerAction::Stop || action == TrackerAction::Uninstall; }

}  // namespace

// Shared with the launching threads, which may outlive the control (a prompt still open
// when the strip closes): they hand in their outcome here and tell the window.
struct TrackerControl::Mailbox {
    HWND window;
    UINT message;
    std::mutex mutex;
    std::vector<TrackerAction> underWay;
    std::vector<Finished> finished;
};

TrackerControl::TrackerControl(HWND window, UINT message, Launcher launcher)
    : mailbox_(std::make_shared<Mailbox>(window, message)), launcher_(std::move(launcher)) {}

TrackerControl::~TrackerControl() = default;

bool TrackerControl::Run(TrackerAction action, HWND owner, const std::wstring& trackerFolder) {
    {
        const std::lock_guard lock(mailbox_->mutex);
        auto& underWay = mailbox_->underWay;
        if (std::find(underWay.begin(), underWay.end(), action) != underWay.end()) return false;
        underWay.push_back(action);
    }
    if (AsksToStop(action)) lastStopAsked_ = std::chrono::steady_clock::now();
    std::thread([mailbox = mailbox_, launcher = launcher_, action, owner, trackerFolder] {
        const Command command = CommandOf(action);
        LaunchResult result =
            action == TrackerAction::Explore
                ? launcher.Explore(owner, trackerFolder)
                : launcher.RunTrackerProgram(owner, command.program, command.parameters, trackerFolder);
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
        if (done.result.process) commands_.push_back(std::move(done.result.process));
    }
    return finished;
}

bool TrackerControl::IsCommand(DWORD processId, DWORD parentId) {
    std::erase_if(commands_,
                  [](const UniqueHandle& process) { return WaitForSingleObject(process.get(), 0) != WAIT_TIMEOUT; });
    if (std::any_of(commands_.begin(), commands_.end(),
                    [processId](const UniqueHandle& process) { return GetProcessId(process.get()) == processId; })) {
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
