// The tracker as KV-ZTL knows it, apart from any window that shows it: whether it runs (the
// poll, the tracker processes held with a wait, the service's notices), since when and how it
// stopped, what the user asked of it and whether that took. The strip and the icon in the
// notification area observe it; each text they show of it is made here, once.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/message_window.h"
#include "record/tracker_record.h"
#include "platform/signal_wait.h"
#include "store/settings_store.h"
#include "tracker/follow_up.h"
#include "tracker/launcher.h"
#include "tracker/process_probe.h"
#include "tracker/service_access.h"
#include "tracker/service_locator.h"
#include "tracker/tracker_control.h"
#include "tracker/tracker_history.h"
#include "tracker/tracker_service.h"

namespace kvztl {

// Before the first poll the state is not known.
enum class TrackerState { Unknown, Running, Stopped };

// The title of what tells that the tracker stopped unasked (the strip's note, the
// notification), and of what tells that a start or stop did not take.
inline constexpr const wchar_t* kUnexpectedStopTitle = L"The tracker stopped";
const wchar_t* FailureTitle(TrackerAction action) noexcept;

// Something the user asked of the tracker that failed: what, from which window, and the words.
struct TrackerFailure {
    TrackerAction action;
    HWND owner;  // may have gone since
    std::wstring text;
};

class TrackerModel;

class TrackerObserver {
public:
    // After every poll, changed or not, and whenever the words for it change.
    virtual void OnTrackerPolled(const TrackerModel& tracker) = 0;
    // The tracker stopped, and nobody had asked KV-ZTL to stop it in the 30 s before.
    virtual void OnTrackerStoppedUnasked(const TrackerModel& /*tracker*/) {}
    virtual void OnTrackerFailed(const TrackerFailure& /*failure*/) {}
    // The configuration program that KV-ZTL started has closed while the tracker runs.
    virtual void OnConfigurationClosed() {}

protected:
    TrackerObserver() = default;
    ~TrackerObserver() = default;
    TrackerObserver(const TrackerObserver&) = default;
    TrackerObserver& operator=(const TrackerObserver&) = default;
};

class TrackerModel {
public:
    struct Services {
        const SettingsStore& store;             // the tracker folder last stored
        ProcessProbe probe;                     // asked at every poll
        Launcher launcher;                      // runs what the user asks of the tracker
        DirectControl direct;                   // start and stop without a prompt where allowed
        std::function<ServiceFacts()> service;  // read when a start seems to have failed
        // Which service is the tracker's, and the access list of that service.
        std::shared_ptr<TrackerServiceLocator> serviceLocator;
        std::function<std::optional<ServiceAccess>()> serviceAccess;
        // Where the tracker's starts, stops and failed commands are recorded; none: nowhere.
        std::shared_ptr<TrackerRecord> record;
    };

    // Null if its window for messages could not be made.
    static std::unique_ptr<TrackerModel> Create(Services services);
    ~TrackerModel();
    TrackerModel(const TrackerModel&) = delete;
    TrackerModel& operator=(const TrackerModel&) = delete;

    void Observe(TrackerObserver* observer);
    void Forget(TrackerObserver* observer) noexcept;

    // Asks whether the tracker runs, and tells the observers. Also done at once when a tracker
    // process or a command ends, or the service changes.
    void Poll();

    TrackerState State() const noexcept { return state_; }
    // "RUNNING", "STOPPED", or nothing before the first poll.
    std::wstring StatusText() const;
    // Since when it runs, or when and how it stopped: the strip's tooltip, its accessible
    // description, the notification's text; as of the last poll.
    const std::wstring& Description() const noexcept { return description_; }
    // "BNBT: RUNNING" over the description's first line and the record's: the icon's tooltip.
    std::wstring Summary() const;

    // Carries out `action` off the window thread; a failure is told to the observers with
    // `owner`. Asking again while the same action is under way does nothing. The first form
    // uses the tracker folder as last stored.
    void Run(TrackerAction action, HWND owner);
    void Run(TrackerAction action, HWND owner, const std::wstring& trackerFolder);
    // Stops the running tracker, and starts it again once it has gone.
    void Restart(HWND owner);
    // True while a launch has not come back and been told.
    bool LaunchesUnderWay() const { return control_.Busy(); }

    // Whether this account may start and stop the tracker's service without a prompt, as the
    // service's access list says; nothing when there is no service or its list cannot be read.
    struct NoPromptAccess {
        std::wstring service;
        bool granted;  // an entry lets this account start, stop and query it
        bool own;      // the entry KV-ZTL adds is there, which it may take out again
        // The list with KV-ZTL's entry added, or taken out; nothing where KV-ZTL has nothing to
        // change (the rights come from an entry it did not add) or cannot.
        std::optional<std::wstring> changed;
    };
    std::optional<NoPromptAccess> NoPrompt() const;
    // Sets the service's list to `access.changed` through an elevated sc.exe, and reads it again
    // once that has ended: a failure if it did not change.
    void ChangeNoPrompt(const NoPromptAccess& access, HWND owner);

private:
    explicit TrackerModel(Services services);
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
    void OnLaunchesFinished();
    void OnServiceChanged(DWORD state, DWORD exitCode);
    void OnCommandEnded(const TrackerControl::Ended& ended);
    void OnServiceAccessChanged(DWORD exitCode);

    struct HeldTracker;
    // The ids of the held tracker processes that have not ended.
    std::vector<DWORD> LiveTrackers() const;
    static bool Ended(const HeldTracker& held) noexcept;
    void HoldTrackers(const std::vector<DWORD>& found);
    void RecordHistory(bool running);
    // Writes a change of the tracker's state to the record, and the state as it is whenever
    // watching has begun anew.
    void Record(TrackerState before);
    Cause UpCause() const;
    Cause DownCause() const;
    void TellPolled();
    void FollowUp(bool running);
    void Fail(TrackerAction action, HWND owner, const std::wstring& text);
    bool StopAskedLately() const;
    template <typename Event>
    void Tell(Event event);

    struct HeldTracker {
        DWORD id;
        UniqueHandle process;
        std::unique_ptr<SignalWait> ended;
    };
    struct StopFollowUp {
        HWND owner;
        std::chrono::steady_clock::time_point asked;
        bool thenStart;  // a restart
    };

    Services services_;
    std::unique_ptr<MessageWindow> window_;
    TrackerControl control_;
    std::unique_ptr<ServiceWatch> serviceWatch_;
    std::vector<TrackerObserver*> observers_;
    TrackerState state_ = TrackerState::Unknown;
    std::vector<HeldTracker> trackers_;
    std::optional<DWORD> lastExitCode_;  // of the last held tracker process that ended
    TrackerHistory history_;
    std::wstring description_;
    std::wstring record_;  // the record's line in the description
    std::optional<StartFollowUp> startCheck_;
    std::optional<StopFollowUp> stopCheck_;
    bool restartAsked_ = false;
    // What tells how the tracker came or went: a start asked here, the service's last notice
    // of a start or a stop (when), the exit code its STOPPED notice gave.
    std::optional<std::chrono::steady_clock::time_point> startAsked_, serviceStarting_, serviceStopping_;
    std::optional<DWORD> serviceExitCode_;
    DWORD serviceState_ = 0;              // as its last notice said; 0 before the first
    unsigned recordedWatches_ = 0;        // the record's watch the state was last written for
    std::optional<bool> noPromptWanted_;  // whether the last change of the access list asked for KV-ZTL's entry
};

}  // namespace kvztl
