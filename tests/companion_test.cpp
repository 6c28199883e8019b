// kv-ztl.exe as a tracker's keeper meets it day to day, through the stand-in's service: a
// tracker killed from outside, seen at once and told why; a start with no service, told; a
// start and a stop asked of the service itself, with no command run; a restart; and the
// configuration program closed while the tracker runs.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/balloon.h"
#include "settings_window/settings_window.h"
#include "status_window/status_window.h"
#include "support/program.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;
using TheKeepersCompanion = test::ProgramTest;

constexpr const wchar_t* kNotInstalled =
    L"The tracker's service is not installed. Tick \"ENABLE SERVICE INSTALLATION MANAGEMENT\" in the settings "
    L"window, then click \"INSTALL BNBT SERVICE\".";

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

// The one tracker process, once it is a new one (not `old`).
DWORD WaitForNewTracker(DWORD old) {
    DWORD id = 0;
    test::PumpUntil(
        [&] {
            const std::vector<DWORD> ids = test::ProcessIds(L"bnbt.exe");
            id = ids.size() == 1 && ids[0] != old ? ids[0] : 0;
            return id != 0;
        },
        15s);
    return id;
}

TEST_F(TheKeepersCompanion, SeesAKillAtOnceTellsAMissingServiceControlsItWithoutCommandsAndRestartsIt) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    const test::TrackerService& service = Service();
    test::LaunchLog log;
    // Without the icon in the notification area, the strip tells of a stop with a note of its own.
    ASSERT_TRUE(store.store().Save(settings::kNotificationIcon, L"0"));
    {
        const test::StandInOnPath path;
        ASSERT_TRUE(Start());
    }

    // A tracker started by hand and killed from outside: STOPPED, and why.
    auto tracker = test::StartTracker();
    ASSERT_TRUE(program.WaitForCaption(status::kRunning));
    EXPECT_TRUE(test::PumpUntil(
        [&] { return test::ReadAccessible(program.Indicator()).description.starts_with(L"Running since "); }, 10s));
    TerminateProcess(tracker->handle(), 0xC0000005);
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));
    const std::wstring why = test::ReadAccessible(program.Indicator()).description;
    EXPECT_TRUE(why.starts_with(L"Stopped at ")) << why;
    EXPECT_TRUE(Contains(why, L"Exit code 0xC0000005")) << why;
    EXPECT_TRUE(Contains(why, L"Unexpected stops since KV-ZTL started: 1")) << why;
    EXPECT_TRUE(test::PumpUntil([&] { return test::FindWindowOf(program.process->id(), kBalloonClass); }, 10s))
        << "no balloon by the strip";
    EXPECT_NE(GetForegroundWindow(), test::FindWindowOf(program.process->id(), kBalloonClass));

    // A start with no service: the command runs and says nothing; the strip does.
    test::DoubleClick(program.Indicator(), test::Delivery::Post);
    std::vector<std::wstring> texts;
    EXPECT_EQ(AnswerMessageBoxes([](int shown) { return shown == 1; }, &texts), 1);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], kNotInstalled);
    const auto entries = log.WaitFor(2);  // the tracker started by hand, then the command
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].Arguments(), L" -start");

    // With the service there, start and stop are asked of it directly: no command, no prompt.
    service.Install();
    const size_t commands = log.Entries().size();
    test::DoubleClick(program.Indicator(), test::Delivery::Post);
    ASSERT_TRUE(program.WaitForCaption(status::kRunning, 10s));
    // The tracker's process is there before its service takes a stop (the stand-in, as the
    // tracker, takes a moment to start): a stop asked at once waits for it, and is no error.
    test::DoubleClick(program.Indicator(), test::Delivery::Post);
    ASSERT_TRUE(program.WaitForCaption(status::kStopped, 10s));
    EXPECT_EQ(program.FindMessageBox(), nullptr) << test::TextOf(GetDlgItem(program.FindMessageBox(), 0xFFFF));
    EXPECT_TRUE(Contains(test::ReadAccessible(program.Indicator()).description, L"asked to stop by KV-ZTL"));

    // A restart from the menu: a new tracker process, still no command.
    test::DoubleClick(program.Indicator(), test::Delivery::Post);
    ASSERT_TRUE(program.WaitForCaption(status::kRunning, 10s));
    const DWORD first = WaitForNewTracker(0);
    ASSERT_NE(first, 0u);
    PostMessageW(program.window, WM_SYSCOMMAND, StatusWindow::RestartTrackerItem, 0);
    const DWORD second = WaitForNewTracker(first);
    EXPECT_NE(second, 0u) << "no new tracker after the restart";
    EXPECT_TRUE(program.WaitForCaption(status::kRunning, 10s));
    EXPECT_EQ(log.Entries().size(), commands) << "a command ran for the service's start, stop or restart";

    // The configuration program, closed while the tracker runs: one question; Yes restarts.
    HWND settings = program.OpenSettings();
    ASSERT_TRUE(settings);
    PostMessageW(GetDlgItem(settings, SettingsWindow::BNBT_CONFIGURATION_APP_BUTTON), BM_CLICK, 0, 0);
    HWND configuration = nullptr;
    ASSERT_TRUE(test::PumpUntil(
        [&] { return (configuration = FindWindowW(L"TrackerConfigurationStandIn", nullptr)) != nullptr; }, 10s));
    PostMessageW(settings, WM_CLOSE, 0, 0);
    ASSERT_TRUE(test::PumpUntil([&] { return !IsWindowVisible(settings); }, 10s));
    PostMessageW(configuration, WM_CLOSE, 0, 0);
    HWND question = nullptr;
    ASSERT_TRUE(test::PumpUntil([&] { return (question = program.FindMessageBox()) != nullptr; }, 10s));
    EXPECT_EQ(test::TextOf(GetDlgItem(question, 0xFFFF)), L"Restart the tracker so that its new settings apply?");
    SendMessageW(question, WM_COMMAND, IDYES, 0);
    EXPECT_NE(WaitForNewTracker(second), 0u) << "Yes did not restart the tracker";
    EXPECT_TRUE(program.WaitForCaption(status::kRunning, 10s));
    EXPECT_EQ(AnswerMessageBoxesFor(500ms), 0) << "a second question or a failure";
    Close();
    CoUninitialize();
}

}  // namespace
}  // namespace kvztl
