// kv-ztl.exe where users really run it: other programs being typed into, a tracker service
// driven through the service control manager, folders nobody chose, logoff, settings left
// by other versions, a settings key it may not write.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/system_message.h"
#include "settings_window/settings_window.h"
#include "status_window/status_window.h"
#include "store/window_place.h"
#include "support/program.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;
using S = SettingsWindow;

using InTheField = test::ProgramTest;

// Types `text` with the keyboard, a few keys at a time, into whatever has the focus.
void Type(const std::wstring& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        INPUT keys[2]{};
        for (INPUT& key : keys) {
            key.type = INPUT_KEYBOARD;
            key.ki.wScan = text[i];
            key.ki.dwFlags = KEYEVENTF_UNICODE;
        }
        keys[1].ki.dwFlags |= KEYEVENTF_KEYUP;
        SendInput(2, keys, sizeof(INPUT));
        if (i % 9 == 8) test::PumpFor(250ms);  // over several of the keeper's ticks
    }
}

TEST_F(InTheField, WithTheKeeperOnEveryKeyTypedIntoAnotherProgramArrivesThere) {
    ASSERT_TRUE(store.store().Save(settings::kAlwaysOnTop, L"1"));
    ASSERT_TRUE(Start());
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    test::Process notepad(std::wstring(system) + L"\\notepad.exe", L"");
    HWND editor = nullptr;
    ASSERT_TRUE(
        test::PumpUntil([&] { return (editor = test::FindWindowOf(notepad.id(), L"Notepad")) != nullptr; }, 10s));
    HWND edit = FindWindowExW(editor, nullptr, L"Edit", nullptr);
    ASSERT_TRUE(edit);
    SetForegroundWindow(editor);
    ASSERT_TRUE(test::PumpUntil([&] { return GetForegroundWindow() == editor; }, 10s));
    // The keeper has ticked at least once with Notepad in front.
    ASSERT_TRUE(test::PumpUntil([&] { return test::IsTopmost(program.window); }, 10s));
    const std::wstring typed = L"the quick brown fox jumps over the lazy dog again and again";
    Type(typed);
    EXPECT_TRUE(test::PumpUntil([&] { return test::TextOf(edit).size() >= typed.size(); }, 10s));
    EXPECT_EQ(test::TextOf(edit), typed);
    EXPECT_EQ(GetForegroundWindow(), editor);
    EXPECT_TRUE(test::IsTopmost(program.window)) << "the keeper still keeps the strip on top";
    notepad.Terminate();
    Close();
}

constexpr const wchar_t* kNotFound = L"bnbt.exe was not found. Type the tracker's folder in the settings window.";

TEST_F(InTheField, ADoubleClickWhoseLaunchFailsSaysSoAndIssuesOneCommandWhateverThePollsShowMeanwhile) {
    // No bnbt.exe where KV-ZTL looks for it: nothing is launched, and it says so.
    auto tracker = test::StartTracker();
    ASSERT_TRUE(Start());
    ASSERT_TRUE(program.WaitForCaption(status::kRunning));
    test::DoubleClick(program.Indicator(), test::Delivery::Post);
    HWND box = nullptr;
    ASSERT_TRUE(test::PumpUntil([&] { return (box = program.FindMessageBox()) != nullptr; }, 10s));
    EXPECT_EQ(test::TextOf(GetDlgItem(box, 0xFFFF)), kNotFound);
    // While the message is up the tracker ends and the polls go on.
    tracker->Terminate();
    EXPECT_TRUE(program.WaitForCaption(status::kStopped));
    SendMessageW(box, WM_COMMAND, IDOK, 0);
    // A second command would say so at once: its launch follows when the message closes.
    EXPECT_EQ(AnswerMessageBoxesFor(500ms), 0) << "the double-click launched a second command";
    // Each attempt is told once, and the strip goes on.
    test::DoubleClick(program.Indicator(), test::Delivery::Post);
    std::vector<std::wstring> texts;
    EXPECT_EQ(AnswerMessageBoxes([](int shown) { return shown == 1; }, &texts), 1);
    EXPECT_EQ(texts.at(0), kNotFound);
    EXPECT_TRUE(program.WaitForCaption(status::kStopped));
    Close();
}

TEST_F(InTheField, CommandsThatItStartedDoNotCountAsTheTracker) {
    const test::TrackerService& service = Service();
    ASSERT_TRUE(store.store().Save(settings::kTrackerFolder, test::StandInFolder()));
    {
        // Every command it starts stays a while after its work, as a slow one would.
        const test::ScopedEnvironment linger(L"BNBT_STAND_IN_LINGER_MS", L"1500");
        ASSERT_TRUE(Start());
    }
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));
    const auto commandRuns = [] { return !test::ProcessIds(L"bnbt.exe").empty(); };

    // With no service, -start fails; its process lives on for a while and runs no tracker.
    test::DoubleClick(program.Indicator(), test::Delivery::Post);
    ASSERT_TRUE(test::PumpUntil(commandRuns, 10s));
    bool everRunning = false;
    test::PumpUntil([&] { return (everRunning |= test::TextOf(program.Indicator()) == status::kRunning); }, 1200ms);
    EXPECT_FALSE(everRunning) << "a failing -start command showed as a running tracker";
    ASSERT_TRUE(test::PumpUntil([&] { return !commandRuns(); }, 10s));
    std::vector<std::wstring> texts;
    EXPECT_EQ(AnswerMessageBoxes([](int shown) { return shown == 1; }, &texts), 1);
    EXPECT_EQ(texts.at(0).find(L"The tracker's service is not installed."), 0u) << texts.at(0);

    // With the service there, this user may start and stop it: no command runs at all.
    service.Install();
    test::DoubleClick(program.Indicator(), test::Delivery::Post);
    ASSERT_TRUE(program.WaitForCaption(status::kRunning));
    EXPECT_EQ(test::ProcessIds(L"bnbt.exe").size(), 1u) << "a command ran beside the service's tracker";
    test::DoubleClick(program.Indicator(), test::Delivery::Post);
    EXPECT_TRUE(program.WaitForCaption(status::kStopped));
    EXPECT_FALSE(commandRuns());
    Close();
}

TEST_F(InTheField, TrackerCommandsNeverRunAProgramFromAFolderNobodyChose) {
    // No service: the start goes out as the tracker's command, which says it is not installed.
    Service();
    test::LaunchLog log;
    // A folder to start in, with a planted bnbt.exe in "-start" and a planted explorer.exe.
    const std::wstring planted = test::TempFolder(L"planted");
    CreateDirectoryW((planted + L"\\-start").c_str(), nullptr);
    ASSERT_TRUE(
        CopyFileW((test::StandInFolder() + L"\\bnbt.exe").c_str(), (planted + L"\\-start\\bnbt.exe").c_str(), FALSE));
    ASSERT_TRUE(
        CopyFileW((test::StandInFolder() + L"\\bnbt.exe").c_str(), (planted + L"\\explorer.exe").c_str(), FALSE));
    // No folder typed: the bare name is found where the shell finds programs, here on PATH.
    {
        const test::StandInOnPath path;
        ASSERT_TRUE(Start(planted));
    }
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));
    test::DoubleClick(program.Indicator(), test::Delivery::Post);
    EXPECT_EQ(AnswerMessageBoxes([](int shown) { return shown == 1; }), 1);
    auto entries = log.WaitFor(1);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].commandLine.find(planted), std::wstring::npos) << entries[0].commandLine;
    EXPECT_NE(entries[0].commandLine.find(test::StandInFolder() + L"\\bnbt.exe"), std::wstring::npos);

    // The folder box names the planted folder: Explorer is the Windows folder's own.
    const std::vector<DWORD> before = test::ProcessIds(L"explorer.exe");
    HWND settings = program.OpenSettings();
    ASSERT_TRUE(settings);
    SendMessageW(GetDlgItem(settings, S::BNBT_FOLDER_TEXTBOX), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(planted.c_str()));
    PostMessageW(GetDlgItem(settings, S::EXPLORE_BNBT_FOLDER_BUTTON), BM_CLICK, 0, 0);
    std::vector<DWORD> started;
    test::PumpUntil(
        [&] {
            started.clear();
            for (DWORD id : test::ProcessIds(L"explorer.exe")) {
                if (std::find(before.begin(), before.end(), id) == before.end()) started.push_back(id);
            }
            return !started.empty();
        },
        10s);
    ASSERT_EQ(started.size(), 1u);
    const UniqueHandle explorer(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, started[0]));
    wchar_t image[MAX_PATH];
    DWORD size = MAX_PATH;
    ASSERT_TRUE(QueryFullProcessImageNameW(explorer.get(), 0, image, &size));
    // Wine runs the Windows folder's explorer.exe from its system folder.
    wchar_t windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(CompareStringOrdinal(image, static_cast<int>(length), windows, -1, TRUE), CSTR_EQUAL) << image;
    EXPECT_EQ(std::wstring(image).find(planted), std::wstring::npos) << image;
    TerminateProcess(explorer.get(), 0);
    EXPECT_EQ(log.Entries().size(), 1u) << "the planted explorer.exe ran";
    PostMessageW(settings, WM_CLOSE, 0, 0);
    Close();
}

TEST_F(InTheField, LogoffKeepsThePlacesAndTheFolderTextOfThisSession) {
    ASSERT_TRUE(Start());
    SetWindowPos(program.window, nullptr, 210, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    HWND settings = program.OpenSettings();
    ASSERT_TRUE(settings);
    SetWindowPos(settings, nullptr, 90, 70, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    const std::wstring folder = L"D:\\Tracker typed this session";
    SendMessageW(GetDlgItem(settings, S::BNBT_FOLDER_TEXTBOX), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));

    // What the system does at logoff: it asks every window, tells every window, ends the process.
    for (HWND window : {program.window, settings}) {
        DWORD_PTR agreed = 0;
        ASSERT_TRUE(
            SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &agreed));
        EXPECT_TRUE(agreed);
    }
    for (HWND window : {program.window, settings}) {
        SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, nullptr);
    }
    program.process->Terminate();

    ASSERT_EQ(SystemDpi(), 96u) << "the figures are at 96 DPI, 15 twips a pixel";
    const TwipsRect strip = LoadPlace(store.store(), settings::kStatusPlacePrefix, {});
    EXPECT_EQ(strip.left, 3150);  // 210 px
    EXPECT_EQ(strip.top, 1800);   // 120 px
    const TwipsRect settingsPlace = LoadPlace(store.store(), settings::kSettingsPlacePrefix, {});
    EXPECT_EQ(settingsPlace.left, 1350);  // 90 px
    EXPECT_EQ(settingsPlace.top, 1050);   // 70 px
    EXPECT_EQ(store.store().Text(settings::kTrackerFolder), folder);
}

TEST_F(InTheField, SettingsLeftByOtherVersionsAreReadAndKeptAsStored) {
    // The user writes numbers with a decimal comma.
    const test::ScopedUserValue comma(L"Control Panel\\International", L"sDecimal", L",");
    ASSERT_TRUE(store.store().Save(L"MainLeft", L"1500,5"));  // written with the user's decimal comma
    ASSERT_TRUE(store.store().Save(L"MainTop", L"1800"));
    ASSERT_TRUE(store.store().Save(L"MainWidth", L"0"));
    const std::wstring folder = L"%WINDIR%\\bnbt";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, SettingsStore::kApplicationKey, settings::kTrackerFolder,
                              REG_EXPAND_SZ, folder.c_str(), static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    ASSERT_TRUE(Start());
    RECT rect{};
    GetWindowRect(program.window, &rect);
    ASSERT_EQ(SystemDpi(), 96u) << "the figures are at 96 DPI, 15 twips a pixel";
    EXPECT_EQ(rect.left, 100);  // 1500.5 twips
    EXPECT_EQ(rect.top, 120);   // 1800 twips
    EXPECT_EQ(rect.right - rect.left, 152) << "a width of 0 is the default, 2280 twips";

    HWND settings = program.OpenSettings();
    ASSERT_TRUE(settings);
    EXPECT_EQ(test::TextOf(GetDlgItem(settings, S::BNBT_FOLDER_TEXTBOX)), folder);
    PostMessageW(settings, WM_CLOSE, 0, 0);
    ASSERT_TRUE(test::PumpUntil([&] { return !IsWindow(settings); }, 10s));
    EXPECT_EQ(test::ReadUserValue(SettingsStore::kApplicationKey, settings::kTrackerFolder),
              (test::RawValue{REG_EXPAND_SZ, folder}));
    Close();
}

TEST_F(InTheField, ASettingThatCannotBeStoredIsToldOnceAndTheProgramGoesOn) {
    ASSERT_TRUE(store.store().Save(settings::kAlwaysOnTop, L"0"));
    test::MakeReadOnly(SettingsStore::kApplicationKey);
    auto tracker = test::StartTracker();
    ASSERT_TRUE(Start());
    HWND settings = program.OpenSettings();
    ASSERT_TRUE(settings);
    PostMessageW(GetDlgItem(settings, S::AlwaysOnTopTimer_TICKBOX), BM_CLICK, 0, 0);
    std::vector<std::wstring> texts;
    EXPECT_EQ(AnswerMessageBoxes([](int shown) { return shown == 1; }, &texts), 1);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find(settings::kAlwaysOnTop), std::wstring::npos) << texts[0];
    EXPECT_NE(texts[0].find(SystemMessage(ERROR_ACCESS_DENIED)), std::wstring::npos) << texts[0];

    // Closing stores place, size and folder text (a message would come before the window
    // has gone): nothing more is said, and the strip goes on.
    PostMessageW(settings, WM_CLOSE, 0, 0);
    EXPECT_EQ(AnswerMessageBoxes([&](int) { return !IsWindow(settings); }), 0);
    EXPECT_TRUE(program.WaitForCaption(status::kRunning));
    tracker->Terminate();
    EXPECT_TRUE(program.WaitForCaption(status::kStopped));
    PostMessageW(program.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(AnswerMessageBoxes([&](int) { return !program.process->running(); }), 0);
    EXPECT_FALSE(program.process->running());
    EXPECT_EQ(store.store().Text(settings::kAlwaysOnTop), L"0");
    RegDeleteTreeW(HKEY_CURRENT_USER, SettingsStore::kApplicationKey);
}

}  // namespace
}  // namespace kvztl
