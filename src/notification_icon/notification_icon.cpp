#include "notification_icon/notification_icon.h"

#include <windowsx.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/dpi.h"
#include "platform/system_entry.h"
#include "store/choices.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

constexpr UINT kIconId = 1;
constexpr UINT kCallbackMessage = WM_APP + 1;
constexpr COLORREF kUnknownColor = RGB(0xA0, 0xA0, 0xA0);

// Sent to every top-level window when the taskbar is made (Explorer has restarted).
UINT TaskbarCreatedMessage() noexcept {
    static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

// As much of `text` as the field holds, always ended; a cut is marked with an ellipsis.
template <size_t N>
void CopyInto(wchar_t (&field)[N], std::wstring_view text) noexcept {
    const size_t length = std::min(text.size(), N - 1);
    std::copy_n(text.data(), length, field);
    field[length] = L'\0';
    if (text.size() > N - 1) field[N - 2] = L'\x2026';
}

COLORREF ColorOf(TrackerState state) noexcept {
    switch (state) {
    case TrackerState::Running:
        return status::kRunningColor;
    case TrackerState::Stopped:
        return status::kStoppedColor;
    case TrackerState::Unknown:
        break;
    }
    return kUnknownColor;
}

// The size of the notification area's icons, at the DPI of the primary monitor.
int SmallIconSize() noexcept { return SystemMetricAt(SM_CXSMICON, DpiAt(POINT{0, 0})); }

}  // namespace

NotificationIcon::Shell NotificationIcon::SystemShell() {
    using NotifyFn = BOOL(WINAPI*)(DWORD, NOTIFYICONDATAW*);
    Shell shell;
    // shell32 is loaded only by those who want the icon.
    if (const auto notify = SystemEntry<NotifyFn>(L"shell32.dll", "Shell_NotifyIconW")) shell.notify = notify;
    return shell;
}

std::unique_ptr<NotificationIcon> NotificationIcon::Create(TrackerModel& tracker, Host host, Shell shell) {
    if (!shell.notify) return nullptr;
    std::unique_ptr<NotificationIcon> icon(new NotificationIcon(tracker, std::move(host), std::move(shell)));
    // A hidden top-level window: only those hear of a new taskbar.
    icon->window_ = MessageWindow::Create(
        kClassName,
        [self = icon.get()](UINT message, WPARAM wparam, LPARAM lparam) {
            return self->OnMessage(message, wparam, lparam);
        },
        true);
    if (!icon->window_) return nullptr;
    icon->calls_ = std::make_unique<SerialWorker>();
    // Run elevated, the program still hears of it from Explorer, which runs with fewer rights.
    ChangeWindowMessageFilterEx(icon->hwnd(), TaskbarCreatedMessage(), MSGFLT_ALLOW, nullptr);
    icon->size_ = SmallIconSize();
    tracker.Observe(icon.get());
    icon->Add();
    return icon;
}

NotificationIcon::~NotificationIcon() {
    tracker_.Forget(this);
    Remove();
    // The worker goes first: it waits a little for the removal to be made.
    calls_.reset();
}

void NotificationIcon::Add() {
    wanted_ = true;
    pause_ = shell_.firstPause;
    retryUntil_ = GetTickCount64() + static_cast<ULONGLONG>(shell_.retryFor.count());
    TryAdd();
}

void NotificationIcon::TryAdd() {
    KillTimer(hwnd(), RetryTimer);
    if (!wanted_ || added_ || adding_) return;
    adding_ = true;
    sent_ = true;
    Refresh();
    NOTIFYICONDATAW data = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP);
    data.uCallbackMessage = kCallbackMessage;
    calls_->Queue([notify = shell_.notify, data, image = image_, window = hwnd(), generation = generation_]() mutable {
        // A busy taskbar may take the icon and still answer that it timed out: then it is
        // there to be changed.
        const bool added = notify(NIM_ADD, &data) || notify(NIM_MODIFY, &data);
        data.uVersion = NOTIFYICON_VERSION_4;
        const bool version4 = added && notify(NIM_SETVERSION, &data);
        PostMessageW(window, AddedMessage, generation, MAKELPARAM(added, version4));
    });
}

void NotificationIcon::Remove() noexcept {
    wanted_ = false;
    KillTimer(hwnd(), RetryTimer);
    ++generation_;
    added_ = adding_ = false;
    if (!std::exchange(sent_, false)) return;
    // What waits behind a call to a busy taskbar is stale now: the removal goes next.
    calls_->DropQueued();
    try {
        Call(NIM_DELETE, Data(0));
    } catch (...) {
        // Out of memory: the icon goes with the window when the program ends.
    }
}

void NotificationIcon::OnAdded(UINT generation, bool added, bool version4) {
    // Asked before a removal or a new taskbar: what came after holds.
    if (generation != generation_) return;
    adding_ = false;
    if (added) {
        added_ = true;
        version4_ = version4;
        return Update();  // what changed on the way
    }
    // A strip hidden behind the icon shows while the icon cannot stand for it.
    if (!host_.stripShown()) host_.revealStrip();
    if (GetTickCount64() >= retryUntil_) return;
    SetTimer(hwnd(), RetryTimer, static_cast<UINT>(pause_.count()), nullptr);
    pause_ = std::min(pause_ * 2, shell_.longestPause);
}

std::optional<LRESULT> NotificationIcon::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case kCallbackMessage: {
        // The current way puts the icon's anchor in wparam; the old one leaves the cursor.
        POINT anchor{GET_X_LPARAM(wparam), GET_Y_LPARAM(wparam)};
        if (!version4_) GetCursorPos(&anchor);
        OnIconEvent(LOWORD(lparam), anchor);
        return 0;
    }
    case AddedMessage:
        OnAdded(static_cast<UINT>(wparam), LOWORD(lparam) != 0, HIWORD(lparam) != 0);
        return 0;
    case NotifiedMessage:
        OnNotified(static_cast<UINT>(lparam), wparam != 0);
        return 0;
    case WM_TIMER:
        if (wparam == RetryTimer) TryAdd();
        return 0;
    case WM_DPICHANGED:
        OnScaleChanged();
        return 0;
    case WM_DISPLAYCHANGE:
    case WM_SETTINGCHANGE:
        OnScaleChanged();
        return std::nullopt;
    }
    if (message == TaskbarCreatedMessage()) {
        OnTaskbarCreated();
        return 0;
    }
    return std::nullopt;
}

void NotificationIcon::OnIconEvent(UINT event, POINT anchor) {
    switch (event) {
    case NIN_SELECT:  // a click, or Enter after one
    case WM_LBUTTONDBLCLK:
    case NIN_KEYSELECT:
    case NIN_BALLOONUSERCLICK:
        return OnOpen();
    case WM_CONTEXTMENU:
        return OnOpenMenu(anchor);
    case WM_RBUTTONUP:
        if (!version4_) OnOpenMenu(anchor);
        return;
    }
}

bool NotificationIcon::BringWaitingForward() {
    // While the strip waits on a message or the settings, that comes forward instead.
    const HWND waiting = host_.waitingOn();
    if (waiting) SetForegroundWindow(waiting);
    return waiting != nullptr;
}

void NotificationIcon::OnOpen() {
    if (!BringWaitingForward()) host_.comeForward();
}

void NotificationIcon::OnOpenMenu(POINT anchor) {
    if (BringWaitingForward()) return;
    const UniqueMenu menu(CreatePopupMenu());
    if (!menu) return;
    host_.addMenuItems(menu.get());
    const bool stripShown = host_.stripShown();
    AppendMenuW(menu.get(), MF_STRING | (stripShown ? MF_CHECKED : MF_UNCHECKED), ShowStripItem, L"Show the st&rip");
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu.get(), MF_STRING, ExitItem, L"E&xit");
    // A click elsewhere closes the menu only while its window is in front; the message after
    // it lets the next opening take the foreground again.
    SetForegroundWindow(hwnd());
    const UINT align = GetSystemMetrics(SM_MENUDROPALIGNMENT) ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
    const auto chosen = static_cast<UINT>(TrackPopupMenuEx(
        menu.get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | align, anchor.x, anchor.y, hwnd(), nullptr));
    PostMessageW(hwnd(), WM_NULL, 0, 0);
    switch (chosen) {
    case 0:
        // Left with Esc (its key still down: the menu ended at the press), the keyboard's
        // place goes back to the notification area; a click elsewhere keeps its own.
        if (GetKeyState(VK_ESCAPE) < 0 && added_) Call(NIM_SETFOCUS, Data(0));
        return;
    case ShowStripItem:
        if (stripShown) return host_.showStrip(false);
        return host_.comeForward();
    case ExitItem:
        return host_.exit();
    default:
        host_.choose(chosen);
    }
}

void NotificationIcon::OnTaskbarCreated() {
    // The old taskbar took the icon with it, and whatever was on its way to it.
    ++generation_;
    added_ = adding_ = false;
    size_ = SmallIconSize();
    if (wanted_) Add();
}

void NotificationIcon::OnScaleChanged() {
    const int size = SmallIconSize();
    if (size == size_) return;
    size_ = size;
    Update();
}

void NotificationIcon::OnTrackerPolled(const TrackerModel& /*tracker*/) { Update(); }

void NotificationIcon::OnTrackerStoppedUnasked(const TrackerModel& tracker) {
    if (IsOn(host_.store, choices::kAlert)) Notify(kUnexpectedStopTitle, tracker.Description(), NIIF_WARNING, true);
}

void NotificationIcon::OnTrackerFailed(const TrackerFailure& failure) {
    // Told by its message as well: nothing stands in for a notification refused.
    if (failure.action == TrackerAction::Start || failure.action == TrackerAction::Stop) {
        Notify(FailureTitle(failure.action), failure.text, NIIF_ERROR, false);
    }
}

void NotificationIcon::OnNotified(UINT note, bool shown) {
    const auto waiting = notesIfRefused_.find(note);
    if (waiting == notesIfRefused_.end()) return;
    const std::wstring text = std::move(waiting->second);
    notesIfRefused_.erase(waiting);
    if (!shown) host_.note(kUnexpectedStopTitle, text);
}

UINT NotificationIcon::Refresh() {
    UINT changed = 0;
    const COLORREF color = ColorOf(tracker_.State());
    if (!image_ || color != imageColor_ || size_ != imageSize_) {
        if (UniqueIcon drawn = DrawIndicator(color, size_)) {
            image_ = std::move(drawn);
            imageColor_ = color;
            imageSize_ = size_;
            changed |= NIF_ICON;
        }
    }
    if (std::wstring tip = tracker_.Summary(); tip != tip_) {
        tip_ = std::move(tip);
        changed |= NIF_TIP | NIF_SHOWTIP;
    }
    return changed;
}

void NotificationIcon::Update() {
    if (!added_) return;
    // The shell may forget the tip of an icon changed without it.
    if (const UINT changed = Refresh()) Call(NIM_MODIFY, Data(changed | NIF_TIP | NIF_SHOWTIP));
}

NOTIFYICONDATAW NotificationIcon::Data(UINT flags) const noexcept {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = hwnd();
    data.uID = kIconId;
    data.uFlags = flags;
    data.hIcon = image_.get();
    CopyInto(data.szTip, tip_);
    return data;
}

void NotificationIcon::Call(DWORD message, const NOTIFYICONDATAW& data, std::function<void(BOOL)> done) {
    calls_->Queue([notify = shell_.notify, message, data = NOTIFYICONDATAW(data), image = image_,
                   done = std::move(done)]() mutable {
        const BOOL taken = notify(message, &data);
        if (done) done(taken);
    });
}

void NotificationIcon::Notify(const wchar_t* title, const std::wstring& text, DWORD kind, bool noteIfRefused) {
    // Not in the notification area: the strip, which saw no icon, tells it by its note.
    if (!added_) return;
    NOTIFYICONDATAW data = Data(NIF_INFO | NIF_TIP | NIF_SHOWTIP);
    CopyInto(data.szInfoTitle, title);
    CopyInto(data.szInfo, text);
    // The alert and the message box have sounds of their own.
    data.dwInfoFlags = kind | NIIF_NOSOUND;
    if (!noteIfRefused) return Call(NIM_MODIFY, data);
    const UINT note = ++notes_;
    notesIfRefused_[note] = text;
    Call(NIM_MODIFY, data, [window = hwnd(), note](BOOL shown) { PostMessageW(window, NotifiedMessage, shown, note); });
}

}  // namespace kvztl
