// Finds the tracker's programs and starts them, the file browser and system programs such as
// sc.exe, through the shell with elevated rights ("runas"). A call may block for long (the
// elevation prompt, a tracker folder on a network share that is offline), so TrackerControl
// makes it off the window thread; the launcher keeps no state and may be called from any
// thread.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/handles.h"

namespace kvztl {

// Where a program is run from: its full path, and its folder as working directory.
struct ProgramLocation {
    std::wstring file;
    std::wstring directory;
    friend bool operator==(const ProgramLocation&, const ProgramLocation&) = default;
};

// The tracker folder as typed, in the form the tracker's programs are run from: blanks and
// quotes around it dropped, %VARIABLES% expanded, no trailing backslash. Nothing unless that
// names an existing folder by full path ("C:\...", "\\server\share\...").
std::optional<std::wstring> TrackerFolder(std::wstring_view typed);

// The tracker's `program` ("bnbt.exe", "bnbtfrontend.exe") by full path: from the tracker
// folder, else from KV-ZTL's own folder, else from the first folder on PATH that is given by
// full path and holds it. Never from the current folder, a relative PATH entry or the App
// Paths key: an elevated launch runs only what the user put there. Nothing when it is
// nowhere.
std::optional<ProgramLocation> LocateTrackerProgram(std::wstring_view program, std::wstring_view trackerFolder);

// The file browser of the Windows folder that the system itself uses (on a Remote Desktop
// server, not the user's private copy of that folder).
std::wstring ExplorerPath();
// `relative` in that Windows folder: SystemWindowsPath(L"System32\\sc.exe").
std::wstring SystemWindowsPath(std::wstring_view relative);

// What became of a launch.
struct LaunchResult {
    enum class Outcome { Started, Cancelled, Failed, NotFound };
    Outcome outcome;
    std::wstring program;         // the file name, as the user knows it: "bnbt.exe"
    DWORD error = ERROR_SUCCESS;  // why it failed
    UniqueHandle process;         // the started process, when the shell handed one over
    bool throughService = false;  // the service control manager was asked, not a program run
    bool started() const noexcept { return outcome == Outcome::Started; }
};

// What to tell the user of a launch: "Could not start bnbt.exe: The system cannot find the
// file specified.", or where to type the tracker's folder when the program was nowhere.
// Nothing when it started, or when the user refused the elevation prompt: that was their own
// choice.
std::optional<std::wstring> LaunchFailureText(const LaunchResult& result);

class Launcher {
public:
    // The shell call; tests stand in for it to see refusals the system here never makes, or
    // a shell that hangs. It is called on the launching thread.
    using ShellExecuteFn = std::function<BOOL(SHELLEXECUTEINFOW&)>;

    Launcher();
    explicit Launcher(ShellExecuteFn shellExecute);

    // Runs the tracker's `program` with `parameters`, located through `trackerFolder`;
    // nothing runs when it cannot be found.
    LaunchResult RunTrackerProgram(HWND owner, std::wstring_view program, std::wstring_view parameters,
                                   std::wstring_view trackerFolder) const;

    // Runs a system program (by full path) with `parameters`.
    LaunchResult RunSystemProgram(HWND owner, const std::wstring& file, const std::wstring& parameters) const {
        return Launch(owner, file, parameters, L"");
    }

    // Opens `folder`, passed as typed, in the file browser; the working directory is the
    // folder as TrackerFolder reads it, or none.
    LaunchResult Explore(HWND owner, std::wstring_view folder) const;

private:
    // Shown normally; the started process comes back in the result, for the caller to wait
    // on, and is never waited for here. The shell shows no message of its own.
    LaunchResult Launch(HWND owner, const std::wstring& file, const std::wstring& parameters,
                        const std::wstring& directory) const;

    ShellExecuteFn shellExecute_;
};

}  // namespace kvztl
