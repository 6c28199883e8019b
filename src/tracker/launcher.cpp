#include "tracker/launcher.h"

#include <algorithm>
#include <cwctype>

#include "platform/com.h"
#include "platform/system_entry.h"
#include "platform/system_message.h"
#include "vocabulary.h"

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

}  // namespace

ProgramLocation LocateTrackerProgram(std::wstring_view program, std::wstring_view trackerFolder) {
    std::wstring folder = Expanded(Trimmed(trackerFolder));
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    if (IsFullPath(folder) && Exists(folder, true)) {
        const std::wstring path = folder + (folder.back() == L'\\' ? L"" : L"\\") + std::wstring(program);
        if (Exists(path, false)) return {path, folder};
    }
    return {std::wstring(program), {}};
}

std::wstring ExplorerPath() {
    std::wstring folder(MAX_PATH, L'\0');
    folder.resize(GetWindowsDirectoryW(folder.data(), MAX_PATH));
    return folder + L"\\explorer.exe";
}

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
                                         std::wstring_view trackerFolder) {
    const ProgramLocation location = LocateTrackerProgram(program, trackerFolder);
    LaunchResult result = Launch(owner, location.file, std::wstring(parameters), location.directory);
    if (result.started() && program == tracker::kProgram &&
        (parameters == tracker::kStop || parameters == tracker::kUninstall)) {
        lastStopAsked_ = std::chrono::steady_clock::now();
    }
    return result;
}

LaunchResult Launcher::Explore(HWND owner, std::wstring_view folder) {
    const std::wstring text(folder);
    return Launch(owner, ExplorerPath(), text, text);
}

bool Launcher::Launched(DWORD processId) {
    std::erase_if(launched_,
                  [](const UniqueHandle& process) { return WaitForSingleObject(process.get(), 0) != WAIT_TIMEOUT; });
    return std::any_of(launched_.begin(), launched_.end(),
                       [processId](const UniqueHandle& process) { return GetProcessId(process.get()) == processId; });
}

LaunchResult Launcher::Launch(HWND owner, const std::wstring& file, const std::wstring& parameters,
                              const std::wstring& directory) {
    InitializeComOnce();  // the shell's own requirement
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    // The shell shows no dialog of its own (the caller says what went wrong) and hands over
    // the process, so that the probe can tell it from the tracker.
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
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
        return {outcome, FileName(file), error};
    }
    if (process) launched_.push_back(std::move(process));
    return {LaunchResult::Outcome::Started, FileName(file)};
}

std::optional<std::wstring> LaunchFailureText(const LaunchResult& result) {
    if (result.outcome != LaunchResult::Outcome::Failed) return std::nullopt;
    return L"Could not start " + result.program + L": " + SystemMessage(result.error);
}

}  // namespace kvztl
