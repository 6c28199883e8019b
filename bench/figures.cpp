#include "figures.h"

#include <psapi.h>
#include <winternl.h>

#include <vector>

namespace kvztl::bench {

namespace {

// Counts the open handles of a process from the system's handle table; Wine has no
// per-process handle count but keeps this table.
DWORD HandlesOf(DWORD processId) {
    struct Entry {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO: process ids are cut to 16 bits
        USHORT ownerPid;
        USHORT creatorBackTraceIndex;
        BYTE objectType, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    using Query = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    constexpr ULONG kSystemHandleInformation = 16;
    std::vector<BYTE> buffer(1 << 20);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           static_cast<NTSTATUS>(0xC0000004L)) {  // STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(buffer.size() * 2);
    }
    if (status < 0) return 0;
    const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
    DWORD handles = 0;
    for (ULONG i = 0; i < count; ++i) handles += entries[i].ownerPid == (processId & 0xFFFF);
    return handles;
}

}  // namespace

ProcessFigures Measure(HANDLE process) {
    ProcessFigures figures;
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        auto seconds = [](const FILETIME& t) {
            return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e7;
        };
        figures.cpuSeconds = seconds(kernel) + seconds(user);
    }
    PROCESS_MEMORY_COUNTERS memory{};
    if (GetProcessMemoryInfo(process, &memory, sizeof(memory))) {
        figures.workingSetMb = static_cast<double>(memory.WorkingSetSize) / 1048576.0;
        figures.peakWorkingSetMb = static_cast<double>(memory.PeakWorkingSetSize) / 1048576.0;
    }
    GetProcessHandleCount(process, &figures.handles);
    if (figures.handles == 0) figures.handles = HandlesOf(GetProcessId(process));
    figures.gdiObjects = GetGuiResources(process, GR_GDIOBJECTS);
    figures.userObjects = GetGuiResources(process, GR_USEROBJECTS);
    return figures;
}

}  // namespace kvztl::bench
