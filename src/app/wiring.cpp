#include "app/wiring.h"

#include "platform/system_message.h"
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

}  // namespace kvztl
