// KV_ZTL_MAIN: the strip that shows whether the tracker runs, starts or stops it on a
// double-click, and keeps itself on top when asked. What it shows of the tracker comes from
// the tracker's model, which it observes.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/balloon.h"
#include "platform/form.h"
#include "store/settings_store.h"
#include "tracker/tracker_model.h"

namespace kvztl {

class StatusWindow final : public Form, private TrackerObserver {
public:
    static constexpr const wchar_t* kClassName = L"KV_ZTL_MAIN";

    // Control and timer identifiers, named after the controls.
    enum Control : int { KORVANE_ZTL_TITLE = 101, BNBT_SERVICE_STATUS_LABEL = 102 };
    enum Timer : UINT_PTR { BNBT_SERVICE_CHECKER_TIMER = 1, AlwaysOnTopTimer = 2 };

    // The items of its menu (multiples of 16, below the system's own).
    enum MenuItem : UINT {
        StartTrackerItem = 0x10,
        StopTrackerItem = 0x20,
        SettingsItem = 0x30,
        StartWithWindowsItem = 0x40,
        AlertItem = 0x50,
        AboutItem = 0x60,
        RestartTrackerItem = 0x70,
        NoPromptItem = 0x80,
        NotificationIconItem = 0x90,
        HistoryItem = 0xC0,
    };

    struct Services {
        const SettingsStore& store;
        TrackerModel::Services tracker;
        std::chrono::milliseconds pollInterval{500};
        std::function<void(StatusWindow&)> openSettings;  // double-click on the title
        std::function<void()> openHistory;                // the tracker's record
        std::function<void()> closing;                    // the window has begun to close
        std::function<void()> closed;                     // the window has gone
        std::function<void(HWND)> alert;                  // the tracker stopped unasked
        // The icon in the notification area: whether it shows (and then tells what the note
        // by the strip would), and switching it on or off. None: there is no icon.
        std::function<bool()> iconShown;
        std::function<void(bool)> showIcon;
    };

    // Creates and loads the window (hidden); null if the system refused.
    static Ptr<StatusWindow> Create(Services services);

    TrackerModel& Tracker() noexcept { return *tracker_; }

    // The indicator as the rest of the program reads it.
    std::wstring StatusCaption() const { return controls().Text(BNBT_SERVICE_STATUS_LABEL); }
    COLORREF StatusColor() const noexcept { return *controls().BackColor(BNBT_SERVICE_STATUS_LABEL); }

    // Opens the tracker's history, or brings it forward.
    void OpenHistory() { OnHistoryChosen(); }

    // Carries out `action` for `owner` (see TrackerModel::Run).
    void Run(TrackerAction action, HWND owner, const std::wstring& trackerFolder);
    bool LaunchesUnderWay() const { return tracker_->LaunchesUnderWay(); }

    // The always-on-top keeper, AlwaysOnTopTimer: switching it off only stops the ticks.
    void SetKeeperEnabled(bool enabled) noexcept;
    bool KeeperEnabled() const noexcept { return keeperEnabled_; }

    // Its menu's items, for another menu too (the icon's): put at the top of `menu`, and
    // enabled and ticked as they are now. Choose carries one out; false for another item.
    static void AddMenuItems(HMENU menu) noexcept;
    void UpdateMenu(HMENU menu) const;
    bool Choose(UINT item);

    // Shown and in front (a second start, a double-click on the icon).
    void ComeForward();
    // Shows or hides the strip, and stores the choice; it hides only while the icon shows.
    void ShowStrip(bool shown);
    // A note by the strip's lower edge for a few seconds, without taking the focus.
    void ShowNote(const wchar_t* title, const std::wstring& text);
    bool Shown() const noexcept { return IsWindowVisible(hwnd()) != FALSE; }

private:
    explicit StatusWindow(Services services) : services_(std::move(services)) {}

    void OnTimer(UINT_PTR id) override;
    void OnCommand(int id, int code) override;
    void OnDestroyed() override;
    void OnSystemMenuOpening(HMENU menu) override { UpdateMenu(menu); }
    bool OnSystemCommand(UINT id) override { return Choose(id); }
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

    void Form_Load() override;
    void Form_QueryUnload() override;
    void Form_Unload() override;
    void BNBT_SERVICE_CHECKER_TIMER_Timer() { tracker_->Poll(); }
    void AlwaysOnTopTimer_Timer() noexcept;
    void BNBT_SERVICE_STATUS_LABEL_DblClick();
    void KORVANE_ZTL_TITLE_DblClick();

    // What the tracker's model tells.
    void OnTrackerPolled(const TrackerModel& tracker) override;
    void OnTrackerStoppedUnasked(const TrackerModel& tracker) override;
    void OnTrackerFailed(const TrackerFailure& failure) override;
    void OnConfigurationClosed() override;

    // The menu's items beyond the classic events.
    void OnRestartChosen();
    void OnNoPromptChosen();
    void OnStartWithWindowsChosen();
    void OnAlertChosen();
    void OnNotificationIconChosen();
    void OnAboutChosen();
    void OnHistoryChosen();

    void OnMouseOverIndicator();
    // Messages and questions wait until the poll that brought them has ended.
    void TellNow();
    void AskToRestartNow();
    bool IconShown() const { return services_.iconShown && services_.iconShown(); }

    Services services_;
    std::unique_ptr<TrackerModel> tracker_;
    std::wstring description_;
    UniqueWindow tip_;
    Balloon balloon_;
    bool keeperEnabled_ = false;
    std::optional<TrackerFailure> toTell_;  // a failure's message, to come
    bool telling_ = false;                  // a message is up
};

}  // namespace kvztl
