#include "tracker/launcher.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;

TEST(Launcher, AsksTheShellForRunasWithTheParametersAlsoAsDirectory) {
    const auto owner = test::CreateOwnerWindow();
    test::ShellRecorder shell;
    const Launcher launcher(std::ref(shell));
    const struct {
        const wchar_t* file;
        const wchar_t* parameters;
    } rows[] = {{L"bnbt.exe", L"-stop"}, {L"bnbt.exe", L"-start"}, {L"bnbt.exe", L"-i"}, {L"bnbt.exe", L"-u"},
                {L"bnbtfrontend.exe", L""}, {L"explorer.exe", L"D:\\Tracker Files"}};
    for (const auto& row : rows) EXPECT_TRUE(launcher.Launch(owner.get(), row.file, row.parameters));

    ASSERT_EQ(shell.calls.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto& call = shell.calls[i];
        EXPECT_EQ(call.owner, owner.get());
        EXPECT_EQ(call.verb, L"runas");
        EXPECT_EQ(call.file, rows[i].file);
        EXPECT_EQ(call.parameters, rows[i].parameters);
        EXPECT_EQ(call.directory, rows[i].parameters);
        EXPECT_FALSE(call.parametersNull || call.directoryNull) << "empty texts are empty strings, not null";
        EXPECT_EQ(call.show, SW_SHOWNORMAL);
        // No dialog from the shell, no process handle to wait on.
        EXPECT_TRUE(call.mask & SEE_MASK_FLAG_NO_UI);
        EXPECT_FALSE(call.mask & SEE_MASK_NOCLOSEPROCESS);
    }
}

TEST(Launcher, StartsTheProgramWithItsTextUnchanged) {
    test::LaunchLog log;
    const std::wstring standIn = test::BinDirectory() + L"\\stand-in\\bnbtfrontend.exe";
    const Launcher launcher;
    const auto owner = test::CreateOwnerWindow();
    ASSERT_TRUE(launcher.Launch(owner.get(), standIn, L"C:\\Трекер\\日本 ünï"));
    ASSERT_TRUE(launcher.Launch(owner.get(), standIn, L""));
    const auto entries = log.WaitFor(2);
    ASSERT_EQ(entries.size(), 2u);
    // Command lines are "<program>" <parameters>; which launch logged first is up to the system.
    std::vector<std::wstring> arguments;
    for (const auto& entry : entries) {
        EXPECT_EQ(entry.program, L"bnbtfrontend.exe");
        std::wstring rest = entry.commandLine.substr(entry.commandLine.find(L".exe\"") + 5);
        arguments.push_back(rest.empty() ? rest : rest.substr(1));
    }
    std::sort(arguments.begin(), arguments.end());
    EXPECT_EQ(arguments, (std::vector<std::wstring>{L"", L"C:\\Трекер\\日本 ünï"}));
    test::EndAll(L"bnbtfrontend.exe");
}

TEST(Launcher, AProgramThatCannotStartIsReportedOnceByName) {
    const auto owner = test::CreateOwnerWindow();
    const Launcher launcher;
    test::DialogWatcher watcher(owner.get());
    EXPECT_FALSE(launcher.Launch(owner.get(), L"kvztl-no-such-tracker.exe", L"-start"));
    test::PumpFor(300ms);
    const auto texts = watcher.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].rfind(L"Could not start kvztl-no-such-tracker.exe: ", 0), 0u) << texts[0];
    EXPECT_GT(texts[0].size(), std::wstring(L"Could not start kvztl-no-such-tracker.exe: ").size());
    EXPECT_NE(texts[0].back(), L'\n');
}

TEST(Launcher, ARefusedElevationPromptStaysSilent) {
    const auto owner = test::CreateOwnerWindow();
    test::ShellRecorder shell;
    shell.result = FALSE;
    shell.error = ERROR_CANCELLED;
    const Launcher launcher(std::ref(shell));
    test::DialogWatcher watcher(owner.get());
    EXPECT_FALSE(launcher.Launch(owner.get(), L"bnbt.exe", L"-stop"));
    test::PumpFor(200ms);
    EXPECT_TRUE(watcher.Texts().empty());
    EXPECT_EQ(shell.calls.size(), 1u);
}

}  // namespace
}  // namespace kvztl
