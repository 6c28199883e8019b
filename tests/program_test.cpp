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
    ASSERT_EQ(SystemDpi(), 96u) << "the figures are at 96 DPI, 15 twips a pixel";
    EXPECT_EQ(LoadPlace(store.store(), settings::kStatusPlacePrefix, {}), (TwipsRect{4815, 1845, 2280, 690}));

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
    const test::TrackerService& service = Service();
    service.Install();
    ASSERT_TRUE(store.store().Save(settings::kTrackerFolder, test::StandInFolder()));
    HWND window = Start();
    ASSERT_TRUE(window);
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));

    // How soon the strip follows is `make bench`'s to measure.
    test::DoubleClick(program.Indicator());
    ASSERT_TRUE(program.WaitForCaption(status::kRunning));
    EXPECT_TRUE(test::PumpUntil([] { return test::TrackerService::State() == SERVICE_RUNNING; }, 10s));

    test::DoubleClick(program.Indicator());
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));
    EXPECT_TRUE(test::PumpUntil([] { return test::TrackerService::State() == SERVICE_STOPPED; }, 10s));
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
    ASSERT_EQ(SystemDpi(), 96u) << "the figures are at 96 DPI, 15 twips a pixel";
    for (const std::wstring& bad : {std::wstring(), std::wstring(L"abc"), std::wstring(L"1e39"), std::wstring(L"NaN"),
                                    std::wstring(102400, L'9')}) {
        for (const wchar_t* key : {L"MainLeft", L"MainTop", L"MainWidth", L"MainHeight", settings::kAlwaysOnTop}) {
            ASSERT_TRUE(store.store().Save(key, bad));
        }
        ASSERT_TRUE(Start());
        RECT rect{};
        GetWindowRect(program.window, &rect);
        // The default place, 1000, 1000, 2280 x 690 twips.
        EXPECT_EQ(rect, (RECT{67, 67, 67 + 152, 67 + 46})) << bad.substr(0, 20);
        Close();
        // The place it closed at replaced the bad values: 67 px is 1005 twips.
        EXPECT_EQ(LoadPlace(store.store(), settings::kStatusPlacePrefix, {}), (TwipsRect{1005, 1005, 2280, 690}));
    }
}

}  // namespace
}  // namespace kvztl
