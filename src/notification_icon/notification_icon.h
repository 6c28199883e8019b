// KV-ZTL's icon in the notification area: the tracker's state as a green, red or grey disc,
// the strip's words in its tip, the strip's menu on a right-click, and Windows' own
// notifications when the tracker stops unasked or a start or stop fails. It observes the
// tracker's model; what it does to the strip it asks of its host.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "notification_icon/indicator.h"
#include "platform/message_window.h"
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
        std::function<void(bool)> showStrip;
        std::function<void()> exit;       // closes the strip, which ends the program
        std::function<HWND()> waitingOn;  // a window the strip waits on (a message, the settings)
    };

    // Adds the icon (see Add); null if its window could not be made or the system has no
    // notification area.
    static std::unique_ptr<NotificationIcon> Create(TrackerModel& tracker, Host host);
    ~NotificationIcon();
    NotificationIcon(const NotificationIcon&) = delete;
    NotificationIcon& operator=(const NotificationIcon&) = delete;

    // Puts the icon in the notification area, and again whenever the taskbar is made anew;
    // false while there is no taskbar to take it (it comes when the taskbar does).
    bool Add();
    // Takes it out until the next Add.
    void Remove() noexcept;
    bool Shown() const noexcept { return added_; }

    HWND hwnd() const noexcept { return window_->hwnd(); }

private:
    using NotifyFn = BOOL(WINAPI*)(DWORD, NOTIFYICONDATAW*);

    NotificationIcon(TrackerModel& tracker, Host host, NotifyFn notify)
        : tracker_(tracker), host_(std::move(host)), notify_(notify) {}

    std::optional<LRESULT> OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
    void OnIconEvent(UINT event, POINT anchor);
    void OnOpenMenu(POINT anchor);
    void OnOpen();
    bool BringWaitingForward();
    void OnTaskbarCreated();
    void OnScaleChanged();

    // What the tracker's model tells.
    void OnTrackerPolled(const TrackerModel& tracker) override;
    void OnTrackerStoppedUnasked(const TrackerModel& tracker) override;
    void OnTrackerFailed(const TrackerFailure& failure) override;

    // Draws the picture and words the tip for the tracker as it is now: the NIF_ flags of
    // what changed.
    UINT Refresh();
    // Tells the notification area what changed, while the icon is there.
    void Update();
    NOTIFYICONDATAW Data(UINT flags) const noexcept;
    void Modify(UINT flags);
    void Notify(const wchar_t* title, const std::wstring& text, DWORD kind);

    TrackerModel& tracker_;
    Host host_;
    NotifyFn notify_;
    std::unique_ptr<MessageWindow> window_;
    bool wanted_ = false;    // added by the user's choice, to come back with the taskbar
    bool added_ = false;     // in the notification area now
    bool version4_ = false;  // tells its events the current way (WM_CONTEXTMENU, anchors)
    int size_ = 0;           // the notification area's icon size now
    UniqueIcon image_;
    COLORREF imageColor_ = CLR_INVALID;
    int imageSize_ = 0;
    std::wstring tip_;
};

}  // namespace kvztl
