#include "tracker/launcher.h"

#include <algorithm>
#include <cwctype>

#include "platform/com.h"
#include "platform/program_info.h"
#include "platform/system_entry.h"
#include "platform/system_message.h"

namespace kvztl {
namespace {

std::wstring Trimmed(std::wstring_view text) {
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"') text = text.substr(1, text.size() - 2);
    return std::wstring(text);
}

std::wstring Expanded(const std::wstring& text) {
    const DWORD size = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (size == 0) return text;
    std::wstring expanded(size, L'\0');
    expanded.resize(ExpandEnvironmentStringsW(text.c_str(), expanded.data(), size));
    while (!expanded.empty() && expanded.back() == L'\0') expanded.pop_back();
    return expanded;
}

// "C:\..." or "\\server\share\...": never a folder relative to wherever the program runs.
bool IsFullPath(const std::wstring& path) {
    const bool drive =
        path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    const bool unc = path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' && path[2] != L'.';
    return drive || unc;
}

bool Exists(const std::wstring& path, bool folder) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder;
}

std::wstring FileName(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

std::wstring EnvironmentText(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return {};
    std::wstring text(size, L'\0');
    text.resize(GetEnvironmentVariableW(name, text.data(), size));
    return text;
}

}  // namespace

std::optional<std::wstring> TrackerFolder(std::wstring_view typed) {
    std::wstring folder = Expanded(Trimmed(typed));
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    if (!IsFullPath(folder) || !Exists(folder, true)) return std::nullopt;
    return folder;
}

namespace {

// `program` in `folder`, when the folder is there and holds it.
std::optional<ProgramLocation> ProgramIn(std::optional<std::wstring> folder, std::wstring_view program) {
    if (!folder) return std::nullopt;
    std::wstring file = *folder + (folder->back() == L'\\' ? L"" : L"\\") + std::wstring(program);
    if (!Exists(file, false)) return std::nullopt;
    return ProgramLocation{std::move(file), std::move(*folder)};
}

}  // namespace

std::optional<ProgramLocation> LocateTrackerProgram(std::wstring_view program, std::wstring_view trackerFolder) {
    if (auto found = ProgramIn(TrackerFolder(trackerFolder), program)) return found;
    const std::wstring self = ThisProgramPath();
    if (auto found = ProgramIn(self.substr(0, self.find_last_of(L'\\')), program)) return found;
    // PATH as this process has it; an entry that is not a full path is relative to whatever
    // folder the program was started in, and is passed over.
    const std::wstring path = EnvironmentText(L"PATH");
    for (size_t begin = 0; begin <= path.size();) {
        const size_t end = std::min(path.find(L';', begin), path.size());
        if (auto found = ProgramIn(TrackerFolder(std::wstring_view(path).substr(begin, end - begin)), program)) {
            return found;
        }
        begin = end + 1;
    }
    return std::nullopt;
}

std::wstring SystemWindowsPath(std::wstring_view relative) {
    std::wstring folder(MAX_PATH, L'\0');
    folder.resize(GetSystemWindowsDirectoryW(folder.data(), MAX_PATH));
    return folder + L"\\" + std::wstring(relative);
}

std::wstring ExplorerPath() { return SystemWindowsPath(L"explorer.exe"); }

// The shell is a large DLL that most runs never need: it is loaded at the first launch.
Launcher::Launcher()
    : Launcher([](SHELLEXECUTEINFOW& info) {
          static const auto shellExecuteEx =
              SystemEntry<BOOL(WINAPI*)(SHELLEXECUTEINFOW*)>(L"shell32.dll", "ShellExecuteExW");
          if (!shellExecuteEx) {
              SetLastError(ERROR_PROC_NOT_FOUND);
              return FALSE;
          }
          return shellExecuteEx(&info);
      }) {}

Launcher::Launcher(ShellExecuteFn shellExecute) : shellExecute_(std::move(shellExecute)) {}

LaunchResult Launcher::RunTrackerProgram(HWND owner, std::wstring_view program, std::wstring_view parameters,
                                         std::wstring_view trackerFolder) const {
    const std::optional<ProgramLocation> location = LocateTrackerProgram(program, trackerFolder);
    if (!location) return {LaunchResult::Outcome::NotFound, std::wstring(program), ERROR_FILE_NOT_FOUND, {}};
    return Launch(owner, location->file, std::wstring(parameters), location->directory);
}

LaunchResult Launcher::Explore(HWND owner, std::wstring_view folder) const {
    return Launch(owner, ExplorerPath(), std::wstring(folder), TrackerFolder(folder).value_or(L""));
}

LaunchResult Launcher::Launch(HWND owner, const std::wstring& file, const std::wstring& parameters,
                              const std::wstring& directory) const {
    const ComApartment apartment;  // the shell's own requirement, on whichever thread calls
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    // The shell shows no dialog of its own (the caller says what went wrong), hands over the
    // process, so that the probe can tell it from the tracker, and has done all its work when
    // it returns, as a thread that ends next needs.
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    info.hwnd = owner;
    info.lpVerb = L"runas";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
    info.nShow = SW_SHOWNORMAL;
    const bool started = shellExecute_(info) != FALSE;
    const DWORD error = started ? ERROR_SUCCESS : GetLastError();
    UniqueHandle process(info.hProcess);
    if (!started) {
        const auto outcome =
            error == ERROR_CANCELLED ? LaunchResult::Outcome::Cancelled : LaunchResult::Outcome::Failed;
        return {outcome, FileName(file), error, {}};
    }
    return {LaunchResult::Outcome::Started, FileName(file), ERROR_SUCCESS, std::move(process)};
}

std::optional<std::wstring> LaunchFailureText(const LaunchResult& result) {
    if (result.outcome == LaunchResult::Outcome::NotFound) {
        return result.program + L" was not found. Type the tracker's folder in the settings window.";
    }
    if (result.outcome != LaunchResult::Outcome::Failed) return std::nullopt;
    return L"Could not start " + result.program + L": " + SystemMessage(result.error);
}

}  // namespace kvztl
