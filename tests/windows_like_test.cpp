// kv-ztl.exe on a machine more like the Windows its users run than Wine's own: hundreds of
// services, among them the tracker's under a name of its own, its program's path unquoted and
// with spaces; the strip's menu opened by a right-click on its title bar; a plain close
// followed at once by a new start.
#include <windows.h>

#include <gtest/gtest.h>

#include "status_window/status_window.h"
#include "support/program.h"
#include "support/screen_read.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The strip's own items in its menu, top to bottom (the system's follow).
enum ShownItem {
    kStart,
    kStop,
    kRestart,
    kSettings,
    kHistory,
    kStartWithWindows,
    kNotificationIcon,
    kAlert,
    kNoPrompt,
    kAbout,
    kOwnItems
};

class OnAMachineLikeWindows : public test::ProgramTest {
protected:
    // The strip's menu as the screen shows it, opened by a right-click on its title bar and
    // closed again with Esc.
    std::vector<test::ShownItem> MenuByRightClick() {
        RECT strip{};
        GetWindowRect(program.window, &strip);
        std::vector<test::ShownItem> items =
            MenuByRightClickAt({strip.left + 12, strip.top + GetSystemMetrics(SM_CYSMCAPTION) / 2}, kOwnItems);
        PressInMenu({VK_ESCAPE, VK_ESCAPE});
        return items;
    }

    // The longest the strip took to answer a sent message, asked every 20 ms for `duration`.
    std::chrono::milliseconds LongestAnswer(std::chrono::milliseconds duration) const {
        double longest = 0;
        for (const auto end = Clock::now() + duration; Clock::now() < end;) {
            longest = std::max(longest, test::AnswerMilliseconds(program.window));
            test::PumpFor(20ms);
        }
        return std::chrono::milliseconds(static_cast<long long>(longest));
    }
};

TEST_F(OnAMachineLikeWindows, StaysResponsiveFindsTheServiceShowsTheMenuAsItIsAndRestartsAtOnce) {
    const test::FillerServices fillers;
    ASSERT_EQ(fillers.made(), 300);
    test::LaunchLog log;

    // No tracker's service among them: the strip answers at once all the same, also when it
    // would look for the service again. (It stalled for 0.5 to 1.2 s every 5 s while it read
    // the services itself; the bound is a guard, not a measure.)
    {
        // Its windows as a window manager would have them: one that closes is hidden at once
        // and goes up to 2 s later.
        const test::ScopedUserValue managed(L"Software\\Wine\\X11 Driver", L"Managed", L"Y");
        ASSERT_TRUE(Start());
    }
    EXPECT_LT(LongestAnswer(3s), 250ms);

    // The menu opened with the mouse shows the state.
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));
    std::vector<test::ShownItem> menu = MenuByRightClick();
    ASSERT_GT(menu.size(), kOwnItems);
    EXPECT_TRUE(menu[kStart].enabled);
    EXPECT_FALSE(menu[kStop].enabled);
    EXPECT_FALSE(menu[kRestart].enabled);
    EXPECT_TRUE(menu[kAlert].ticked);
    EXPECT_FALSE(menu[kStartWithWindows].ticked);
    EXPECT_FALSE(menu[kNoPrompt].enabled) << "no service yet";

    // The tracker's service is installed under a name of its own, its program's path unquoted
    // and with spaces.
    const std::wstring folder = test::TempFolder(L"tracker folder");
    ASSERT_TRUE(CopyFileW((test::StandInFolder() + L"\\bnbt.exe").c_str(), (folder + L"\\bnbt.exe").c_str(), FALSE));
    const test::ScopedService tracker(L"Tracker (unquoted path)", folder + L"\\bnbt.exe -s");

    // Closed the plain way, with its close button, and started again at once: a strip shows.
    RECT strip{};
    GetWindowRect(program.window, &strip);
    test::ClickAt(
        {strip.right - GetSystemMetrics(SM_CXSMSIZE) / 2 - 2, strip.top + GetSystemMetrics(SM_CYSMCAPTION) / 2});
    ASSERT_TRUE(test::PumpUntil([&] { return !IsWindowVisible(program.window); }, 5s)) << "the close button was missed";
    auto old = std::move(program.process);
    program = test::StartProgram();
    ASSERT_TRUE(program.window) << "no strip after a plain close and a quick start";
    EXPECT_EQ(WaitForSingleObject(old->handle(), 10000), WAIT_OBJECT_0);
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));

    // The new strip finds the service by its program, and starts it without a command.
    ASSERT_TRUE(test::PumpUntil(
        [&] {
            menu = MenuByRightClick();
            return menu.size() > kOwnItems && menu[kNoPrompt].enabled;
        },
        20s))
        << "the service whose program is bnbt.exe was not found";
    test::DoubleClick(program.Indicator(), test::Delivery::Post);
    ASSERT_TRUE(program.WaitForCaption(status::kRunning, 10s));
    EXPECT_TRUE(log.Entries().empty()) << "a command ran: " << log.Entries().size();
    menu = MenuByRightClick();
    ASSERT_GT(menu.size(), kOwnItems);
    EXPECT_FALSE(menu[kStart].enabled);
    EXPECT_TRUE(menu[kStop].enabled);
    EXPECT_TRUE(menu[kRestart].enabled);
    Close();
}

}  // namespace
}  // namespace kvztl
