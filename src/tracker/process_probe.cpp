#include "tracker/process_probe.h"

#include <windows.h>
#include <tlhelp32.h>

#include "platform/handles.h"

namespace kvztl {

bool IsProcessRunning(std::wstring_view imageName, const ProcessFilter& ignore) {
    return IsProcessRunning(imageName, &CreateToolhelp32Snapshot, ignore);
}

bool IsProcessRunning(std::wstring_view imageName, SnapshotFn takeSnapshot, const ProcessFilter& ignore) {
    return !FindProcesses(imageName, takeSnapshot, ignore).empty();
}

std::vector<DWORD> FindProcesses(std::wstring_view imageName, const ProcessFilter& ignore) {
    return FindProcesses(imageName, &CreateToolhelp32Snapshot, ignore);
}

std::vector<DWORD> FindProcesses(std::wstring_view imageName, SnapshotFn takeSnapshot, const ProcessFilter& ignore) {
    std::vector<DWORD> found;
    const UniqueHandle snapshot = AdoptFileHandle(takeSnapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (CompareStringOrdinal(entry.szExeFile, -1, imageName.data(), static_cast<int>(imageName.size()), TRUE) ==
                CSTR_EQUAL &&
            !(ignore && ignore(entry.th32ProcessID, entry.th32ParentProcessID))) {
            found.push_back(entry.th32ProcessID);
        }
    }
    return found;
}

}  // namespace kvztl
