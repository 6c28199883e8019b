// The built kv-ztl.exe started as a user would, checked by what the screen shows.
#include <gtest/gtest.h>

#include "platform/dpi.h"
#include "platform/placement.h"
#include "status_window/status_window.h"
#include "store/window_place.h"
#include "support/program.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;

using Program = test::ProgramTest;

TEST_F(Program, ShowsTheTrackerStateOnScreenAndStoresItsPlace) {
    HWND window = Start();
    ASSERT_TRUE(window);
    EXPECT_EQ(test::TextOf(window), L"KV-ZTL");
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));
    test::PumpFor(100ms);
    EXPECT_EQ(test::ScreenColourAt(program.Indicator()), RGB(255, 0, 0));

    auto tracker = test::StartTracker();
    ASSERT_TRUE(program.WaitForCaption(status::kRunning));
    test::PumpFor(100ms);
    EXPECT_EQ(test::ScreenColourAt(program.Indicator()), RGB(0, 255, 0));
    tracker->Terminate();
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));

    SetWindowPos(window, nullptr, 321, 123, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Close();
    const UINT dpi = SystemDpi();
    EXPECT_EQ(LoadPlace(store.store(), settings::kStatusPlacePrefix, {}),
              (TwipsRect{PixelsToTwips(321, dpi), PixelsToTwips(123, dpi), 2280, 690}));

    // The next start opens at the stored place.
    window = Start();
    ASSERT_TRUE(window);
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, 321);
    EXPECT_EQ(rect.top, 123);
    Close();
}

TEST_F(Program, DoubleClicksStartAndStopTheTrackerServiceFromTheStoredFolder) {
    const test::TrackerService service;
    service.Install();
    ASSERT_TRUE(store.store().Save(settings::kTrackerFolder, test::StandInFolder()));
    HWND window = Start();
    ASSERT_TRUE(window);
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));

    test::DoubleClick(program.Indicator());
    auto clicked = std::chrono::steady_clock::now();
    ASSERT_TRUE(program.WaitForCaption(status::kRunning));
    EXPECT_LT(std::chrono::steady_clock::now() - clicked, 1500ms);
    EXPECT_EQ(test::TrackerService::State(), static_cast<DWORD>(SERVICE_RUNNING));

    test::DoubleClick(program.Indicator());
    clicked = std::chrono::steady_clock::now();
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));
    EXPECT_LT(std::chrono::steady_clock::now() - clicked, 1500ms);
    EXPECT_TRUE(test::PumpUntil([] { return test::TrackerService::State() == SERVICE_STOPPED; }, 2s));
    Close();
}

// Wine takes the system DPI from the user's LogPixels when a process starts; Windows only
// after the user signs in again, so there this test has nothing to show.
class ProgramAt144Dpi : public test::ProgramTest {
protected:
    void SetUp() override {
        if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
            GTEST_SKIP() << "needs Wine's per-process LogPixels";
        }
        ProgramTest::SetUp();
        dpi.emplace(L"Control Panel\\Desktop", L"LogPixels", DWORD{144});
    }
    std::optional<test::ScopedUserValue> dpi;
};

TEST_F(ProgramAt144Dpi, EverythingIsOneAndAHalfTimesAsLarge) {
    HWND window = Start();
    ASSERT_TRUE(window);
    RECT rect{};
    GetWindowRect(window, &rect);
    // 2280 x 690 twips: 152 x 46 pixels at 96 DPI, 228 x 69 at 144.
    EXPECT_EQ(rect.right - rect.left, 228);
    EXPECT_EQ(rect.bottom - rect.top, 69);
    GetWindowRect(program.Indicator(), &rect);
    EXPECT_EQ(rect.right - rect.left, 135);  // 1350 twips
    EXPECT_EQ(rect.bottom - rect.top, 36);   // 360 twips
    Close();
}

TEST_F(Program, StartsWithBadStoredValuesAtItsDefaultPlaceAndReplacesThem) {
    const UINT dpi = SystemDpi();
    for (const std::wstring& bad : {std::wstring(), std::wstring(L"abc"), std::wstring(L"1e39"), std::wstring(L"NaN"),
                                    std::wstring(102400, L'9')}) {
        for (const wchar_t* key : {L"MainLeft", L"MainTop", L"MainWidth", L"MainHeight", settings::kAlwaysOnTop}) {
            ASSERT_TRUE(store.store().Save(key, bad));
        }
        ASSERT_TRUE(Start());
        RECT rect{};
        GetWindowRect(program.window, &rect);
        EXPECT_EQ(rect, TwipsToPixels(settings::kStatusPlaceDefault, dpi)) << bad.substr(0, 20);
        Close();
        // The place it closed at replaced the bad values.
        EXPECT_EQ(LoadPlace(store.store(), settings::kStatusPlacePrefix, {}), PlaceToTwips(rect, dpi, dpi));
    }
}

}  // namespace
}  // namespace kvztl
