#include "app/wiring.h"

#include <commdlg.h>

#include "platform/com.h"
#include "platform/system_entry.h"
#include "platform/system_message.h"
#include "store/choices.h"
#include "platform/window.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

// A warning owned by the window in front of the program, if it shows.
void Warn(const std::wstring& text) {
    // A window that is closing is hidden already and owns nothing.
    HWND owner = GetActiveWindow();
    if (owner && !IsWindowVisible(owner)) owner = nullptr;
    MessageBoxW(owner, text.c_str(), kProgramName, MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
}

}  // namespace

void TellStoreFailureOnce(std::wstring_view key, LSTATUS error) {
    static bool told = false;
    if (told || SessionEnding()) return;
    told = true;
    const std::wstring text =
        L"KV-ZTL could not save the setting \"" + std::wstring(key) + L"\": " +
        SystemMessage(static_cast<DWORD>(error)) +
        L"\n\nThe program goes on working, but what it cannot save is not there at the next start.";
    Warn(text);
}

SettingsWindow::Host SettingsHostFor(StatusWindow& status) {
    return {
        .owner = status.hwnd(),
        .statusCaption = [&status] { return status.StatusCaption(); },
        .setKeeperEnabled = [&status](bool enabled) { status.SetKeeperEnabled(enabled); },
        .run = [&status](TrackerAction action, HWND owner,
                         const std::wstring& trackerFolder) { status.Run(action, owner, trackerFolder); },
        .openHistory = [&status] { status.OpenHistory(); },
    };
}

void OpenInFileBrowser(const std::wstring& folder) {
    using ShellExecuteFn = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
    const auto shellExecute = SystemEntry<ShellExecuteFn>(L"shell32.dll", "ShellExecuteExW");
    if (!shellExecute) return;
    const ComApartment com;  // the shell asks for it
    const std::wstring explorer = ExplorerPath();
    const std::wstring parameters = L"\"" + folder + L"\"";
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = explorer.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    shellExecute(&info);
}

std::optional<std::wstring> ChooseCsvFile(HWND owner) {
    using SaveFn = BOOL(WINAPI*)(OPENFILENAMEW*);
    const auto getSaveFileName = SystemEntry<SaveFn>(L"comdlg32.dll", "GetSaveFileNameW");
    if (!getSaveFileName) return std::nullopt;
    wchar_t path[MAX_PATH] = L"tracker-record.csv";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = L"Comma-separated values (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = L"csv";
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!getSaveFileName(&dialog)) return std::nullopt;
    return std::wstring(path);
}

void TellRecordFailureOnce(const JournalFailure& failure) {
    if (SessionEnding()) return;
    Warn(L"KV-ZTL cannot write the tracker's record to \"" + failure.path + L"\": " + SystemMessage(failure.error) +
         L"\n\nIt keeps what happens in memory and writes it there as soon as it can.");
}

StatusWindow::Services ProgramServices(const SettingsStore& store, SingleInstance* instance) {
    auto locator = std::make_shared<TrackerServiceLocator>();
    std::shared_ptr<TrackerRecord> record =
        TrackerRecord::Create(store, Journal::DefaultFolder(), {.cannotWrite = &TellRecordFailureOnce});
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
                .record = std::move(record),
            },
        .openSettings = [&store](StatusWindow& status) { SettingsWindow::ShowModal(SettingsHostFor(status), store); },
        .openHistory = {},
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
    services.openHistory = [self] { self->OpenHistory(); };
    faces->record_ = services.tracker.record;
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

void ProgramFaces::OpenHistory() {
    if (history_ && history_->hwnd()) {
        if (IsIconic(history_->hwnd())) ShowWindow(history_->hwnd(), SW_RESTORE);
        SetForegroundWindow(history_->hwnd());
        return;
    }
    history_.reset();  // closed since
    if (!record_) return;
    history_ = HistoryWindow::Create(
        {.store = store_, .record = *record_, .openFolder = &OpenInFileBrowser, .chooseExportFile = &ChooseCsvFile});
    if (history_) history_->Show();
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
