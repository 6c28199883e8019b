// The strip's system menu and the alert when the tracker stops unasked.
#include <gtest/gtest.h>

#include "platform/program_info.h"
#include "status_window/status_window.h"
#include "store/start_with_windows.h"
#include "tracker/service_access.h"
#include "support/window_test.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;
using S = StatusWindow;

class StripMenu : public test::WindowTest {
protected:
    static std::wstring ItemText(HMENU menu, UINT position) {
        wchar_t text[128] = L"";
        GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
        return text;
    }
    static UINT ItemState(HMENU menu, UINT id) { return GetMenuState(menu, id, MF_BYCOMMAND); }
    // The menu as it is when it opens.
    static HMENU Open(StatusWindow& window) {
        const HMENU menu = GetSystemMenu(window.hwnd(), FALSE);
        SendMessageW(window.hwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, TRUE));
        return menu;
    }
    static void Choose(StatusWindow& window, UINT id) { SendMessageW(window.hwnd(), WM_SYSCOMMAND, id, 0); }
};

TEST_F(StripMenu, OffersEveryActionAboveTheSystemsItemsAsTheIndicatorReads) {
    const test::StandInOnPath path;
    int settingsOpened = 0;
    auto window =
        OpenStatus([&](S::Services& services) { services.openSettings = [&](StatusWindow&) { ++settingsOpened; }; });
    ASSERT_TRUE(window);
    HMENU menu = Open(*window);
    const std::wstring texts[] = {L"&Start tracker",
                                  L"Sto&p tracker",
                                  L"Res&tart tracker",
                                  L"S&ettings...",
                                  L"Tracker &history...",
                                  L"",
                                  L"Start with &Windows",
                                  L"Show in the &notification area",
                                  L"&Alert when the tracker stops",
                                  L"Start and stop without a pr&ompt...",
                                  L"",
                                  L"A&bout KV-ZTL",
                                  L""};
    for (UINT i = 0; i < std::size(texts); ++i) EXPECT_EQ(ItemText(menu, i), texts[i]) << i;
    EXPECT_GE(GetMenuItemID(menu, static_cast<int>(std::size(texts))), static_cast<UINT>(SC_SIZE))
        << "the system's own items follow";

    // Start and stop as a double-click would do; before the first poll, neither.
    EXPECT_TRUE(ItemState(menu, S::StartTrackerItem) & MF_GRAYED);
    EXPECT_TRUE(ItemState(menu, S::StopTrackerItem) & MF_GRAYED);
    EXPECT_TRUE(ItemState(menu, S::RestartTrackerItem) & MF_GRAYED);
    trackerRunning = true;
    Poll(*window);
    menu = Open(*window);
    EXPECT_TRUE(ItemState(menu, S::StartTrackerItem) & MF_GRAYED);
    EXPECT_FALSE(ItemState(menu, S::StopTrackerItem) & MF_GRAYED);
    EXPECT_FALSE(ItemState(menu, S::RestartTrackerItem) & MF_GRAYED);
    Choose(*window, S::StopTrackerItem);
    ASSERT_TRUE(Settle(*window));  // launched off the window thread: one at a time, in order
    trackerRunning = false;
    Poll(*window);
    menu = Open(*window);
    EXPECT_FALSE(ItemState(menu, S::StartTrackerItem) & MF_GRAYED);
    EXPECT_TRUE(ItemState(menu, S::StopTrackerItem) & MF_GRAYED);
    Choose(*window, S::StartTrackerItem);
    ASSERT_TRUE(Settle(*window));
    ASSERT_EQ(shell.calls.size(), 2u);
    EXPECT_EQ(shell.calls[0].parameters, tracker::kStop);
    EXPECT_EQ(shell.calls[1].parameters, tracker::kStart);
    EXPECT_EQ(shell.calls[1].file, test::StandInFolder() + L"\\bnbt.exe");

    Choose(*window, S::SettingsItem);
    EXPECT_EQ(settingsOpened, 1);
}

TEST_F(StripMenu, TicksStoreTheAlertChoiceAndWriteTheRunValue) {
    auto window = OpenStatus();
    ASSERT_TRUE(window);
    // On by default; the choice is stored as text, like the other values.
    EXPECT_TRUE(ItemState(Open(*window), S::AlertItem) & MF_CHECKED);
    Choose(*window, S::AlertItem);
    EXPECT_EQ(test.store().Text(settings::kAlertOnUnexpectedStop), L"0");
    EXPECT_FALSE(ItemState(Open(*window), S::AlertItem) & MF_CHECKED);
    Choose(*window, S::AlertItem);
    EXPECT_EQ(test.store().Text(settings::kAlertOnUnexpectedStop), L"1");

    // The Run value names this program, quoted; unticking removes it.
    const test::ScopedUserValue saved(StartWithWindows::kRunKey, kProgramName, L"\"C:\\Elsewhere\\kv-ztl.exe\"");
    EXPECT_FALSE(ItemState(Open(*window), S::StartWithWindowsItem) & MF_CHECKED) << "another program's value";
    Choose(*window, S::StartWithWindowsItem);
    EXPECT_EQ(test::ReadUserValue(StartWithWindows::kRunKey, kProgramName),
              (test::RawValue{REG_SZ, L"\"" + ThisProgramPath() + L"\""}));
    EXPECT_TRUE(ItemState(Open(*window), S::StartWithWindowsItem) & MF_CHECKED);
    Choose(*window, S::StartWithWindowsItem);
    EXPECT_EQ(test::ReadUserValue(StartWithWindows::kRunKey, kProgramName), std::nullopt);
    EXPECT_FALSE(ItemState(Open(*window), S::StartWithWindowsItem) & MF_CHECKED);
}

// The service's access list as Windows hands it out, where the entry KV-ZTL adds comes back
// with its rights in the system's order.
TEST_F(StripMenu, StartAndStopWithoutAPromptFollowsTheEntryAsTheSystemWritesIt) {
    const std::wstring sid = CurrentUserSid();
    const std::wstring others = L"D:(A;;CCLCSWRPWPDTLOCRRC;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)";
    std::wstring held = test::AsTheSystemWritesIt(others + L"(A;;RPWPLC;;;" + sid + L")");
    auto window = OpenStatus([&](S::Services& services) {
        services.tracker.serviceAccess = [&held] { return ServiceAccess{L"BNBT Service", held}; };
    });
    ASSERT_TRUE(window);
    const auto choose = [&](int button) {
        return test::AnswerOwnMessageBoxes([&](const test::Answered&) { Choose(*window, S::NoPromptItem); }, button);
    };

    // Granted: ticked, and chosen again it offers to take the entry out.
    EXPECT_TRUE(ItemState(Open(*window), S::NoPromptItem) & MF_CHECKED);
    std::vector<std::wstring> texts = choose(IDCANCEL);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(texts[0].starts_with(L"KV-ZTL will remove the entry")) << texts[0];
    EXPECT_TRUE(shell.calls.empty()) << "cancelled, yet sc.exe ran";

    // On OK, one elevated sc.exe sets the list without it; the system still holds it when
    // sc.exe has ended, and that is said.
    shell.handOver = L"cmd.exe /c exit 0";
    EXPECT_EQ(choose(IDOK).size(), 1u);
    ASSERT_TRUE(Settle(*window));
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_TRUE(shell.calls[0].file.ends_with(L"\\System32\\sc.exe")) << shell.calls[0].file;
    EXPECT_EQ(shell.calls[0].verb, L"runas");
    const std::optional<std::wstring> without = WithoutOwnStartStopEntry(held, sid);
    ASSERT_TRUE(without);
    EXPECT_FALSE(HasStartStopEntry(*without, sid));
    EXPECT_EQ(shell.calls[0].parameters, SdsetParameters(L"BNBT Service", *without));
    texts = test::AnswerOwnMessageBoxes(
        [](const test::Answered& answered) { test::PumpUntil([&] { return !answered.empty(); }, 10s); }, IDOK);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0],
              L"The security of the service \"BNBT Service\" did not change: it still lets your account start "
              L"and stop it without an elevation prompt.");

    // Without the entry: not ticked, and chosen it offers to add one; when the service then
    // holds it, nothing more is said.
    held = *without;
    EXPECT_FALSE(ItemState(Open(*window), S::NoPromptItem) & MF_CHECKED);
    texts = test::AnswerOwnMessageBoxes(
        [&](const test::Answered&) {
            Choose(*window, S::NoPromptItem);
            ASSERT_TRUE(Settle(*window));
            held = test::AsTheSystemWritesIt(others + L"(A;;RPWPLC;;;" + sid + L")");
            test::PumpFor(1s);  // sc.exe ends, and the list is read again
        },
        IDOK);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(texts[0].starts_with(L"KV-ZTL will add an entry")) << texts[0];
    ASSERT_EQ(shell.calls.size(), 2u);
    EXPECT_TRUE(shell.calls[1].parameters.find(L"(A;;LCRPWP;;;" + sid + L")") != std::wstring::npos)
        << shell.calls[1].parameters;

    // An administrator's full control for this account: ticked, but not KV-ZTL's to take out;
    // chosen, it says so and runs nothing.
    held = test::AsTheSystemWritesIt(others + L"(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;" + sid + L")");
    EXPECT_TRUE(ItemState(Open(*window), S::NoPromptItem) & MF_CHECKED);
    texts = choose(IDOK);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find(L"an entry in its security that KV-ZTL did not add"), std::wstring::npos) << texts[0];
    test::PumpFor(200ms);
    EXPECT_EQ(shell.calls.size(), 2u) << "sc.exe ran";
}

TEST_F(StripMenu, AlertsWhenTheTrackerStopsUnaskedOnly) {
    const test::StandInOnPath path;
    auto window = OpenStatus();
    ASSERT_TRUE(window);
    Poll(*window);  // stopped from the start: nothing stopped
    trackerRunning = true;
    Poll(*window);
    trackerRunning = false;
    Poll(*window);
    EXPECT_EQ(alerts, 1) << "stopped from outside";
    Poll(*window);
    EXPECT_EQ(alerts, 1) << "still stopped is no news";

    // Asked to stop, from the strip or from the settings window: no alert.
    trackerRunning = true;
    Poll(*window);
    test::DoubleClick(Item(*window, S::BNBT_SERVICE_STATUS_LABEL));
    ASSERT_TRUE(Settle(*window));
    trackerRunning = false;
    Poll(*window);
    EXPECT_EQ(alerts, 1);

    // Switched off: no alert either.
    ASSERT_TRUE(test.store().Save(settings::kAlertOnUnexpectedStop, L"0"));
    auto quiet = OpenStatus();  // one that never asked for a stop
    ASSERT_TRUE(quiet);
    trackerRunning = true;
    Poll(*quiet);
    trackerRunning = false;
    Poll(*quiet);
    EXPECT_EQ(alerts, 1);
}

}  // namespace
}  // namespace kvztl
