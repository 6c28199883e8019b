#include "tracker/launcher.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <thread>

#include "platform/system_message.h"
#include "support/test_support.h"
#include "tracker/process_probe.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;

TEST(Launcher, RunsTrackerProgramsFromTheTrackerFolderOrByBareNameAndExplorerByFullPath) {
    const auto owner = test::CreatePlainWindow();
    test::ShellRecorder shell;
    Launcher launcher(std::ref(shell));
    const std::wstring folder = test::StandInFolder();
    launcher.RunTrackerProgram(owner.get(), L"bnbt.exe", L"-stop", folder);
    launcher.RunTrackerProgram(owner.get(), L"bnbtfrontend.exe", L"", folder);
    launcher.RunTrackerProgram(owner.get(), L"bnbt.exe", L"-start", L"TYPE BNBT FOLDER LOCATION HERE");
    launcher.Explore(owner.get(), L"D:\\Tracker Files");

    const struct {
        std::wstring file, parameters, directory;
        bool directoryNull;
    } expected[] = {{folder + L"\\bnbt.exe", L"-stop", folder, false},
                    {folder + L"\\bnbtfrontend.exe", L"", folder, false},
                    {L"bnbt.exe", L"-start", L"", true},
                    {ExplorerPath(), L"D:\\Tracker Files", L"D:\\Tracker Files", false}};
    ASSERT_EQ(shell.calls.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const auto& call = shell.calls[i];
        EXPECT_EQ(call.file, expected[i].file);
        EXPECT_EQ(call.parameters, expected[i].parameters);
        EXPECT_FALSE(call.parametersNull) << "empty parameters are an empty string, not null";
        EXPECT_EQ(call.directory, expected[i].directory);
        EXPECT_EQ(call.directoryNull, expected[i].directoryNull) << call.file;
        EXPECT_EQ(call.owner, owner.get());
        EXPECT_EQ(call.verb, L"runas");
        EXPECT_EQ(call.show, SW_SHOWNORMAL);
        // No dialog from the shell; the process comes back so the probe can tell it apart.
        EXPECT_TRUE(call.mask & SEE_MASK_FLAG_NO_UI);
        EXPECT_TRUE(call.mask & SEE_MASK_NOCLOSEPROCESS);
    }
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(ExplorerPath(), std::wstring(windows) + L"\\explorer.exe");
}

TEST(Launcher, FindsATrackerProgramOnlyInAnExistingFullPathFolderThatHoldsIt) {
    const std::wstring folder = test::StandInFolder();
    const std::wstring withoutProgram = test::TempFolder(L"no-tracker");
    SetEnvironmentVariableW(L"KVZTL_TEST_TRACKER", folder.c_str());
    const ProgramLocation inFolder{folder + L"\\bnbt.exe", folder};
    const ProgramLocation bare{L"bnbt.exe", L""};
    const struct {
        std::wstring typed;
        ProgramLocation location;
    } cases[] = {
        {folder, inFolder},
        {folder + L"\\", inFolder},
        {L"  \"" + folder + L"\"  ", inFolder},
        {L"%KVZTL_TEST_TRACKER%", inFolder},
        {L"", bare},
        {L"TYPE BNBT FOLDER LOCATION HERE", bare},
        {L"stand-in", bare},  // relative: wherever the program happens to run
        {L"-start", bare},
        {withoutProgram, bare},
        {folder + L"\\bnbt.exe", bare},  // a file, not a folder
        {folder + L"-missing", bare},
    };
    for (const auto& c : cases) EXPECT_EQ(LocateTrackerProgram(L"bnbt.exe", c.typed), c.location) << c.typed;
    EXPECT_EQ(LocateTrackerProgram(L"bnbtfrontend.exe", folder),
              (ProgramLocation{folder + L"\\bnbtfrontend.exe", folder}));
    SetEnvironmentVariableW(L"KVZTL_TEST_TRACKER", nullptr);
}

TEST(Launcher, StartsTheProgramWithItsTextUnchangedAndKnowsItsProcessUntilItEnds) {
    test::LaunchLog log;
    Launcher launcher;
    const auto owner = test::CreatePlainWindow();
    ASSERT_TRUE(
        launcher.RunTrackerProgram(owner.get(), L"bnbtfrontend.exe", L"C:\\Трекер\\日本 ünï", test::StandInFolder())
            .started());
    const auto entries = log.WaitFor(1);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].program, L"bnbtfrontend.exe");
    EXPECT_EQ(entries[0].Arguments(), L" C:\\Трекер\\日本 ünï");
    EXPECT_EQ(entries[0].directory, test::StandInFolder());

    // The started process is left out of the probe while it runs, and forgotten once it ends.
    const std::vector<DWORD> ids = test::ProcessIds(L"bnbtfrontend.exe");
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_TRUE(launcher.Launched(ids[0]));
    const ProcessFilter launched = [&](DWORD id) { return launcher.Launched(id); };
    EXPECT_FALSE(IsProcessRunning(L"bnbtfrontend.exe", launched));
    test::Process other(test::StandInFolder() + L"\\bnbtfrontend.exe", L"");
    EXPECT_TRUE(IsProcessRunning(L"bnbtfrontend.exe", launched)) << "one not launched still counts";
    EXPECT_FALSE(launcher.Launched(other.id()));
    test::EndAll(L"bnbtfrontend.exe");
    EXPECT_FALSE(launcher.Launched(ids[0]));
}

TEST(Launcher, SaysWhatBecameOfALaunchAndWhatToTellTheUser) {
    Launcher launcher;
    const LaunchResult missing = launcher.RunTrackerProgram(nullptr, L"kvztl-no-such-tracker.exe", L"-start", L"");
    EXPECT_EQ(missing.outcome, LaunchResult::Outcome::Failed);
    EXPECT_EQ(missing.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(LaunchFailureText(missing),
              L"Could not start kvztl-no-such-tracker.exe: " + SystemMessage(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(SystemMessage(ERROR_FILE_NOT_FOUND).back(), L'.') << "no line break of the system's own";

    // A refused elevation prompt is the user's own choice: nothing to tell.
    test::ShellRecorder shell;
    shell.result = FALSE;
    shell.error = ERROR_CANCELLED;
    Launcher refused(std::ref(shell));
    const LaunchResult cancelled = refused.RunTrackerProgram(nullptr, L"bnbt.exe", L"-stop", L"");
    EXPECT_EQ(cancelled.outcome, LaunchResult::Outcome::Cancelled);
    EXPECT_EQ(LaunchFailureText(cancelled), std::nullopt);
    EXPECT_EQ(shell.calls.size(), 1u);

    test::ShellRecorder accepting;
    Launcher started(std::ref(accepting));
    const LaunchResult result = started.RunTrackerProgram(nullptr, L"bnbt.exe", L"-stop", test::StandInFolder());
    EXPECT_TRUE(result.started());
    EXPECT_EQ(result.program, L"bnbt.exe");
    EXPECT_EQ(LaunchFailureText(result), std::nullopt);
}

TEST(Launcher, TheShellIsCalledWithCOMApartmentThreadedOnTheCallingThread) {
    // A thread of its own: the first launch on it is the one that sets COM up.
    std::thread([] {
        test::ShellRecorder shell;
        Launcher launcher(std::ref(shell));
        launcher.Explore(nullptr, L"C:\\");
        ASSERT_EQ(shell.calls.size(), 1u);
        // A single-threaded apartment (the process's main one, if this is the first).
        EXPECT_TRUE(shell.calls[0].apartment == APTTYPE_STA || shell.calls[0].apartment == APTTYPE_MAINSTA)
            << shell.calls[0].apartment;
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    }).join();
}

}  // namespace
}  // namespace kvztl
