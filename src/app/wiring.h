// How the two windows meet: the status window opens the settings window, which reads the
// indicator and switches the keeper.
#pragma once

#include "app/single_instance.h"
#include "settings_window/settings_window.h"
#include "status_window/status_window.h"

namespace kvztl {

SettingsWindow::Host SettingsHostFor(StatusWindow& status);

// Tells the user that `key` could not be stored and the system's reason: the first time in a
// run only, so that the program goes on working without a message at every write.
void TellStoreFailureOnce(std::wstring_view key, LSTATUS error);

// The status window's services with the real process probe and shell, and the settings
// window opened modally on a double-click on its title. As soon as the window begins to close
// the strip withdraws from `instance` (if it has one), so that a start meanwhile waits for
// this process to end instead of handing over to a strip that is going; when it has gone, the
// program ends.
StatusWindow::Services ProgramServices(const SettingsStore& store, SingleInstance* instance);

}  // namespace kvztl
