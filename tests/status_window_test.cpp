#include "status_window/status_window.h"

#include <gtest/gtest.h>

#include "platform/balloon.h"
#include "platform/placement.h"
#include "store/window_place.h"
#include "support/window_test.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;
using S = StatusWindow;

class StatusWindowTest : public test::WindowTest {
protected:
    static HWND Indicator(const StatusWindow& window) { return Item(window, S::BNBT_SERVICE_STATUS_LABEL); }
    static RECT ChildRect(HWND parent, int id) {
        RECT rect{};
        GetWindowRect(GetDlgItem(parent, id), &rect);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }
};

TEST_F(StatusWindowTest, ShowsTheDesignTimeLookUntilTheFirstPoll) {
    auto window = OpenStatus();
    ASSERT_TRUE(window);
    EXPECT_EQ(test::TextOf(window->hwnd()), L"KV-ZTL");
    EXPECT_EQ(window->StatusCaption(), L"");
    EXPECT_EQ(window->StatusColor(), 0xFFFF00u);
    EXPECT_EQ(test::TextOf(GetDlgItem(window->hwnd(), S::KORVANE_ZTL_TITLE)), L"BNBT:");
    const LONG_PTR exStyle = GetWindowLongPtrW(window->hwnd(), GWL_EXSTYLE);
    const LONG_PTR style = GetWindowLongPtrW(window->hwnd(), GWL_STYLE);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_TRUE(style & WS_SYSMENU);
}

// The texts and colours spelled out here, as the user sees them; other tests use the
// vocabulary's names for them.
TEST_F(StatusWindowTest, FollowsARealTrackerAsItStartsAndEnds) {
    test::EndAllTrackers();
    auto window = OpenStatus([](S::Services& services) {
        services.tracker.probe = [](std::wstring_view name, const ProcessFilter& ignore) {
            return FindProcesses(name, ignore);
        };
    });
    ASSERT_TRUE(window);
    // How soon is `make bench`'s to measure; the waits here only keep a fault from hanging.
    ASSERT_TRUE(test::PumpUntil([&] { return window->StatusCaption() == L"STOPPED"; }, 10s));

    auto tracker = test::StartTracker();
    EXPECT_TRUE(test::PumpUntil([&] { return window->StatusCaption() == L"RUNNING"; }, 10s));
    EXPECT_EQ(window->StatusColor(), 65280u);

    tracker->Terminate();
    EXPECT_TRUE(test::PumpUntil([&] { return window->StatusCaption() == L"STOPPED"; }, 10s));
    EXPECT_EQ(window->StatusColor(), 255u);
}

TEST_F(StatusWindowTest, AsksToRestartWhenTheConfigurationProgramEndsWhicheverSeesItFirst) {
    // The configuration program as the shell starts it: a process of its own.
    shell.handOver = L"\"" + test::StandInFolder() + L"\\bnbtfrontend.exe\"";
    auto window = OpenStatus();
    ASSERT_TRUE(window);
    trackerRunning = true;
    Poll(*window);
    const auto configure = [&] {
        window->Run(TrackerAction::Configure, window->hwnd(), test::StandInFolder());
        ASSERT_TRUE(Settle(*window));
        ASSERT_EQ(test::ProcessIds(L"bnbtfrontend.exe").size(), 1u);
    };
    // Closed, and seen by a poll before the wait on it tells the window: asked all the same.
    configure();
    test::Answered texts = test::AnswerOwnMessageBoxes(
        [&](const test::Answered& answered) {
            test::EndAll(L"bnbtfrontend.exe");
            Poll(*window);
            test::PumpUntil([&] { return !answered.empty(); }, 5s);
        },
        IDNO);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], L"Restart the tracker so that its new settings apply?");
    EXPECT_EQ(shell.Count(tracker::kStop), 0u) << "No restarts nothing";

    // Not while the session ends: the logoff waits for nobody.
    configure();
    SendMessageW(window->hwnd(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    texts = test::AnswerOwnMessageBoxes(
        [&](const test::Answered&) {
            test::EndAll(L"bnbtfrontend.exe");
            test::PumpFor(1s);
        },
        IDNO);
    SendMessageW(window->hwnd(), WM_ENDSESSION, FALSE, 0);
    EXPECT_TRUE(texts.empty()) << texts[0];
}

TEST_F(StatusWindowTest, TheNoteOfAnAlertStaysInTheWorkAreaAndIsMeasuredAgainAtAnotherScale) {
    auto window = OpenStatus();
    ASSERT_TRUE(window);
    // The strip at the work area's lower right corner: a note centred below it would hang out.
    RECT work{};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    SetWindowPos(window->hwnd(), nullptr, work.right - 60, work.bottom - 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    trackerRunning = true;
    Poll(*window);
    trackerRunning = false;
    Poll(*window);
    ASSERT_EQ(alerts, 1);
    HWND note = nullptr;
    ASSERT_TRUE(
        test::PumpUntil([&] { return (note = FindWindowW(kBalloonClass, nullptr)) && IsWindowVisible(note); }, 10s));
    const auto inside = [&work](const RECT& rect) {
        return rect.left >= work.left && rect.top >= work.top && rect.right <= work.right && rect.bottom <= work.bottom;
    };
    RECT at96{};
    GetWindowRect(note, &at96);
    EXPECT_TRUE(inside(at96)) << "the note lies outside the work area";

    // Moved onto a monitor of 144 DPI, it is measured again there: half as large again.
    SendMessageW(note, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&at96));
    RECT at144{};
    GetWindowRect(note, &at144);
    const double widthRatio = static_cast<double>(at144.right - at144.left) / (at96.right - at96.left);
    const double heightRatio = static_cast<double>(at144.bottom - at144.top) / (at96.bottom - at96.top);
    EXPECT_NEAR(widthRatio, 1.5, 0.15);
    EXPECT_NEAR(heightRatio, 1.5, 0.15);
    EXPECT_TRUE(inside(at144)) << "the note lies outside the work area";
}

TEST_F(StatusWindowTest, OpensAtTheDefaultPlaceWithTheLabelsAtTheirTwips) {
    auto window = OpenStatus();
    ASSERT_TRUE(window);
    const UINT dpi = WindowDpi(window->hwnd());
    RECT rect{};
    GetWindowRect(window->hwnd(), &rect);
    EXPECT_EQ(rect, TwipsToPixels(settings::kStatusPlaceDefault, dpi));
    const RECT title = ChildRect(window->hwnd(), S::KORVANE_ZTL_TITLE);
    const RECT indicator = ChildRect(window->hwnd(), S::BNBT_SERVICE_STATUS_LABEL);
    EXPECT_EQ(title, TwipsToPixels(TwipsRect{0, 0, 855, 360}, dpi));
    EXPECT_EQ(indicator, TwipsToPixels(TwipsRect{825, 0, 1350, 360}, dpi));
}

TEST_F(StatusWindowTest, MovedAndClosedItOpensAtTheNewPlace) {
    {
        auto window = OpenStatus();
        ASSERT_TRUE(window);
        SetWindowPos(window->hwnd(), nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }  // closed: the unload stores the place
    const UINT dpi = SystemDpi();
    const TwipsRect stored = LoadPlace(test.store(), settings::kStatusPlacePrefix, {});
    EXPECT_EQ(stored, (TwipsRect{PixelsToTwips(200, dpi), PixelsToTwips(150, dpi), 2280, 690}));
    auto reopened = OpenStatus();
    ASSERT_TRUE(reopened);
    RECT rect{};
    GetWindowRect(reopened->hwnd(), &rect);
    EXPECT_EQ(rect.left, 200);
    EXPECT_EQ(rect.top, 150);
}

TEST_F(StatusWindowTest, APlaceOffEveryScreenIsBroughtBackAPartlyVisibleOneIsKept) {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const UINT dpi = SystemDpi();
    SavePlace(test.store(), settings::kStatusPlacePrefix, {-30000, -30000, 2280, 690});
    {
        auto window = OpenStatus();
        ASSERT_TRUE(window);
        RECT rect{};
        GetWindowRect(window->hwnd(), &rect);
        EXPECT_EQ(rect.left, work.left);
        EXPECT_EQ(rect.top, work.top);
        EXPECT_EQ(rect.right - rect.left, TwipsToPixels(2280, dpi));
    }
    // Hanging off the left edge by all but 10 pixels: kept exactly.
    const TwipsRect partly{PixelsToTwips(work.left + 10 - TwipsToPixels(2280, dpi), dpi), PixelsToTwips(100, dpi), 2280,
                           690};
    SavePlace(test.store(), settings::kStatusPlacePrefix, partly);
    auto window = OpenStatus();
    ASSERT_TRUE(window);
    EXPECT_EQ(WindowPlaceTwips(window->hwnd()), partly);
}

TEST_F(StatusWindowTest, ADoubleClickOnGreenStopsOnRedStartsAndNothingElseLaunches) {
    const test::StandInOnPath path;
    const std::wstring program = test::StandInFolder() + L"\\bnbt.exe";
    auto window = OpenStatus();
    ASSERT_TRUE(window);
    test::DoubleClick(Indicator(*window));
    EXPECT_TRUE(shell.calls.empty()) << "before the first poll";

    trackerRunning = true;
    Poll(*window);
    test::Click(Indicator(*window));
    test::DoubleClick(Item(*window, S::KORVANE_ZTL_TITLE));
    EXPECT_TRUE(shell.calls.empty()) << "a single click, or the title";
    test::DoubleClick(Indicator(*window));
    ASSERT_TRUE(Settle(*window));
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.Count(L"-stop"), 1u);
    EXPECT_EQ(shell.calls[0].file, program);
    EXPECT_EQ(shell.calls[0].owner, window->hwnd());
    // The toggle leaves the indicator to the next poll.
    EXPECT_EQ(window->StatusCaption(), status::kRunning);

    trackerRunning = false;
    Poll(*window);
    test::DoubleClick(Indicator(*window));
    ASSERT_TRUE(Settle(*window));
    ASSERT_EQ(shell.calls.size(), 2u);
    EXPECT_EQ(shell.Count(L"-start"), 1u);
    EXPECT_EQ(shell.calls[1].file, program);
}

TEST_F(StatusWindowTest, AShellThatHangsNeitherFreezesThePollsNorTakesASecondRequest) {
    const test::StandInOnPath path;
    int polls = 0;
    const UniqueHandle answer(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    auto window = OpenStatus([&](S::Services& services) {
        // A tracker folder on a share that is offline: the shell answers only when let.
        services.tracker.launcher = Launcher([this, &answer](SHELLEXECUTEINFOW& info) {
            WaitForSingleObject(answer.get(), 30000);
            return shell(info);
        });
        services.tracker.probe = [&](std::wstring_view, const ProcessFilter&) {
            ++polls;
            return std::vector<DWORD>{};
        };
    });
    ASSERT_TRUE(window);
    ASSERT_TRUE(test::PumpUntil([&] { return window->StatusCaption() == status::kStopped; }, 10s));
    test::DoubleClick(Indicator(*window));
    const int pollsBefore = polls;
    EXPECT_TRUE(test::PumpUntil([&] { return polls - pollsBefore >= 2; }, 10s))
        << "the polls stopped while the shell hung";
    EXPECT_TRUE(window->LaunchesUnderWay());
    test::DoubleClick(Indicator(*window));  // the same request while the first is under way
    SetEvent(answer.get());
    ASSERT_TRUE(Settle(*window));
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].parameters, tracker::kStart);
}

TEST_F(StatusWindowTest, LabelsAreInMsSansSerifWhereverItsOutlineFormComesFrom) {
    auto window = OpenStatus();
    ASSERT_TRUE(window);
    HWND title = Item(*window, S::KORVANE_ZTL_TITLE);
    const WindowDC dc(title);
    const SelectionScope font(dc.get(), reinterpret_cast<HFONT>(SendMessageW(title, WM_GETFONT, 0, 0)));
    wchar_t face[LF_FACESIZE];
    GetTextFaceW(dc.get(), LF_FACESIZE, face);
    // Windows has the outline twin "Microsoft Sans Serif"; Wine's "MS Sans Serif" is outline.
    EXPECT_TRUE(std::wstring(face) == L"Microsoft Sans Serif" || std::wstring(face) == L"MS Sans Serif") << face;
}

TEST_F(StatusWindowTest, MovedToA144DpiMonitorEverythingGrowsHalfAsLargeAgain) {
    auto window = OpenStatus();
    ASSERT_TRUE(window);
    const RECT suggested{100, 100, 100 + 228, 100 + 69};
    SendMessageW(window->hwnd(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    RECT rect{};
    GetWindowRect(window->hwnd(), &rect);
    EXPECT_EQ(rect, suggested);
    for (int id : {S::KORVANE_ZTL_TITLE, S::BNBT_SERVICE_STATUS_LABEL}) {
        HWND label = GetDlgItem(window->hwnd(), id);
        EXPECT_EQ(
            ChildRect(window->hwnd(), id),
            TwipsToPixels(id == S::KORVANE_ZTL_TITLE ? TwipsRect{0, 0, 855, 360} : TwipsRect{825, 0, 1350, 360}, 144));
        // 9.75 pt bold is 20 pixels high at 144 DPI.
        LOGFONTW font{};
        ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)), sizeof(font), &font));
        EXPECT_EQ(font.lfHeight, -20);
        EXPECT_EQ(font.lfWeight, FW_BOLD);
    }
}

}  // namespace
}  // namespace kvztl
