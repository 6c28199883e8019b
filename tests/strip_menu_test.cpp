// The strip's system menu and the alert when the tracker stops unasked.
#include <gtest/gtest.h>

#include "platform/program_info.h"
#include "status_window/status_window.h"
#include "store/start_with_windows.h"
#include "support/window_test.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

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
                                  L"",
                                  L"Start with &Windows",
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
