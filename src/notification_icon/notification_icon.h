// KV-ZTL's icon in the notification area: the tracker's state as a green, red or grey disc,
// the strip's words in its tip, the strip's menu on a right-click, and Windows' own
// notifications when the tracker stops unasked or a start or stop fails. It observes the
// tracker's model; what it does to the strip it asks of its host.
//
// The shell answers a call only once the taskbar has (up to 4 s when it is busy), and at sign-in
// the taskbar may not be ready at all: every call is made on a thread of its own, an add that
// fails is tried again with a growing pause until it is confirmed, and an icon whose add was
// ever sent is removed when the program ends.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "notification_icon/indicator.h"
#include "platform/message_window.h"
#include "platform/serial_worker.h"
#include "store/settings_store.h"
#include "tracker/tracker_model.h"

namespace kvztl {

class NotificationIcon final : private TrackerObserver {
public:
    static constexpr const wchar_t* kClassName = L"KV_ZTL_NOTIFICATION_ICON";

    // Its own menu items, after the strip's (multiples of 16, above the strip's).
    enum MenuItem : UINT { ShowStripItem = 0xA0, ExitItem = 0xB0 };

    struct Host {
        const SettingsStore& store;               // whether to tell of an unasked stop
        std::function<void()> comeForward;        // the strip shown and in front
        std::function<void(HMENU)> addMenuItems;  // the strip's items, enabled and ticked as now
        std::function<bool(UINT)> choose;         // carries out one of them
        std::function<bool()> stripShown;
        std::function<void(bool)> showStrip;  // the user's choice, stored
        std::function<void()> revealStrip;    // shown while the icon cannot stand for it, not stored
        // The note by the strip, where Windows refused the notification.
        std::function<void(const wchar_t* title, const std::wstring& text)> note;
        std::function<void()> exit;       // closes the strip, which ends the program
        std::function<HWND()> waitingOn;  // a window the strip waits on (a message, the settings)
    };

    // The notification area as the icon reaches it: Shell_NotifyIconW (called on the icon's own
    // thread), and how an add that failed is tried again: after `firstPause`, each pause twice
    // the last up to `longestPause`, for `retryFor` after the first failure.
    struct Shell {
        std::function<BOOL(DWORD message, NOTIFYICONDATAW* data)> notify;
        std::chrono::milliseconds firstPause{1000};
        std::chrono::milliseconds longestPause{60'000};
        std::chrono::milliseconds retryFor{15 * 60'000};
    };
    // Shell32's own; no notify when the system has no notification area.
    static Shell SystemShell();

    // Adds the icon (see Add); null if its window could not be made or `shell` cannot notify.
    static std::unique_ptr<NotificationIcon> Create(TrackerModel& tracker, Host host, Shell shell = SystemShell());
    // Removes the icon, and waits a little for the shell to have taken that.
    ~NotificationIcon();
    NotificationIcon(const NotificationIcon&) = delete;
    NotificationIcon& operator=(const NotificationIcon&) = delete;

    // Puts the icon in the notification area (again whenever the taskbar is made anew), trying
    // again for a while until the shell confirms it; meanwhile a hidden strip shows.
    void Add();
    // Takes it out until the next Add; also an icon whose add the shell never confirmed.
    void Remove() noexcept;
    // Wanted and not yet refused: an add is on its way or confirmed.
    bool Standing() const noexcept { return wanted_ && (added_ || adding_); }
    // Confirmed by the shell.
    bool Shown() const noexcept { return added_; }

    HWND hwnd() const noexcept { return window_->hwnd(); }

private:
    // Posted back by the calls made on the icon's thread.
    enum Posted : UINT { AddedMessage = WM_APP + 2, NotifiedMessage = WM_APP + 3 };
    enum Timer : UINT_PTR { RetryTimer = 1 };
    using SharedIcon = std::shared_ptr<std::remove_pointer_t<HICON>>;

    NotificationIcon(TrackerModel& tracker, Host host, Shell shell)
        : tracker_(tracker), host_(std::move(host)), shell_(std::move(shell)) {}

    std::optional<LRESULT> OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
    void OnIconEvent(UINT event, POINT anchor);
    void OnOpenMenu(POINT anchor);
    void OnOpen();
    bool BringWaitingForward();
    void OnTaskbarCreated();
    void OnScaleChanged();
    void OnAdded(UINT generation, bool added, bool version4);
    void OnNotified(UINT note, bool shown);

    // What the tracker's model tells.
    void OnTrackerPolled(const TrackerModel& tracker) override;
    void OnTrackerStoppedUnasked(const TrackerModel& tracker) override;
    void OnTrackerFailed(const TrackerFailure& failure) override;

    void TryAdd();
    // Draws the picture and words the tip for the tracker as it is now: the NIF_ flags of
    // what changed.
    UINT Refresh();
    // Tells the notification area what changed, while the icon is there.
    void Update();
    NOTIFYICONDATAW Data(UINT flags) const noexcept;
    // Makes a call on the icon's thread; `done` is told (there) whether the shell took it.
    void Call(DWORD message, const NOTIFYICONDATAW& data, std::function<void(BOOL)> done = {});
    void Notify(const wchar_t* title, const std::wstring& text, DWORD kind, bool noteIfRefused);

    TrackerModel& tracker_;
    Host host_;
    Shell shell_;
    std::unique_ptr<MessageWindow> window_;
    std::unique_ptr<SerialWorker> calls_;
    bool wanted_ = false;                // added by the user's choice, to come back with the taskbar
    bool added_ = false;                 // confirmed in the notification area
    bool adding_ = false;                // an add is on its way
    bool sent_ = false;                  // an add went out since the last removal: the shell may hold the icon
    UINT generation_ = 0;                // counts removals and new taskbars: an add's answer from before is stale
    bool version4_ = false;              // tells its events the current way (WM_CONTEXTMENU, anchors)
    std::chrono::milliseconds pause_{};  // before the next try of an add
    ULONGLONG retryUntil_ = 0;           // GetTickCount64 after which a failed add is left
    int size_ = 0;                       // the notification area's icon size now
    SharedIcon image_;                   // kept by each call that carries it until the call is made
    COLORREF imageColor_ = CLR_INVALID;
    int imageSize_ = 0;
    std::wstring tip_;
    // The notes that stand in for the notifications of unasked stops that Windows refuses,
    // by the number of each notification until the shell has answered it.
    std::map<UINT, std::wstring> notesIfRefused_;
    UINT notes_ = 0;
};

}  // namespace kvztl
