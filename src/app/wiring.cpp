#include "app/wiring.h"

#include "platform/system_message.h"
#include "store/choices.h"
#include "platform/window.h"
#include "vocabulary.h"

namespace kvztl {

void TellStoreFailureOnce(std::wstring_view key, LSTATUS error) {
    static bool told = false;
    if (told || SessionEnding()) return;
    told = true;
    const std::wstring text =
        L"KV-ZTL could not save the setting \"" + std::wstring(key) + L"\": " +
        SystemMessage(static_cast<DWORD>(error)) +
        L"\n\nThe program goes on working, but what it cannot save is not there at the next start.";
    // A window that is closing is hidden already and owns nothing.
    HWND owner = GetActiveWindow();
    if (owner && !IsWindowVisible(owner)) owner = nullptr;
    MessageBoxW(owner, text.c_str(), kProgramName, MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
}

SettingsWindow::Host SettingsHostFor(StatusWindow& status) {
    return {
        .owner = status.hwnd(),
        .statusCaption = [&status] { return status.StatusCaption(); },
        .setKeeperEnabled = [&status](bool enabled) { status.SetKeeperEnabled(enabled); },
        .run = [&status](TrackerAction action, HWND owner,
                         const std::wstring& trackerFolder) { status.Run(action, owner, trackerFolder); },
    };
}

StatusWindow::Services ProgramServices(const SettingsStore& store, SingleInstance* instance) {
    auto locator = std::make_shared<TrackerServiceLocator>();
    return {
        .store = store,
        .tracker =
            {
                .store = store,
                .probe = [](std::wstring_view name,
                            const ProcessFilter& ignore) { return FindProcesses(name, ignore); },
                .launcher = {},
                .direct = [locator](bool start) { return ControlServiceDirectly(locator->Find(), start); },
                .service = [locator] { return QueryService(locator->Find()); },
                .serviceLocator = locator,
                .serviceAccess = [locator] { return ReadServiceAccess(locator->Find()); },
            },
        .openSettings = [&store](StatusWindow& status) { SettingsWindow::ShowModal(SettingsHostFor(status), store); },
        // A start meanwhile waits for this process to end instead of handing over to a strip
        // that is going.
        .closing =
            [instance] {
                if (instance) instance->Withdraw();
            },
        .closed = [] { PostQuitMessage(0); },
        .alert = &DrawAttention,
        .iconShown = {},
        .showIcon = {},
    };
}

namespace {

NotificationIcon::Host IconHostFor(StatusWindow& strip, const SettingsStore& store) {
    return {
        .store = store,
        .comeForward = [&strip] { strip.ComeForward(); },
        .addMenuItems =
            [&strip](HMENU menu) {
                StatusWindow::AddMenuItems(menu);
                strip.UpdateMenu(menu);
            },
        .choose = [&strip](UINT item) { return strip.Choose(item); },
        .stripShown = [&strip] { return strip.Shown(); },
        .showStrip = [&strip](bool shown) { strip.ShowStrip(shown); },
        .revealStrip = [&strip] { strip.Show(); },
        .note = [&strip](const wchar_t* title, const std::wstring& text) { strip.ShowNote(title, text); },
        // Posted: the icon that asks is still at work.
        .exit = [&strip] { PostMessageW(strip.hwnd(), WM_CLOSE, 0, 0); },
        // A disabled strip waits on a window it owns: the settings, or a message.
        .waitingOn = [&strip]() -> HWND {
            if (IsWindowEnabled(strip.hwnd())) return nullptr;
            const HWND popup = GetLastActivePopup(strip.hwnd());
            return popup != strip.hwnd() ? popup : nullptr;
        },
    };
}

}  // namespace

std::unique_ptr<ProgramFaces> ProgramFaces::Create(const SettingsStore& store, SingleInstance* instance,
                                                   ShellSource shell) {
    std::unique_ptr<ProgramFaces> faces(new ProgramFaces(store, std::move(shell)));
    StatusWindow::Services services = ProgramServices(store, instance);
    ProgramFaces* self = faces.get();
    // The icon goes as soon as the strip begins to close; the object itself only with the
    // program, as it may be the one that asked.
    services.closing = [self, withdraw = std::move(services.closing)] {
        if (withdraw) withdraw();
        if (self->icon_) self->icon_->Remove();
    };
    services.iconShown = [self] { return self->IconShown(); };
    services.showIcon = [self](bool shown) { self->ShowIcon(shown); };
    faces->strip_ = StatusWindow::Create(std::move(services));
    if (!faces->strip_) return nullptr;
    if (IsOn(store, choices::kNotificationIcon)) faces->AddIcon();
    return faces;
}

void ProgramFaces::Show() {
    // A strip the user hid stays hidden while the icon stands for it; if the icon's add fails,
    // the icon shows the strip.
    if (icon_ && icon_->Standing() && !IsOn(store_, choices::kShowStrip)) return;
    strip_->Show();
}

void ProgramFaces::ShowIcon(bool shown) {
    SetOn(store_, choices::kNotificationIcon, shown);
    if (shown) return AddIcon();
    // Taken out only: the icon may be the one that asked.
    if (icon_) icon_->Remove();
}

void ProgramFaces::AddIcon() {
    if (icon_) {
        icon_->Add();
    } else {
        icon_ = NotificationIcon::Create(strip_->Tracker(), IconHostFor(*strip_, store_),
                                         shell_ ? shell_() : NotificationIcon::SystemShell());
    }
}

}  // namespace kvztl
