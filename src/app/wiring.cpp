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
    return {
        .store = store,
        .probe = [](std::wstring_view name, const ProcessFilter& ignore) { return FindProcesses(name, ignore); },
        .launcher = {},
        .direct = &ControlTrackerDirectly,
        .service = &QueryTrackerService,
        .openSettings = [&store](StatusWindow& status) { SettingsWindow::ShowModal(SettingsHostFor(status), store); },
        .closed =
            [instance] {
                if (instance) instance->Withdraw();
                PostQuitMessage(0);
            },
        .alert = &DrawAttention,
    };
}

}  // namespace kvztl
