// KV_ZTL_MAIN: the strip that shows whether the tracker runs, starts or stops it on a
// double-click, and keeps itself on top when asked.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/balloon.h"
#include "platform/form.h"
#include "platform/signal_wait.h"
#include "store/settings_store.h"
#include "tracker/launcher.h"
#include "tracker/follow_up.h"
#include "tracker/process_probe.h"
#include "tracker/service_access.h"
#include "tracker/service_locator.h"
#include "tracker/tracker_control.h"
#include "tracker/tracker_history.h"
#include "tracker/tracker_service.h"

namespace kvztl {

class StatusWindow final : public Form {
public:
    static constexpr const wchar_t* kClassName = L"KV_ZTL_MAIN";

    // Control and timer identifiers, named after the controls.
    enum Control : int { KORVANE_ZTL_TITLE = 101, BNBT_SERVICE_STATUS_LABEL = 102 };
    enum Timer : UINT_PTR { BNBT_SERVICE_CHECKER_TIMER = 1, AlwaysOnTopTimer = 2 };

    // The items it adds to its system menu (multiples of 16, below the system's own).
    enum MenuItem : UINT {
        StartTrackerItem = 0x10,
        StopTrackerItem = 0x20,
        SettingsItem = 0x30,
        StartWithWindowsItem = 0x40,
        AlertItem = 0x50,
        AboutItem = 0x60,
        RestartTrackerItem = 0x70,
        NoPromptItem = 0x80,
    };

    struct Services {
        const SettingsStore& store;
        ProcessProbe probe;                     // asked at every poll
        Launcher launcher;                      // runs what the user asks of the tracker
        DirectControl direct;                   // start and stop without a prompt where allowed
        std::function<ServiceFacts()> service;  // read when a start seems to have failed
        // Which service is the tracker's, and the access list of that service.
        std::shared_ptr<TrackerServiceLocator> serviceLocator;
        std::function<std::optional<ServiceAccess>()> serviceAccess;
        std::chrono::milliseconds pollInterval{500};
        std::function<void(StatusWindow&)> openSettings;  // double-click on the title
        std::function<void()> closing;                    // the window has begun to close
        std::function<void()> closed;                     // the window has gone
        std::function<void(HWND)> alert;                  // the tracker stopped unasked
    };

    // Creates and loads the window (hidden); null if the system refused.
    static Ptr<StatusWindow> Create(Services services);

    // The indicator as the rest of the program reads it.
    std::wstring StatusCaption() const { return controls().Text(BNBT_SERVICE_STATUS_LABEL); }
    COLORREF StatusColor() const noexcept { return *controls().BackColor(BNBT_SERVICE_STATUS_LABEL); }

    // Carries out `action` off the window thread; a failure is told in a message owned by
    // `owner` (or the strip, once `owner` has gone). Asking again while the same action is
    // under way does nothing.
    void Run(TrackerAction action, HWND owner, const std::wstring& trackerFolder);
    // True while a launch has not come back and been told.
    bool LaunchesUnderWay() const { return control_ && control_->Busy(); }

    // What the indicator's tooltip and accessible description say now.
    std::wstring Description() const;

    // The always-on-top keeper, AlwaysOnTopTimer: switching it off only stops the ticks.
    void SetKeeperEnabled(bool enabled) noexcept;
    bool KeeperEnabled() const noexcept { return keeperEnabled_; }

private:
    explicit StatusWindow(Services services) : services_(std::move(services)) {}

    void OnTimer(UINT_PTR id) override;
    void OnCommand(int id, int code) override;
    void OnDestroyed() override;
    void OnSystemMenuOpening(HMENU menu) override;
    bool OnSystemCommand(UINT id) override;
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

    void Form_Load() override;
    void Form_QueryUnload() override;
    void Form_Unload() override;
    void BNBT_SERVICE_CHECKER_TIMER_Timer();
    void AlwaysOnTopTimer_Timer() noexcept;
    void BNBT_SERVICE_STATUS_LABEL_DblClick();
    void KORVANE_ZTL_TITLE_DblClick();

    // Beyond the classic events: the menu, the alert, a second start.
    void AddMenuItems() noexcept;
    // With the tracker folder as stored; told to `owner`, or the strip.
    void AskTracker(TrackerAction action, HWND owner = nullptr);
    void OnLaunchesFinished();
    void OnCommandEnded(const TrackerControl::Ended& ended);
    void OnRestartQuestion();
    void OnServiceAccessChanged(DWORD exitCode);
    void OnServiceChanged(DWORD state, DWORD exitCode);
    void OnRestartChosen();
    void OnNoPromptChosen();
    void OnMouseOverIndicator();
    void OnStartWithWindowsChosen();
    void OnAlertChosen();
    void OnAboutChosen();
    void OnTrackerStopped();
    void ComeForward() noexcept;
    bool AlertEnabled() const;
    std::optional<ServiceAccess> ServiceAccessNow() const;
    bool StopAskedLately() const;

    // The poll's helpers: the tracker's processes held with a wait, its history, the checks
    // after a start or a stop, and a failure told once.
    void HoldTrackers(const std::vector<DWORD>& found);
    void RecordHistory(bool running);
    void ShowDescription();
    void FollowUp(bool running);
    void Tell(HWND owner, const std::wstring& text);

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
    std::unique_ptr<TrackerControl> control_;
    std::unique_ptr<ServiceWatch> serviceWatch_;
    std::vector<HeldTracker> trackers_;
    std::optional<DWORD> lastExitCode_;  // of the last held tracker process that ended
    TrackerHistory history_;
    std::wstring description_;
    UniqueWindow tip_;
    Balloon balloon_;
    std::optional<StartFollowUp> startCheck_;
    std::optional<StopFollowUp> stopCheck_;
    bool restartAsked_ = false;
    std::optional<bool> noPromptWanted_;  // what the last change of the service's access list asked for
    bool keeperEnabled_ = false;
    bool telling_ = false;  // a failure's message is up
};

}  // namespace kvztl
