// The program's windows made in the test's own process, with stand-ins for the system where
// the test is about the window's logic: a probe that answers `trackerRunning`, a shell that
// records its calls, an alert that counts, and a private settings key.
#pragma once

#include <gtest/gtest.h>

#include "app/wiring.h"
#include "support/test_support.h"

namespace kvztl::test {

class WindowTest : public ::testing::Test {
public:  // a timer callback inside a modal loop reaches the fixture too
    // A shown status window whose probe answers `trackerRunning` unless one is given.
    Form::Ptr<StatusWindow> OpenStatus(ProcessProbe probe = {});
    // Polls as its timer would.
    static void Poll(StatusWindow& window);
    // A shown settings window over `status`, as a double-click on its title opens it.
    Form::Ptr<SettingsWindow> OpenSettings(StatusWindow& status);

    static HWND Item(const Form& window, int id) { return GetDlgItem(window.hwnd(), id); }

    TestStore test;
    bool trackerRunning = false;
    int alerts = 0;
    ShellRecorder shell;
    Launcher launcher{std::ref(shell)};
};

}  // namespace kvztl::test
