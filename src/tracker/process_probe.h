// Which processes with a given image name run?
#pragma once

#include <windows.h>

#include <functional>
#include <string_view>
#include <vector>

namespace kvztl {

// Takes a snapshot of the system's processes (CreateToolhelp32Snapshot's signature); tests
// stand in for it to see a snapshot fail.
using SnapshotFn = HANDLE(WINAPI*)(DWORD flags, DWORD processId);

// Tells processes that do not count (by their id and their parent's), whatever their name.
using ProcessFilter = std::function<bool(DWORD processId, DWORD parentId)>;

// The ids of the processes whose image name equals `imageName`, without regard to case,
// leaving out those that `ignore` names. A failed process snapshot answers none.
std::vector<DWORD> FindProcesses(std::wstring_view imageName, SnapshotFn takeSnapshot,
                                 const ProcessFilter& ignore = {});
std::vector<DWORD> FindProcesses(std::wstring_view imageName, const ProcessFilter& ignore = {});
// True when FindProcesses finds one.
bool IsProcessRunning(std::wstring_view imageName, SnapshotFn takeSnapshot, const ProcessFilter& ignore = {});
bool IsProcessRunning(std::wstring_view imageName, const ProcessFilter& ignore = {});

// The probe as the status window sees it, so tests can stand in for the system.
// `ignore` leaves out the commands that the strip has launched.
using ProcessProbe = std::function<std::vector<DWORD>(std::wstring_view imageName, const ProcessFilter& ignore)>;

}  // namespace kvztl
