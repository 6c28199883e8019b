// Faults from outside: a failing process snapshot, an unwritable store, a missing tracker,
// bad stored values.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include "app/wiring.h"
#include "store/window_place.h"
#include "support/program.h"
#include "support/test_support.h"

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

// Collects what the process sends to a debugger with OutputDebugString, which raises a
// first-chance exception that a vectored handler sees before anything else.
class DebugTraces {
public:
    DebugTraces() : handler_(AddVectoredExceptionHandler(1, &Collect)) { texts().clear(); }
    ~DebugTraces() { RemoveVectoredExceptionHandler(handler_); }
    static std::string All() {
        std::string all;
        for (const auto& text : texts()) all += text;
        return all;
    }

private:
    static std::vector<std::string>& texts() {
        static std::vector<std::string> collected;
        return collected;
    }
    static LONG CALLBACK Collect(EXCEPTION_POINTERS* info) {
        const EXCEPTION_RECORD& record = *info->ExceptionRecord;
        if (record.ExceptionCode == DBG_PRINTEXCEPTION_C && record.NumberParameters >= 2) {
            texts().emplace_back(reinterpret_cast<const char*>(record.ExceptionInformation[1]),
                                 static_cast<size_t>(record.ExceptionInformation[0]));
        }
        return EXCEPTION_CONTINUE_SEARCH;
    }
    PVOID handler_;
};

class Faults : public ::testing::Test {
protected:
    void SetUp() override { test::EndAllTrackers(); }
    void TearDown() override { test::EndAllTrackers(); }
    static void Poll(StatusWindow& window) {
        SendMessageW(window.hwnd(), WM_TIMER, StatusWindow::BNBT_SERVICE_CHECKER_TIMER, 0);
    }
    test::TestStore test;
};

TEST_F(Faults, AFailedSnapshotReadsStoppedAndTheNextPollFollowsTheTrackerAgain) {
    auto tracker = test::StartTracker();
    Launcher launcher;
    auto window = StatusWindow::Create(
        {test.store(), [](std::wstring_view name) { return IsProcessRunning(name, &FlakySnapshot); }, launcher, {}, {}});
    ASSERT_TRUE(window);
    Poll(*window);
    EXPECT_EQ(window->StatusCaption(), L"RUNNING");
    g_snapshotFails = true;
    Poll(*window);
    EXPECT_EQ(window->StatusCaption(), L"STOPPED");
    EXPECT_EQ(window->StatusColor(), kRed);
    g_snapshotFails = false;
    Poll(*window);
    EXPECT_EQ(window->StatusCaption(), L"RUNNING");
}

TEST_F(Faults, AStoreThatCannotBeWrittenLeavesTheWindowsWorking) {
    // The section exists but may only be read.
    ASSERT_TRUE(test.store().Save(L"MainLeft", L"1500"));
    test::MakeReadOnly(test.subkey());
    const DebugTraces traces;
    if (test.store().Save(L"MainLeft", L"1")) GTEST_SKIP() << "this system does not enforce registry access";
    // Not shown to the user, but not hidden from a developer either.
    EXPECT_NE(DebugTraces::All().find("KV-ZTL settings"), std::string::npos) << DebugTraces::All();
    EXPECT_NE(DebugTraces::All().find("MainLeft"), std::string::npos);

    Launcher launcher;
    auto status = StatusWindow::Create({test.store(), [](std::wstring_view) { return true; }, launcher, {}, {}});
    ASSERT_TRUE(status);
    Poll(*status);
    auto settings = SettingsWindow::Create(SettingsHostFor(*status), test.store(), launcher);
    ASSERT_TRUE(settings);
    SendMessageW(GetDlgItem(settings->hwnd(), SettingsWindow::AlwaysOnTopTimer_TICKBOX), BM_CLICK, 0, 0);
    EXPECT_TRUE(status->AlwaysOnTop()) << "the keeper switches even when the choice cannot be stored";
    SendMessageW(settings->hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(settings->hwnd(), nullptr);
    status.reset();
    EXPECT_EQ(test.store().Text(L"MainLeft", L""), L"1500");

    // Let the test key go again.
    RegDeleteTreeW(HKEY_CURRENT_USER, test.subkey().c_str());
}

TEST_F(Faults, AMissingTrackerIsReportedOncePerAttemptAndTheStripGoesOn) {
    const std::wstring path = _wgetenv(L"PATH");
    Launcher launcher;
    auto window = StatusWindow::Create({test.store(), [](std::wstring_view) { return false; }, launcher, {}, {}});
    ASSERT_TRUE(window);
    Poll(*window);
    test::DialogWatcher watcher(window->hwnd());
    for (int attempt = 0; attempt < 2; ++attempt) {
        test::DoubleClick(GetDlgItem(window->hwnd(), StatusWindow::BNBT_SERVICE_STATUS_LABEL));
    }
    test::PumpFor(200ms);
    const auto texts = watcher.Texts();
    ASSERT_EQ(texts.size(), 2u);
    for (const auto& text : texts) EXPECT_EQ(text.rfind(L"Could not start bnbt.exe: ", 0), 0u) << text;
    Poll(*window);
    EXPECT_EQ(window->StatusCaption(), L"STOPPED");
    EXPECT_EQ(_wgetenv(L"PATH"), path);
}

TEST_F(Faults, TheProgramStartsWithBadStoredValuesAtItsDefaultPlace) {
    test::ProgramStore program;
    const UINT dpi = WindowDpi(nullptr);
    for (const std::wstring& bad : {std::wstring(), std::wstring(L"abc"), std::wstring(L"1e39"),
                                    std::wstring(L"-1e39"), std::wstring(L"NaN"), std::wstring(100 * 1024, L'9')}) {
        for (const wchar_t* key : {L"MainLeft", L"MainTop", L"MainWidth", L"MainHeight", L"AlwaysOnTopTimer_TICKBOX"}) {
            ASSERT_TRUE(program.store().Save(key, bad));
        }
        const test::RunningProgram exe = test::StartProgram();
        ASSERT_TRUE(exe.window);
        RECT rect{};
        GetWindowRect(exe.window, &rect);
        EXPECT_EQ(rect, TwipsToPixels(TwipsRect{1000, 1000, 2280, 690}, dpi)) << bad.substr(0, 20);
        PostMessageW(exe.window, WM_CLOSE, 0, 0);
        ASSERT_EQ(WaitForSingleObject(exe.process->handle(), 10000), WAIT_OBJECT_0);
        // The place it closed at replaced the bad values.
        EXPECT_EQ(LoadPlace(program.store(), L"Main", {}), PixelsToTwips(rect, dpi));
    }
}

}  // namespace
}  // namespace kvztl
