// kv-ztl.exe's icon in the notification area, as a user meets it in Wine's own tray window:
// red, green and red again as the tracker starts and is killed, the same words as the strip in
// its tip and its notifications, the strip's menu on a right-click, a strip hidden and brought
// back, and no icon left once the program has ended.
#include <windows.h>

#include <gtest/gtest.h>

#include "notification_icon/notification_icon.h"
#include "platform/balloon.h"
#include "status_window/status_window.h"
#include "support/program.h"
#include "support/screen_read.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;

// The icon's menu as the screen shows it: the strip's own items, then its own.
enum ShownItem { kStart, kStop, kNotificationIcon = 6, kShowStrip = 10, kExit, kItems };

// Wine's tray keeps each icon in a window of its own, newest rightmost.
HWND NewestTrayIcon() {
    const HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr);
    if (!tray || !IsWindowVisible(tray)) return nullptr;
    struct Newest {
        HWND icon = nullptr;
        LONG left = LONG_MIN;
    } newest;
    EnumChildWindows(
        tray,
        [](HWND child, LPARAM found) {
            RECT rect{};
            GetWindowRect(child, &rect);
            auto& sofar = *reinterpret_cast<Newest*>(found);
            if (IsWindowVisible(child) && rect.left > sofar.left) sofar = {child, rect.left};
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&newest));
    return newest.icon;
}

POINT Centre(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

bool LooksRed(COLORREF colour) { return GetRValue(colour) > 200 && GetGValue(colour) < 80 && GetBValue(colour) < 80; }
bool LooksGreen(COLORREF colour) { return GetGValue(colour) > 200 && GetRValue(colour) < 80 && GetBValue(colour) < 80; }

// A tip or a notification that Wine's tray shows for its icons: the first whose text passes.
std::wstring TrayText(HWND icon, const std::function<bool(const std::wstring&)>& wanted) {
    DWORD tray = 0;
    GetWindowThreadProcessId(icon, &tray);
    std::wstring found;
    test::PumpUntil(
        [&] {
            for (HWND tip = FindWindowExW(nullptr, nullptr, L"tooltips_class32", nullptr); tip;
                 tip = FindWindowExW(nullptr, tip, L"tooltips_class32", nullptr)) {
                DWORD process = 0;
                GetWindowThreadProcessId(tip, &process);
                if (process != tray || !IsWindowVisible(tip)) continue;
                if (std::wstring text = test::TextOf(tip); wanted(text)) {
                    found = std::move(text);
                    return true;
                }
            }
            return false;
        },
        15s);
    return found;
}

std::wstring FirstLine(const std::wstring& text) { return text.substr(0, text.find(L'\n')); }

class TheIconInTheNotificationArea : public test::ProgramTest {
protected:
    // The icon's menu as the screen shows it, opened by a right-click and left open.
    std::vector<test::ShownItem> OpenMenu(HWND icon) { return MenuByRightClickAt(Centre(icon), kItems - 1); }

    static HWND Strip() { return FindWindowW(StatusWindow::kClassName, nullptr); }
};

TEST_F(TheIconInTheNotificationArea, FollowsTheTrackerOffersTheMenuStandsInForAHiddenStripAndGoesWithTheProgram) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));  // to read as a screen reader
    const test::TrackerService& service = Service();
    ASSERT_TRUE(Start());
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));
    HWND icon = nullptr;
    ASSERT_TRUE(test::PumpUntil([&] { return (icon = NewestTrayIcon()) != nullptr; }, 10s)) << "no icon in the tray";
    EXPECT_TRUE(test::PumpUntil([&] { return LooksRed(test::ScreenColourAt(Centre(icon))); }, 5s));

    // Green while a tracker runs, with the strip's words in its tip.
    auto tracker = test::StartTracker();
    ASSERT_TRUE(program.WaitForCaption(status::kRunning));
    EXPECT_TRUE(test::PumpUntil([&] { return LooksGreen(test::ScreenColourAt(Centre(icon))); }, 5s));
    test::MoveMouseTo(Centre(icon));
    const std::wstring tip = TrayText(icon, [](const std::wstring& text) { return text.starts_with(L"BNBT: "); });
    // Its last line is the record's line of the strip's words, as much of it as a tip holds.
    const std::wstring words = test::ReadAccessible(program.Indicator()).description;
    const std::wstring heading = L"BNBT: RUNNING\n" + FirstLine(words) + L"\n";
    ASSERT_TRUE(tip.starts_with(heading)) << tip;
    EXPECT_TRUE(words.substr(words.rfind(L'\n') + 1).starts_with(tip.substr(heading.size()))) << tip;
    EXPECT_LE(tip.size(), 127u);
    EXPECT_NE(tip.find(L" over 7 days, "), std::wstring::npos) << "no line of the record: " << tip;

    // Killed: red, and Windows' own notification says what the strip says, in place of the
    // strip's note.
    TerminateProcess(tracker->handle(), 0xC0000005);
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));
    EXPECT_TRUE(test::PumpUntil([&] { return LooksRed(test::ScreenColourAt(Centre(icon))); }, 5s));
    const std::wstring why = test::ReadAccessible(program.Indicator()).description;
    const std::wstring told = TrayText(icon, [](const std::wstring& text) { return text.starts_with(L"Stopped at "); });
    EXPECT_EQ(told, why);
    EXPECT_NE(why.find(L"Exit code 0xC0000005"), std::wstring::npos) << why;
    EXPECT_EQ(test::FindWindowOf(program.process->id(), kBalloonClass), nullptr) << "a note by the strip as well";

    // A start from the icon's menu that cannot be carried out (no service, no bnbt.exe to be
    // found): its message as ever, and one notification in the same words.
    OpenMenu(icon);
    PressInMenu({'S'});
    std::vector<std::wstring> texts;
    EXPECT_EQ(AnswerMessageBoxes([](int shown) { return shown == 1; }, &texts), 1);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(TrayText(icon, [&](const std::wstring& text) { return text == texts[0]; }), texts[0]);

    // With the service there, "Start tracker" from the icon's menu starts the tracker.
    service.Install();
    std::vector<test::ShownItem> menu = OpenMenu(icon);
    ASSERT_EQ(menu.size(), static_cast<size_t>(kItems));
    EXPECT_TRUE(menu[kStart].enabled);
    EXPECT_FALSE(menu[kStop].enabled);
    EXPECT_TRUE(menu[kNotificationIcon].ticked);
    EXPECT_TRUE(menu[kShowStrip].ticked);
    EXPECT_TRUE(menu[kExit].enabled);
    PressInMenu({'S'});
    ASSERT_TRUE(program.WaitForCaption(status::kRunning, 10s));
    EXPECT_TRUE(test::PumpUntil([&] { return LooksGreen(test::ScreenColourAt(Centre(icon))); }, 5s));

    // Its window closed the way Alt+F4 or a polite taskkill would: the icon still answers.
    for (HWND own = FindWindowW(NotificationIcon::kClassName, nullptr); own;
         own = FindWindowExW(nullptr, own, NotificationIcon::kClassName, nullptr)) {
        SendMessageW(own, WM_CLOSE, 0, 0);
    }

    // The strip hidden from the icon's menu, and brought back by a single click on the icon.
    menu = OpenMenu(icon);
    ASSERT_EQ(menu.size(), static_cast<size_t>(kItems));
    EXPECT_FALSE(menu[kStart].enabled);
    EXPECT_TRUE(menu[kStop].enabled);
    PressInMenu({'R'});
    EXPECT_TRUE(test::PumpUntil([&] { return !IsWindowVisible(program.window); }, 5s)) << "the strip still shows";
    test::PumpPastDoubleClick();
    test::ClickAt(Centre(icon));
    EXPECT_TRUE(test::PumpUntil([&] { return IsWindowVisible(program.window) != FALSE; }, 5s));

    // Hidden again, and the program ended from the icon: the icon goes with it.
    OpenMenu(icon);
    PressInMenu({'R'});
    ASSERT_TRUE(test::PumpUntil([&] { return !IsWindowVisible(program.window); }, 5s));
    OpenMenu(icon);
    PressInMenu({'X'});
    ASSERT_EQ(WaitForSingleObject(program.process->handle(), 10000), WAIT_OBJECT_0) << "Exit did not end it";
    EXPECT_TRUE(test::PumpUntil([&] { return !IsWindow(icon); }, 5s)) << "the icon stayed";

    // The next start keeps the strip hidden, with the icon for it; a second start shows it.
    program.process = std::make_unique<test::Process>(test::KvZtlPath(), L"");
    ASSERT_TRUE(test::PumpUntil([&] { return (program.window = Strip()) != nullptr; }, 10s));
    ASSERT_TRUE(test::PumpUntil(
        [&] {
            icon = NewestTrayIcon();
            return icon && LooksGreen(test::ScreenColourAt(Centre(icon)));
        },
        10s));
    EXPECT_FALSE(IsWindowVisible(program.window));
    {
        const test::Process second(test::KvZtlPath(), L"");
        EXPECT_EQ(WaitForSingleObject(second.handle(), 10000), WAIT_OBJECT_0);
    }
    EXPECT_TRUE(test::PumpUntil([&] { return IsWindowVisible(program.window) != FALSE; }, 5s));

    // The icon switched off from the strip's own menu: gone, and so stored.
    PostMessageW(program.window, WM_SYSCOMMAND, StatusWindow::NotificationIconItem, 0);
    EXPECT_TRUE(test::PumpUntil([&] { return !IsWindow(icon); }, 5s)) << "the icon stayed";
    EXPECT_TRUE(test::PumpUntil([&] { return store.store().Text(settings::kNotificationIcon) == L"0"; }, 5s));
    Close();
    CoUninitialize();
}

}  // namespace
}  // namespace kvztl
