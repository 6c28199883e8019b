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
    // The fixture's stand-ins: a probe that answers `trackerRunning`, the recording shell,
    // the counting alert, no settings window.
    StatusWindow::Services StandIns();
    // A shown status window with the fixture's stand-ins, changed by `adjust` where a test
    // needs its own.
    Form::Ptr<StatusWindow> OpenStatus(const std::function<void(StatusWindow::Services&)>& adjust = {});
    // Polls as its timer would.
    static void Poll(StatusWindow& window);
    // Waits (pumping messages) until every launch the window made has come back and been
    // told; false if one is still under way after 10 s.
    static bool Settle(const StatusWindow& window);
    // A shown settings window over `status`, as a double-click on its title opens it.
    Form::Ptr<SettingsWindow> OpenSettings(StatusWindow& status);

    static HWND Item(const Form& window, int id) { return GetDlgItem(window.hwnd(), id); }

    TestStore test;
    bool trackerRunning = false;
    int alerts = 0;
    ShellRecorder shell;
};

}  // namespace kvztl::test
