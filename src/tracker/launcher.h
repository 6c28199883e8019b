// Starts the tracker's programs through the shell with elevated rights ("runas"),
// fire-and-forget.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string_view>

namespace kvztl {

class Launcher {
public:
    // The shell call; tests stand in for it to see refusals the system here never makes.
    using ShellExecuteFn = std::function<BOOL(SHELLEXECUTEINFOW&)>;

    Launcher();
    explicit Launcher(ShellExecuteFn shellExecute);

    // Runs `file` (a bare name, found by the shell's ordinary search) with `parameters`,
    // which is also passed as the working directory, shown normally. Never waits for the
    // program. When the shell cannot start it, one message box owned by `owner` names the
    // program and the reason; a refused elevation prompt is the user's choice and stays
    // silent. False when nothing was started.
    bool Launch(HWND owner, std::wstring_view file, std::wstring_view parameters) const;

private:
    ShellExecuteFn shellExecute_;
};

// "Could not start bnbt.exe: The system cannot find the file specified."
std::wstring LaunchFailureMessage(std::wstring_view file, DWORD error);

}  // namespace kvztl
