// The tracker's record as a user meets it in kv-ztl.exe: hours of it already on disk (as an
// earlier run wrote them), a tracker found, killed, started again from the strip, KV-ZTL closed
// for a while with the tracker still running and started again; the history window opened
// from the strip's menu, its list copied to the clipboard, and its bars read off the screen.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "history_window/bar_chart.h"
#include "history_window/history_window.h"
#include "record/calendar.h"
#include "record/journal.h"
#include "status_window/status_window.h"
#include "support/program.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;

// The state and cause columns of each row of the copied list, newest first.
std::vector<std::wstring> StatesAndCauses(const std::wstring& copied) {
    std::vector<std::wstring> rows;
    std::wistringstream lines(copied);
    std::wstring line;
    std::getline(lines, line);  // the header
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        std::vector<std::wstring> cells;
        std::wistringstream fields(line);
        for (std::wstring cell; std::getline(fields, cell, L'\t');) cells.push_back(cell);
        if (cells.size() >= 5) rows.push_back(cells[3] + L" " + cells[4]);
    }
    return rows;
}

std::wstring Clipboard() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* locked = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = locked;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

enum class Shade { Up, Down, Unknown };

// The bars of a chart as the screen shows them, left to right: the shades met going up the
// middle of each (runs of colour along a line across the chart, apart from its background).
std::vector<std::vector<Shade>> BarsOnScreen(HWND chart) {
    RECT rect{};
    GetWindowRect(chart, &rect);
    const COLORREF background = test::ScreenColourAt(POINT{rect.left + 1, rect.top + 1});
    const LONG across = rect.top + (rect.bottom - rect.top) / 3;
    std::vector<std::pair<LONG, LONG>> runs;
    for (LONG x = rect.left; x < rect.right; ++x) {
        if (test::ScreenColourAt(POINT{x, across}) == background) continue;
        if (runs.empty() || runs.back().second != x - 1) runs.emplace_back(x, x);
        runs.back().second = x;
    }
    std::vector<std::vector<Shade>> bars;
    for (const auto& [left, right] : runs) {
        std::vector<Shade>& shades = bars.emplace_back();
        const LONG x = (left + right) / 2;
        for (LONG y = rect.bottom - 1; y > rect.top; --y) {
            const COLORREF colour = test::ScreenColourAt(POINT{x, y});
            std::optional<Shade> shade;
            if (colour == status::kRunningColor) shade = Shade::Up;
            if (colour == status::kStoppedColor) shade = Shade::Down;
            if (colour == kUnknownTimeColor) shade = Shade::Unknown;
            if (shade && (shades.empty() || shades.back() != *shade)) shades.push_back(*shade);
        }
    }
    return bars;
}

class TheTrackersRecord : public test::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        journal.Clear();
    }
    void TearDown() override {
        ProgramTest::TearDown();
        journal.Clear();
    }

    // The start of this hour on the local clock, and `hours` before it.
    static Moment HourStart() {
        TIME_ZONE_INFORMATION zone{};
        GetTimeZoneInformation(&zone);
        const ZoneClock clock(zone);
        return clock.Utc(clock.Local(Now()) / kOneHour * kOneHour);
    }
    Moment HoursBefore(double hours) const { return hour - static_cast<Moment>(hours * kOneHour); }

    // Lines as an earlier KV-ZTL wrote them from `fromHours` before this hour: `first`, then its
    // line every 4 minutes until `toHours` before it.
    void Earlier(double fromHours, double toHours, std::initializer_list<const char*> first) {
        for (const char* what : first) written += TimeText(HoursBefore(fromHours)) + " 4100 " + what + "\n";
        for (Moment t = HoursBefore(fromHours) + 4 * kOneMinute; t < HoursBefore(toHours); t += 4 * kOneMinute) {
            written += TimeText(t) + " 4100 watching\n";
        }
    }
    void WriteEarlier() {
        CreateDirectoryW(journal.folder().c_str(), nullptr);
        const UniqueHandle file = AdoptFileHandle(CreateFileW(journal.MonthPath(Now()).c_str(), FILE_APPEND_DATA, 0,
                                                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD done = 0;
        ASSERT_TRUE(WriteFile(file.get(), written.data(), static_cast<DWORD>(written.size()), &done, nullptr));
    }

    Journal journal{Journal::DefaultFolder()};
    const Moment hour = HourStart();
    std::string written;
};

TEST_F(TheTrackersRecord, KeepsWhatHappenedWhileClosedAsUnknownAndShowsItInTheHistoryWindow) {
    // Five hours ago an earlier run found the tracker, which died two hours later; the run ended
    // an hour after that.
    Earlier(5, 3, {"watch start", "up found"});
    Earlier(3, 2, {"down exited 0xC0000005"});
    written += TimeText(HoursBefore(2)) + " 4100 unwatch exit\n";
    WriteEarlier();

    // A tracker found running, killed, and started again from the strip through its service.
    const test::TrackerService& service = Service();
    service.Install();
    ASSERT_TRUE(store.store().Save(settings::kTrackerFolder, test::StandInFolder()));
    auto tracker = test::StartTracker();
    ASSERT_TRUE(Start());
    ASSERT_TRUE(program.WaitForCaption(status::kRunning));
    test::PumpFor(1200ms);  // the record counts in seconds
    TerminateProcess(tracker->handle(), 0xC0000005);
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));
    test::PumpFor(1200ms);
    test::DoubleClick(program.Indicator(), test::Delivery::Post);
    ASSERT_TRUE(program.WaitForCaption(status::kRunning, 10s));

    // Closed for a while, the tracker still running; started again.
    Close();
    test::PumpFor(2s);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(program.WaitForCaption(status::kRunning));
    // The strip's words gain the record's line.
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));  // to read as a screen reader
    const std::wstring words = test::ReadAccessible(program.Indicator()).description;
    CoUninitialize();
    EXPECT_NE(words.find(L" over 7 days, "), std::wstring::npos) << words;

    // The history window from the strip's menu.
    RECT strip{};
    GetWindowRect(program.window, &strip);
    MenuByRightClickAt({strip.left + 12, strip.top + GetSystemMetrics(SM_CYSMCAPTION) / 2}, 9);
    PressInMenu({'H'});
    HWND history = nullptr;
    ASSERT_TRUE(test::PumpUntil(
        [&] { return (history = test::FindWindowOf(program.process->id(), HistoryWindow::kClassName)) != nullptr; },
        10s));

    // Its list, copied: newest first, the same process across the close, the kill with its
    // code, the hours nobody watched, the earlier run.
    const HWND copy = GetDlgItem(history, HistoryWindow::COPY_BUTTON);
    SendMessageW(copy, BM_CLICK, 0, 0);
    const std::vector<std::wstring> rows = StatesAndCauses(Clipboard());
    const std::vector<std::wstring> expected = {
        L"Up started by KV-ZTL",  // through the close: the same process ran all along
        L"Down exited",          L"Up found running", L"Unknown not watching", L"Down exited", L"Up found running",
    };
    EXPECT_EQ(rows, expected);

    // The bars: the last 24 hours' show the earlier run's hours green, then red, then grey;
    // the oldest days are grey, and today's or yesterday's show the earlier run's colours.
    std::vector<std::vector<Shade>> hours;
    test::PumpUntil(
        [&] { return (hours = BarsOnScreen(GetDlgItem(history, HistoryWindow::HOURS_CHART))).size() == 24; }, 5s);
    ASSERT_EQ(hours.size(), 24u);
    // The bar of this hour is the last, unless the hour turned meanwhile.
    const auto ago = [&](int hours_) { return 23 - hours_ - static_cast<int>((HourStart() - hour) / kOneHour); };
    EXPECT_EQ(hours[ago(6)], std::vector<Shade>{Shade::Unknown}) << "before the record";
    EXPECT_EQ(hours[ago(5)], std::vector<Shade>{Shade::Up});
    EXPECT_EQ(hours[ago(4)], std::vector<Shade>{Shade::Up});
    EXPECT_EQ(hours[ago(3)], std::vector<Shade>{Shade::Down});
    EXPECT_EQ(hours[ago(2)], std::vector<Shade>{Shade::Unknown});
    EXPECT_EQ(hours[ago(1)], std::vector<Shade>{Shade::Unknown});
    EXPECT_EQ(hours[ago(0)].back(), Shade::Unknown) << "this hour before KV-ZTL began";
    const std::vector<std::vector<Shade>> days = BarsOnScreen(GetDlgItem(history, HistoryWindow::DAYS_CHART));
    ASSERT_EQ(days.size(), 30u);
    EXPECT_EQ(days.front(), std::vector<Shade>{Shade::Unknown});
    const auto shows = [&](Shade shade) {
        return std::count(days[28].begin(), days[28].end(), shade) +
               std::count(days[29].begin(), days[29].end(), shade);
    };
    EXPECT_GT(shows(Shade::Up), 0);
    EXPECT_GT(shows(Shade::Down), 0);

    PostMessageW(history, WM_CLOSE, 0, 0);
    EXPECT_TRUE(test::PumpUntil([&] { return !IsWindow(history); }, 5s));
    Close();
}

}  // namespace
}  // namespace kvztl
