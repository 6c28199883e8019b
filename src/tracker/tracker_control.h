// What the user asks of the tracker (start, stop, its service, its configuration program,
// its folder), carried out off the window thread: the shell may block for long (the
// elevation prompt, a tracker folder on a network share that is offline) while the strip
// goes on polling. Each outcome comes back to the window as a message.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/signal_wait.h"
#include "tracker/launcher.h"

namespace kvztl {

// SetServiceAccess runs the system's sc.exe with the parameters given to Run.
enum class TrackerAction { Start, Stop, Install, Uninstall, Configure, Explore, SetServiceAccess };

// Starts (true) or stops the tracker's service without elevation: its outcome, or nothing
// when this user may not (ControlTrackerDirectly).
using DirectControl = std::function<std::optional<DWORD>(bool start)>;

class TrackerControl {
public:
    // A launch that has come back: who asked, and what became of it.
    struct Finished {
        TrackerAction action;
        HWND owner;
        LaunchResult result;
    };

    // A process started by a launch that has ended.
    struct Ended {
        TrackerAction action;
        DWORD exitCode;
    };

    // Posts `finishedMessage` to `window` whenever a launch has come back, and
    // `endedMessage` when a process it started ends. Start and stop go to `direct` first,
    // when there is one.
    TrackerControl(HWND window, UINT finishedMessage, UINT endedMessage, Launcher launcher = {},
                   DirectControl direct = {});
    ~TrackerControl();
    TrackerControl(const TrackerControl&) = delete;
    TrackerControl& operator=(const TrackerControl&) = delete;

    // Starts `action`, with the tracker folder as typed; false, and nothing starts, while the
    // same action is still under way.
    bool Run(TrackerAction action, HWND owner, const std::wstring& trackerFolder, std::wstring parameters = {});

    // The launches that have come back since the last call. The processes they started are
    // kept until they end.
    std::vector<Finished> TakeFinished();

    // The processes started by launches that have ended since the last call. The poll and the
    // wait on each process both come here, so that each end is told once, whichever sees it
    // first.
    std::vector<Ended> TakeEnded();

    // True for a process that carries out a command of ours (whatever its name, it is not the
    // tracker): one started by a launch, or, while a launch is under way, any child of this
    // program.
    bool IsCommand(DWORD processId, DWORD parentId) const;

    // When the user last asked the tracker to stop: a stop still under way, or the last one
    // that went out. A stop refused or failed asked nothing, and leaves the others as they are.
    std::optional<std::chrono::steady_clock::time_point> LastStopAsked() const;

    // True while a launch has not come back yet.
    bool Busy() const;

    // True while a process started for `action` runs.
    bool CommandRunning(TrackerAction action) const;

private:
    struct Mailbox;
    // A process started by a launch, kept until it ends.
    struct Command {
        TrackerAction action;
        UniqueHandle process;
        std::unique_ptr<SignalWait> ended;
    };
    using TimePoint = std::chrono::steady_clock::time_point;

    std::shared_ptr<Mailbox> mailbox_;
    UINT endedMessage_;
    Launcher launcher_;
    DirectControl direct_;
    std::vector<Command> commands_;
    std::vector<std::pair<TrackerAction, TimePoint>> stopsUnderWay_;
    std::optional<TimePoint> stopWentOut_;
};

}  // namespace kvztl
