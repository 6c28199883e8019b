// Starts the tracker's programs and the file browser through the shell with elevated rights
// ("runas"), fire-and-forget.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/handles.h"

namespace kvztl {

// Where a program is run from.
struct ProgramLocation {
    std::wstring file;       // a full path, or a bare name for the shell's own search
    std::wstring directory;  // the working directory; empty: none is passed
    friend bool operator==(const ProgramLocation&, const ProgramLocation&) = default;
};

// The tracker's `program` ("bnbt.exe", "bnbtfrontend.exe"): by full path, with the tracker
// folder as working directory, when `trackerFolder` (quotes and blanks around it dropped,
// %VARIABLES% expanded) names an existing folder, by full path, that holds the program.
// Otherwise the bare name, found as the shell finds programs, with no working directory:
// never a folder nobody chose.
ProgramLocation LocateTrackerProgram(std::wstring_view program, std::wstring_view trackerFolder);

// The file browser in the Windows folder.
std::wstring ExplorerPath();

// What became of a launch.
struct LaunchResult {
    enum class Outcome { Started, Cancelled, Failed };
    Outcome outcome;
    std::wstring program;         // the file name, as the user knows it: "bnbt.exe"
    DWORD error = ERROR_SUCCESS;  // why it failed
    bool started() const noexcept { return outcome == Outcome::Started; }
};

// What to tell the user of a launch: "Could not start bnbt.exe: The system cannot find the
// file specified." Nothing when it started, or when the user refused the elevation prompt:
// that was their own choice.
std::optional<std::wstring> LaunchFailureText(const LaunchResult& result);

class Launcher {
public:
    // The shell call; tests stand in for it to see refusals the system here never makes.
    using ShellExecuteFn = std::function<BOOL(SHELLEXECUTEINFOW&)>;

    Launcher();
    explicit Launcher(ShellExecuteFn shellExecute);

    // Runs the tracker's `program` with `parameters`, located through `trackerFolder`.
    LaunchResult RunTrackerProgram(HWND owner, std::wstring_view program, std::wstring_view parameters,
                                   std::wstring_view trackerFolder);

    // Opens `folder`, passed as it stands, in the file browser.
    LaunchResult Explore(HWND owner, std::wstring_view folder);

    // True while a process that a launch started still runs: such a process carries out a
    // command and is not the tracker, whatever its name.
    bool Launched(DWORD processId);

    // When a launch last asked the tracker to stop ("-stop", or "-u", which removes its
    // service), if one ever did.
    std::optional<std::chrono::steady_clock::time_point> LastStopAsked() const noexcept { return lastStopAsked_; }

private:
    // Shown normally, never waited for; the shell shows nothing of its own.
    LaunchResult Launch(HWND owner, const std::wstring& file, const std::wstring& parameters,
                        const std::wstring& directory);

    ShellExecuteFn shellExecute_;
    std::vector<UniqueHandle> launched_;  // the processes started, until they end
    std::optional<std::chrono::steady_clock::time_point> lastStopAsked_;
};

}  // namespace kvztl
