// The built kv-ztl.exe started as a user would, checked by what the screen shows.
#include <gtest/gtest.h>

#include "platform/dpi.h"
#include "status_window/status_window.h"
#include "store/window_place.h"
#include "tracker/process_probe.h"
#include "support/program.h"
#include "support/test_support.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;

class Program : public ::testing::Test {
protected:
    void SetUp() override { test::EndAllTrackers(); }
    void TearDown() override { test::EndAllTrackers(); }

    // Starts kv-ztl.exe and waits for its status window.
    HWND Start() {
        program = test::StartProgram();
        return program.window;
    }
    bool WaitForCaption(const std::wstring& caption) { return program.WaitForCaption(caption); }
    void CloseAndWait() {
        PostMessageW(program.window, WM_CLOSE, 0, 0);
        ASSERT_EQ(WaitForSingleObject(program.process->handle(), 10000), WAIT_OBJECT_0);
        DWORD code = 1;
        GetExitCodeProcess(program.process->handle(), &code);
        EXPECT_EQ(code, 0u);
    }

    test::ProgramStore store;
    test::RunningProgram program;
};

TEST_F(Program, ShowsTheTrackerStateOnScreenAndStoresItsPlace) {
    HWND window = Start();
    ASSERT_TRUE(window);
    EXPECT_EQ(test::TextOf(window), L"KV-ZTL");
    HWND indicator = GetDlgItem(window, StatusWindow::BNBT_SERVICE_STATUS_LABEL);
    ASSERT_TRUE(WaitForCaption(L"STOPPED"));
    test::PumpFor(100ms);
    EXPECT_EQ(test::ScreenColourAt(indicator), RGB(255, 0, 0));

    auto tracker = test::StartTracker();
    ASSERT_TRUE(WaitForCaption(L"RUNNING"));
    test::PumpFor(100ms);
    EXPECT_EQ(test::ScreenColourAt(indicator), RGB(0, 255, 0));
    tracker->Terminate();
    ASSERT_TRUE(WaitForCaption(L"STOPPED"));

    SetWindowPos(window, nullptr, 321, 123, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    CloseAndWait();
    const UINT dpi = WindowDpi(nullptr);
    EXPECT_EQ(LoadPlace(store.store(), L"Main", {}),
              (TwipsRect{PixelsToTwips(321, dpi), PixelsToTwips(123, dpi), 2280, 690}));

    // The next start opens at the stored place.
    window = Start();
    ASSERT_TRUE(window);
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, 321);
    EXPECT_EQ(rect.top, 123);
    CloseAndWait();
}

TEST_F(Program, DoubleClicksStartAndStopTheTrackerServiceFromTheStoredFolder) {
    const test::TrackerService service;
    service.Install();
    ASSERT_TRUE(store.store().Save(L"BNBT_FOLDER_TEXTBOX", test::BinDirectory() + L"\\stand-in"));
    HWND window = Start();
    ASSERT_TRUE(window);
    HWND indicator = GetDlgItem(window, StatusWindow::BNBT_SERVICE_STATUS_LABEL);
    ASSERT_TRUE(WaitForCaption(L"STOPPED"));

    test::DoubleClick(indicator);
    auto clicked = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitForCaption(L"RUNNING"));
    EXPECT_LT(std::chrono::steady_clock::now() - clicked, 1500ms);
    EXPECT_EQ(test::TrackerService::State(), static_cast<DWORD>(SERVICE_RUNNING));

    test::DoubleClick(indicator);
    clicked = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitForCaption(L"STOPPED"));
    EXPECT_LT(std::chrono::steady_clock::now() - clicked, 1500ms);
    EXPECT_TRUE(test::PumpUntil([] { return test::TrackerService::State() == SERVICE_STOPPED; }, 2s));
    CloseAndWait();
}

// Wine takes the system DPI from the user's LogPixels when a process starts; Windows only
// after the user signs in again, so there this test has nothing to show.
class ProgramAt144Dpi : public Program {
protected:
    void SetUp() override {
        if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
            GTEST_SKIP() << "needs Wine's per-process LogPixels";
        }
        Program::SetUp();
        DWORD bytes = sizeof(savedDpi);
        hadDpi = RegGetValueW(HKEY_CURRENT_USER, kDesktop, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &savedDpi,
                              &bytes) == ERROR_SUCCESS;
        const DWORD dpi = 144;
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kDesktop, L"LogPixels", REG_DWORD, &dpi, sizeof(dpi)),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        if (IsSkipped()) return;
        if (hadDpi) {
            RegSetKeyValueW(HKEY_CURRENT_USER, kDesktop, L"LogPixels", REG_DWORD, &savedDpi, sizeof(savedDpi));
        } else {
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktop, L"LogPixels");
        }
        Program::TearDown();
    }
    static constexpr const wchar_t* kDesktop = L"Control Panel\\Desktop";
    DWORD savedDpi = 0;
    bool hadDpi = false;
};

TEST_F(ProgramAt144Dpi, EverythingIsOneAndAHalfTimesAsLarge) {
    HWND window = Start();
    ASSERT_TRUE(window);
    RECT rect{};
    GetWindowRect(window, &rect);
    // 2280 x 690 twips: 152 x 46 pixels at 96 DPI, 228 x 69 at 144.
    EXPECT_EQ(rect.right - rect.left, 228);
    EXPECT_EQ(rect.bottom - rect.top, 69);
    HWND indicator = GetDlgItem(window, StatusWindow::BNBT_SERVICE_STATUS_LABEL);
    GetWindowRect(indicator, &rect);
    EXPECT_EQ(rect.right - rect.left, 135);  // 1350 twips
    EXPECT_EQ(rect.bottom - rect.top, 36);   // 360 twips
    CloseAndWait();
}

}  // namespace
}  // namespace kvztl
