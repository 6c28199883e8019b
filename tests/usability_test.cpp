// kv-ztl.exe beyond its classic behaviour, driven as its users drive it: every action from
// the keyboard through the strip's menu, an alert when the tracker dies, a second start, and
// a screen reader.
#include <windows.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/accessibility.h"
#include "settings_window/settings_window.h"
#include "status_window/status_window.h"
#include "store/start_with_windows.h"
#include "support/program.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;
using ForItsUsers = test::ProgramTest;

// The file version of kv-ztl.exe as Explorer shows it: "1.0.0.0".
std::wstring FileVersion() {
    std::vector<BYTE> data(GetFileVersionInfoSizeW(test::KvZtlPath().c_str(), nullptr));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT size = 0;
    if (data.empty() ||
        !GetFileVersionInfoW(test::KvZtlPath().c_str(), 0, static_cast<DWORD>(data.size()), data.data()) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &size)) {
        return {};
    }
    return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionMS)) +
           L"." + std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." +
           std::to_wstring(LOWORD(info->dwFileVersionLS));
}

// The strip in front, as after a click on it.
void BringToFront(HWND strip) {
    SetForegroundWindow(strip);
    ASSERT_TRUE(test::PumpUntil([&] { return GetForegroundWindow() == strip; }, 10s));
}

// Opens the strip's system menu with Alt+Space and chooses the item underlined `letter`.
void ChooseFromMenu(const test::RunningProgram& program, WORD letter) {
    BringToFront(program.window);
    test::PressKeys({VK_MENU, VK_SPACE});
    ASSERT_TRUE(test::PumpUntil([&] { return test::FindWindowOf(program.process->id(), L"#32768"); }, 10s))
        << "no menu opened";
    test::PressKeys({letter});
    ASSERT_TRUE(test::PumpUntil([&] { return !test::FindWindowOf(program.process->id(), L"#32768"); }, 10s));
}

std::optional<test::RawValue> RunValue() { return test::ReadUserValue(StartWithWindows::kRunKey, kProgramName); }

TEST_F(ForItsUsers, TheKeyboardReachesEveryActionThroughTheStripsMenu) {
    const test::TrackerService& service = Service();
    service.Install();
    ASSERT_TRUE(store.store().Save(settings::kTrackerFolder, test::StandInFolder()));
    const test::ScopedUserValue noRunValue(StartWithWindows::kRunKey, kProgramName);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));

    ChooseFromMenu(program, 'S');  // Start tracker
    EXPECT_TRUE(program.WaitForCaption(status::kRunning));
    ChooseFromMenu(program, 'P');  // Stop tracker
    EXPECT_TRUE(program.WaitForCaption(status::kStopped));

    // Each choice is carried out once the menu has closed: the checks wait for it.
    const auto eventually = [](const auto& holds) { return test::PumpUntil(holds, 5s); };
    ChooseFromMenu(program, 'W');  // Start with Windows
    const test::RawValue thisProgram{REG_SZ, L"\"" + test::KvZtlPath() + L"\""};
    EXPECT_TRUE(eventually([&] { return RunValue() == thisProgram; })) << "no Run value naming kv-ztl.exe";
    ChooseFromMenu(program, 'W');
    EXPECT_TRUE(eventually([] { return RunValue() == std::nullopt; })) << "the Run value stays";

    ChooseFromMenu(program, 'A');  // Alert when the tracker stops
    EXPECT_TRUE(eventually([&] { return store.store().Text(settings::kAlertOnUnexpectedStop) == L"0"; }));

    ChooseFromMenu(program, 'E');  // Settings...
    HWND settings = nullptr;
    ASSERT_TRUE(test::PumpUntil(
        [&] { return (settings = test::FindWindowOf(program.process->id(), SettingsWindow::kClassName)); }, 10s));
    PostMessageW(settings, WM_CLOSE, 0, 0);
    ASSERT_TRUE(test::PumpUntil([&] { return !IsWindow(settings); }, 10s));

    ChooseFromMenu(program, 'B');  // About KV-ZTL
    std::vector<std::wstring> texts;
    EXPECT_EQ(AnswerMessageBoxes([](int shown) { return shown == 1; }, &texts), 1);
    ASSERT_EQ(texts.size(), 1u);
    // "KV-ZTL 1.0.0" for a file version of 1.0.0.0.
    std::wstring version = FileVersion();
    ASSERT_EQ(version.substr(version.size() - 2), L".0");
    version.resize(version.size() - 2);
    EXPECT_EQ(texts[0].rfind(L"KV-ZTL " + version + L"\n", 0), 0u) << texts[0];
    EXPECT_NE(texts[0].find(kHomepageAddress), std::wstring::npos);
    Close();
}

// The colour of the strip's caption bar on the screen, clear of its text and close button.
COLORREF CaptionColour(HWND strip) {
    RECT rect{};
    GetWindowRect(strip, &rect);
    const WindowDC screen;
    return GetPixel(screen.get(), rect.right - 40, rect.top + 10);
}

TEST_F(ForItsUsers, TheStripFlashesWhenTheTrackerDiesButNotWhenItWasAskedToStop) {
    const test::TrackerService& service = Service();
    service.Install();
    ASSERT_TRUE(store.store().Save(settings::kTrackerFolder, test::StandInFolder()));
    auto tracker = test::StartTracker();  // started by hand, and ended from outside
    ASSERT_TRUE(Start());
    ASSERT_TRUE(program.WaitForCaption(status::kRunning));
    const auto other = test::CreatePlainWindow();
    SetWindowPos(other.get(), nullptr, 600, 600, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const auto putOtherInFront = [&] {
        SetForegroundWindow(other.get());
        ASSERT_TRUE(
            test::PumpUntil([&] { return CaptionColour(program.window) == GetSysColor(COLOR_INACTIVECAPTION); }, 10s));
    };
    putOtherInFront();

    tracker->Terminate();
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));
    EXPECT_TRUE(test::PumpUntil([&] { return CaptionColour(program.window) == GetSysColor(COLOR_ACTIVECAPTION); }, 10s))
        << "the strip does not flash";
    EXPECT_EQ(GetForegroundWindow(), other.get()) << "the alert takes no focus";

    // Seen to; then the tracker is started and stopped from the strip: no alert.
    BringToFront(program.window);
    putOtherInFront();
    test::DoubleClick(program.Indicator(), test::Delivery::Post);
    ASSERT_TRUE(program.WaitForCaption(status::kRunning));
    test::DoubleClick(program.Indicator(), test::Delivery::Post);
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));
    // An alert comes with the poll that finds the tracker gone, which has been.
    EXPECT_FALSE(
        test::PumpUntil([&] { return CaptionColour(program.window) == GetSysColor(COLOR_ACTIVECAPTION); }, 400ms))
        << "the strip flashed for a stop it was asked for";
    Close();
}

TEST_F(ForItsUsers, ASecondStartBringsTheRunningStripForwardOnScreenAndEnds) {
    ASSERT_TRUE(Start());
    // The strip mostly off the screen's left edge, another window in front.
    SetWindowPos(program.window, nullptr, -140, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    const auto other = test::CreatePlainWindow();
    SetWindowPos(other.get(), nullptr, 600, 600, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetForegroundWindow(other.get());
    ASSERT_TRUE(test::PumpUntil([&] { return GetForegroundWindow() == other.get(); }, 10s));

    test::Process second(test::KvZtlPath(), L"");
    ASSERT_EQ(WaitForSingleObject(second.handle(), 10000), WAIT_OBJECT_0) << "the second start runs on";
    DWORD code = 1;
    GetExitCodeProcess(second.handle(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(test::PumpUntil([&] { return GetForegroundWindow() == program.window; }, 10s));
    RECT strip{}, work{}, inside{};
    GetWindowRect(program.window, &strip);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    IntersectRect(&inside, &strip, &work);
    EXPECT_EQ(inside, strip) << "wholly on screen";
    EXPECT_TRUE(program.process->running());
    Close();
}

// Name changes that the program's windows announce, as a screen reader hears them.
class NameChanges {
public:
    explicit NameChanges(DWORD processId)
        : hook_(SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr, &Heard, processId, 0,
                                WINEVENT_OUTOFCONTEXT)) {
        heard().clear();
    }
    ~NameChanges() { UnhookWinEvent(hook_); }
    // How many times `window` announced a new name.
    static size_t Of(HWND window) { return std::count(heard().begin(), heard().end(), window); }

private:
    static std::vector<HWND>& heard() {
        static std::vector<HWND> windows;
        return windows;
    }
    static void CALLBACK Heard(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD, DWORD) {
        if (object == OBJID_CLIENT && child == CHILDID_SELF) heard().push_back(window);
    }
    HWINEVENTHOOK hook_;
};

// What a screen reader reads of a window: its name and role.
std::pair<std::wstring, LONG> Read(HWND window) {
    const test::AccessibleRead read = test::ReadAccessible(window);
    return {read.name, read.role};
}

TEST_F(ForItsUsers, AScreenReaderReadsTheStateAsStaticTextAndHearsItChange) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    auto tracker = test::StartTracker();
    ASSERT_TRUE(Start());
    ASSERT_TRUE(program.WaitForCaption(status::kRunning));
    const NameChanges changes(program.process->id());
    test::PumpFor(700ms);  // a poll or two that find nothing new
    EXPECT_EQ(NameChanges::Of(program.Indicator()), 0u) << "the same caption again is no news";

    tracker->Terminate();
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));
    EXPECT_TRUE(test::PumpUntil([&] { return NameChanges::Of(program.Indicator()) == 1; }, 10s));
    EXPECT_EQ(Read(program.Indicator()), (std::pair<std::wstring, LONG>{L"STOPPED", ROLE_SYSTEM_STATICTEXT}));
    EXPECT_EQ(Read(GetDlgItem(program.window, StatusWindow::KORVANE_ZTL_TITLE)),
              (std::pair<std::wstring, LONG>{L"BNBT:", ROLE_SYSTEM_STATICTEXT}));
    Close();
    CoUninitialize();
}

}  // namespace
}  // namespace kvztl
