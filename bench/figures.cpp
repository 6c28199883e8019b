#include "figures.h"

#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
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

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (const wchar_t c : text) narrow += static_cast<char>(c < 128 ? std::tolower(static_cast<int>(c)) : '?');
    return narrow;
}

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The time the threads of a Linux process have run, in nanoseconds (schedstat's first field);
// else utime + stime at 100 ticks a second.
double RunSeconds(const std::string& folder) {
    unsigned long long nanoseconds = 0;
    WIN32_FIND_DATAW task{};
    const std::wstring tasks(folder.begin(), folder.end());
    HANDLE search = FindFirstFileW((tasks + L"task\\*").c_str(), &task);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (task.cFileName[0] == L'.') continue;
            unsigned long long ran = 0;
            std::istringstream(ReadAll(folder + "task\\" + Narrow(task.cFileName) + "\\schedstat")) >> ran;
            nanoseconds += ran;
        } while (FindNextFileW(search, &task));
        FindClose(search);
    }
    if (nanoseconds > 0) return static_cast<double>(nanoseconds) / 1e9;
    // Fields 14 and 15, after the program's name in parentheses.
    const std::string stat = ReadAll(folder + "stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) user = std::stoull(field);
        if (i == 15) system = std::stoull(field);
    }
    return static_cast<double>(user + system) / 100.0;
}

// Under Wine a process is a Linux process, whose CPU time /proc counts (Wine's own answer for
// another process is not kept up to date): found by its program's file name among this
// prefix's processes. Nothing when not found.
std::optional<double> LinuxCpuSeconds(HANDLE process) {
    wchar_t image[MAX_PATH];
    DWORD size = MAX_PATH;
    if (!QueryFullProcessImageNameW(process, 0, image, &size)) return std::nullopt;
    const std::wstring path(image, size);
    const std::string name = Narrow(path.substr(path.find_last_of(L"\\/") + 1));
    wchar_t prefix[MAX_PATH] = L"";
    const bool prefixed = GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH) > 0;
    const std::string ownPrefix = Narrow(std::wstring(L"WINEPREFIX=") + prefix) + "\n";
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<double> seconds;
    do {
        const std::wstring id = found.cFileName;
        if (id.empty() || id.find_first_not_of(L"0123456789") != std::wstring::npos) continue;
        const std::string folder = "Z:\\proc\\" + Narrow(id) + "\\";
        std::string command = ReadAll(folder + "cmdline");
        command = command.substr(0, command.find('\0'));
        std::transform(command.begin(), command.end(), command.begin(), [](char c) { return std::tolower(c); });
        if (command.size() < name.size() || command.compare(command.size() - name.size(), name.size(), name) != 0) {
            continue;
        }
        std::string environment = ReadAll(folder + "environ");
        std::transform(environment.begin(), environment.end(), environment.begin(),
                       [](char c) { return c == '\0' ? '\n' : std::tolower(c); });
        if (prefixed && environment.find(ownPrefix) == std::string::npos) continue;
        seconds = RunSeconds(folder);
        break;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return seconds;
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
    if (UnderWine()) {
        if (const std::optional<double> seconds = LinuxCpuSeconds(process)) figures.cpuSeconds = *seconds;
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
