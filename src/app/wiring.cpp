#include "app/wiring.h"

namespace kvztl {

SettingsWindow::Host SettingsHostFor(StatusWindow& status) {
    return {
        .owner = status.hwnd(),
        .statusCaption = [&status] { return status.StatusCaption(); },
        .setAlwaysOnTop = [&status](bool enabled) { status.SetAlwaysOnTop(enabled); },
    };
}

StatusWindow::Services ProgramServices(const SettingsStore& store, const Launcher& launcher) {
    return {
        .store = store,
        .probe = [](std::wstring_view name) { return IsProcessRunning(name); },
        .launcher = launcher,
        .openSettings = [&store, &launcher](StatusWindow& status) {
            SettingsWindow::ShowModal(SettingsHostFor(status), store, launcher);
        },
        .closed = [] { PostQuitMessage(0); },
    };
}

}  // namespace kvztl
