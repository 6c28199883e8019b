// Faults from outside: a failing process snapshot, a settings key that may not be written.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include "support/window_test.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;

bool g_snapshotFails = false;
HANDLE WINAPI FlakySnapshot(DWORD flags, DWORD processId) {
    if (g_snapshotFails) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    return CreateToolhelp32Snapshot(flags, processId);
}

class Faults : public test::WindowTest {};

TEST_F(Faults, AFailedSnapshotReadsStoppedAndTheNextPollFollowsTheTrackerAgain) {
    test::EndAllTrackers();
    auto tracker = test::StartTracker();
    // A tracker that KV-ZTL cannot hold (another account's): every poll takes a snapshot.
    auto window = OpenStatus([](StatusWindow::Services& services) {
        services.tracker.probe = [](std::wstring_view name, const ProcessFilter& ignore) {
            std::vector<DWORD> found = FindProcesses(name, &FlakySnapshot, ignore);
            for (DWORD& id : found) id = 0xFFFFFFF0;
            return found;
        };
    });
    ASSERT_TRUE(window);
    Poll(*window);
    EXPECT_EQ(window->StatusCaption(), status::kRunning);
    g_snapshotFails = true;
    Poll(*window);
    EXPECT_EQ(window->StatusCaption(), status::kStopped);
    EXPECT_EQ(window->StatusColor(), status::kStoppedColor);
    g_snapshotFails = false;
    Poll(*window);
    EXPECT_EQ(window->StatusCaption(), status::kRunning);
    tracker->Terminate();
}

TEST_F(Faults, AStoreThatCannotBeWrittenLeavesTheWindowsWorking) {
    // The section exists but may only be read.
    ASSERT_TRUE(test.store().Save(L"MainLeft", L"1500"));
    test::MakeReadOnly(test.subkey());
    const test::DebugTraces traces;
    std::vector<std::wstring> failed;
    SettingsStore store(HKEY_CURRENT_USER, test.subkey());
    store.ReportFailuresTo([&](std::wstring_view key, LSTATUS error) {
        EXPECT_EQ(error, ERROR_ACCESS_DENIED);
        failed.emplace_back(key);
    });
    if (store.Save(L"MainLeft", L"1")) GTEST_SKIP() << "this system does not enforce registry access";
    // Handed to whoever reports it, and not hidden from a developer either.
    EXPECT_EQ(failed, std::vector<std::wstring>{L"MainLeft"});
    EXPECT_NE(test::DebugTraces::All().find("KV-ZTL settings"), std::string::npos) << test::DebugTraces::All();
    EXPECT_NE(test::DebugTraces::All().find("MainLeft"), std::string::npos);

    auto status = OpenStatus();
    ASSERT_TRUE(status);
    Poll(*status);
    auto settings = OpenSettings(*status);
    ASSERT_TRUE(settings);
    SendMessageW(Item(*settings, SettingsWindow::AlwaysOnTopTimer_TICKBOX), BM_CLICK, 0, 0);
    EXPECT_TRUE(status->KeeperEnabled()) << "the keeper switches even when the choice cannot be stored";
    SendMessageW(settings->hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(settings->hwnd(), nullptr);
    // This run's choices hold all the same: reopened, the box is ticked; the alert, switched
    // off from the menu, stays off.
    settings = OpenSettings(*status);
    ASSERT_TRUE(settings);
    EXPECT_EQ(SendMessageW(Item(*settings, SettingsWindow::AlwaysOnTopTimer_TICKBOX), BM_GETCHECK, 0, 0), BST_CHECKED);
    settings.reset();
    SendMessageW(status->hwnd(), WM_SYSCOMMAND, StatusWindow::AlertItem, 0);
    const HMENU menu = GetSystemMenu(status->hwnd(), FALSE);
    SendMessageW(status->hwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, TRUE));
    EXPECT_FALSE(GetMenuState(menu, StatusWindow::AlertItem, MF_BYCOMMAND) & MF_CHECKED);
    trackerRunning = true;
    Poll(*status);
    trackerRunning = false;
    Poll(*status);
    EXPECT_EQ(alerts, 0);
    status.reset();
    // The registry itself holds what it held.
    EXPECT_EQ(test::ReadUserValue(test.subkey(), L"MainLeft"), (test::RawValue{REG_SZ, L"1500"}));

    // Let the test key go again.
    RegDeleteTreeW(HKEY_CURRENT_USER, test.subkey().c_str());
}

}  // namespace
}  // namespace kvztl
