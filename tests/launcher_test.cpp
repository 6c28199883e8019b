#include "tracker/launcher.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <thread>

#include "platform/system_message.h"
#include "support/test_support.h"
#include "platform/signal_wait.h"
#include "tracker/process_probe.h"
#include "tracker/tracker_control.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;

std::wstring Expanded(const wchar_t* text) {
    wchar_t expanded[MAX_PATH];
    ExpandEnvironmentStringsW(text, expanded, MAX_PATH);
    return expanded;
}

TEST(Launcher, RunsTrackerProgramsByFullPathAndExplorerWithTheFolderAsTheProgramsUseIt) {
    const auto owner = test::CreatePlainWindow();
    test::ShellRecorder shell;
    Launcher launcher(std::ref(shell));
    const std::wstring folder = test::StandInFolder();
    const test::ScopedEnvironment variable(L"KVZTL_TEST_TRACKER", folder);
    launcher.RunTrackerProgram(owner.get(), L"bnbt.exe", L"-stop", folder);
    launcher.RunTrackerProgram(owner.get(), L"bnbtfrontend.exe", L"", folder);
    // Explorer takes the folder as typed; the working directory is the folder itself.
    for (const std::wstring& typed : {L"\"" + folder + L"\"", std::wstring(L"%KVZTL_TEST_TRACKER%"), folder + L"\\"}) {
        launcher.Explore(owner.get(), typed);
    }
    launcher.Explore(owner.get(), L"D:\\No Such Tracker Files");

    const std::wstring explorer = Expanded(L"%SystemRoot%\\explorer.exe");
    const struct {
        std::wstring file, parameters, directory;
        bool directoryNull;
    } expected[] = {
        {folder + L"\\bnbt.exe", L"-stop", folder, false}, {folder + L"\\bnbtfrontend.exe", L"", folder, false},
        {explorer, L"\"" + folder + L"\"", folder, false}, {explorer, L"%KVZTL_TEST_TRACKER%", folder, false},
        {explorer, folder + L"\\", folder, false},         {explorer, L"D:\\No Such Tracker Files", L"", true}};
    ASSERT_EQ(shell.calls.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const auto& call = shell.calls[i];
        EXPECT_EQ(call.file, expected[i].file);
        EXPECT_EQ(call.parameters, expected[i].parameters);
        EXPECT_FALSE(call.parametersNull) << "empty parameters are an empty string, not null";
        EXPECT_EQ(call.directory, expected[i].directory) << i;
        EXPECT_EQ(call.directoryNull, expected[i].directoryNull) << i;
        EXPECT_EQ(call.owner, owner.get());
        EXPECT_EQ(call.verb, L"runas");
        EXPECT_EQ(call.show, SW_SHOWNORMAL);
        // No dialog from the shell; the process comes back so the probe can tell it apart.
        EXPECT_TRUE(call.mask & SEE_MASK_FLAG_NO_UI);
        EXPECT_TRUE(call.mask & SEE_MASK_NOCLOSEPROCESS);
    }
}

TEST(Launcher, FindsATrackerProgramInTheTrackerFolderThenOnFullPathPathEntriesNeverInTheCurrentFolder) {
    const std::wstring folder = test::StandInFolder();
    const std::wstring withoutProgram = test::TempFolder(L"no-tracker");
    const test::ScopedEnvironment variable(L"KVZTL_TEST_TRACKER", folder);
    // The current folder holds a bnbt.exe, and PATH names it relatively: neither counts.
    const std::wstring current = test::TempFolder(L"current-folder");
    ASSERT_TRUE(CopyFileW((folder + L"\\bnbt.exe").c_str(), (current + L"\\bnbt.exe").c_str(), FALSE));
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    SetCurrentDirectoryW(current.c_str());
    const test::ScopedEnvironment noPath(L"PATH", L".;stand-in;" + withoutProgram);
    const ProgramLocation inFolder{folder + L"\\bnbt.exe", folder};
    const struct {
        std::wstring typed;
        std::optional<ProgramLocation> location;
    } cases[] = {
        {folder, inFolder},
        {folder + L"\\", inFolder},
        {L"  \"" + folder + L"\"  ", inFolder},
        {L"%KVZTL_TEST_TRACKER%", inFolder},
        {L"", std::nullopt},
        {L"TYPE BNBT FOLDER LOCATION HERE", std::nullopt},
        {L"stand-in", std::nullopt},  // relative: wherever the program happens to run
        {withoutProgram, std::nullopt},
        {folder + L"\\bnbt.exe", std::nullopt},  // a file, not a folder
    };
    for (const auto& c : cases) EXPECT_EQ(LocateTrackerProgram(L"bnbt.exe", c.typed), c.location) << c.typed;
    {
        // A PATH folder given by full path, quoted or not, is searched in its order.
        const test::ScopedEnvironment path(L"PATH", L"stand-in; \"" + folder + L"\" ;" + withoutProgram);
        EXPECT_EQ(LocateTrackerProgram(L"bnbtfrontend.exe", L""),
                  (ProgramLocation{folder + L"\\bnbtfrontend.exe", folder}));
    }
    SetCurrentDirectoryW(saved);

    // Found nowhere: no launch, and the user is told where to type the folder.
    test::ShellRecorder shell;
    const LaunchResult missing = Launcher(std::ref(shell)).RunTrackerProgram(nullptr, L"bnbt.exe", L"-start", L"");
    EXPECT_EQ(missing.outcome, LaunchResult::Outcome::NotFound);
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_EQ(LaunchFailureText(missing), L"bnbt.exe was not found. Type the tracker's folder in the settings window.");
}

TEST(Launcher, StartsTheProgramWithItsTextUnchangedAndTheControlKnowsItsProcessUntilItEnds) {
    test::LaunchLog log;
    const auto owner = test::CreatePlainWindow();
    ASSERT_TRUE(Launcher()
                    .RunTrackerProgram(owner.get(), L"bnbtfrontend.exe", L"C:\\Трекер\\日本 ünï", test::StandInFolder())
                    .started());
    auto entries = log.WaitFor(1);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].program, L"bnbtfrontend.exe");
    EXPECT_EQ(entries[0].Arguments(), L" C:\\Трекер\\日本 ünï");
    EXPECT_EQ(entries[0].directory, test::StandInFolder());
    test::EndAll(L"bnbtfrontend.exe");

    // Through the control, off this thread: the started process is left out of the probe
    // while it runs, and forgotten once it ends; its end is told at once.
    TrackerControl control(owner.get(), WM_APP, WM_APP + 1);
    ASSERT_TRUE(control.Run(TrackerAction::Configure, owner.get(), test::StandInFolder()));
    std::vector<TrackerControl::Finished> finished;
    ASSERT_TRUE(test::PumpUntil(
        [&] {
            for (auto& done : control.TakeFinished()) finished.push_back(std::move(done));
            return !control.Busy();
        },
        10s));
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_TRUE(finished[0].result.started());
    EXPECT_EQ(finished[0].owner, owner.get());
    const std::vector<DWORD> ids = test::ProcessIds(L"bnbtfrontend.exe");
    ASSERT_EQ(ids.size(), 1u);
    const ProcessFilter launched = [&](DWORD id, DWORD parentId) { return control.IsCommand(id, parentId); };
    EXPECT_FALSE(IsProcessRunning(L"bnbtfrontend.exe", launched));
    test::Process other(test::StandInFolder() + L"\\bnbtfrontend.exe", L"");
    EXPECT_TRUE(IsProcessRunning(L"bnbtfrontend.exe", launched)) << "one not launched still counts";
    EXPECT_TRUE(control.CommandRunning(TrackerAction::Configure));
    // Its end, seen by a poll before the wait on it fires, is told there, and once only.
    test::EndAll(L"bnbtfrontend.exe");
    std::vector<TrackerControl::Ended> ended = control.TakeEnded();
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].action, TrackerAction::Configure);
    EXPECT_TRUE(control.TakeEnded().empty());
    EXPECT_FALSE(control.IsCommand(ids[0], 0));
    EXPECT_FALSE(control.CommandRunning(TrackerAction::Configure));

    // Else its wait tells the window at once, with the command's exit code to take.
    ASSERT_TRUE(control.Run(TrackerAction::Configure, owner.get(), test::StandInFolder()));
    ASSERT_TRUE(test::PumpUntil([&] { return control.TakeFinished().size() == 1; }, 10s));
    for (const DWORD id : test::ProcessIds(L"bnbtfrontend.exe")) {
        const UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
        TerminateProcess(process.get(), 42);
    }
    MSG told{};
    for (int tries = 0; tries < 500 && !PeekMessageW(&told, owner.get(), WM_APP + 1, WM_APP + 1, PM_REMOVE); ++tries) {
        WaitForWork(10);
    }
    EXPECT_EQ(told.message, static_cast<UINT>(WM_APP + 1));
    ended = control.TakeEnded();
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].exitCode, 42u);
}

TEST(Launcher, SaysWhatBecameOfALaunchAndWhatToTellTheUser) {
    test::ShellRecorder failing;
    failing.result = FALSE;
    failing.error = ERROR_ACCESS_DENIED;
    const LaunchResult denied =
        Launcher(std::ref(failing)).RunTrackerProgram(nullptr, L"bnbt.exe", L"-start", test::StandInFolder());
    EXPECT_EQ(denied.outcome, LaunchResult::Outcome::Failed);
    EXPECT_EQ(denied.error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(LaunchFailureText(denied), L"Could not start bnbt.exe: " + SystemMessage(ERROR_ACCESS_DENIED));
    EXPECT_EQ(SystemMessage(ERROR_FILE_NOT_FOUND).back(), L'.') << "no line break of the system's own";

    // A refused elevation prompt is the user's own choice: nothing to tell.
    test::ShellRecorder shell;
    shell.result = FALSE;
    shell.error = ERROR_CANCELLED;
    Launcher refused(std::ref(shell));
    const LaunchResult cancelled = refused.RunTrackerProgram(nullptr, L"bnbt.exe", L"-stop", test::StandInFolder());
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

TEST(Launcher, TheShellIsCalledWithCOMApartmentThreadedAndTheThreadLeftAsItWas) {
    std::thread([] {
        test::ShellRecorder shell;
        Launcher launcher(std::ref(shell));
        launcher.Explore(nullptr, L"C:\\");
        ASSERT_EQ(shell.calls.size(), 1u);
        // A single-threaded apartment (the process's main one, if this is the first).
        EXPECT_TRUE(shell.calls[0].apartment == APTTYPE_STA || shell.calls[0].apartment == APTTYPE_MAINSTA)
            << shell.calls[0].apartment;
        // COM has gone again: the thread may join another apartment.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    }).join();
}

}  // namespace
}  // namespace kvztl
