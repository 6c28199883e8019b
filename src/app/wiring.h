// How the two windows meet: the status window opens the settings window, which reads the
// indicator and switches the keeper.
#pragma once

#include "settings_window/settings_window.h"
#include "status_window/status_window.h"

namespace kvztl {

SettingsWindow::Host SettingsHostFor(StatusWindow& status);

// The status window's services with the real process probe and the settings window
// opened modally on a double-click on its title.
StatusWindow::Services ProgramServices(const SettingsStore& store, const Launcher& launcher);

}  // namespace kvztl
