#include "tracker/launcher.h"

#include <string>

#include "platform/handles.h"
#include "platform/system_entry.h"

namespace kvztl {
namespace {

std::wstring SystemMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : L"Error " + std::to_wstring(error) + L".";
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return text;
}

}  // namespace

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

bool Launcher::Launch(HWND owner, std::wstring_view file, std::wstring_view parameters) const {
    const std::wstring fileText(file);
    const std::wstring parameterText(parameters);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    // The shell shows no dialog of its own: a failure is reported once, below.
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.hwnd = owner;
    info.lpVerb = L"runas";
    info.lpFile = fileText.c_str();
    info.lpParameters = parameterText.c_str();
    info.lpDirectory = parameterText.c_str();
    info.nShow = SW_SHOWNORMAL;
    const bool started = shellExecute_(info) != FALSE;
    const DWORD error = started ? ERROR_SUCCESS : GetLastError();
    UniqueHandle process(info.hProcess);  // not asked for, but never leaked
    if (started) return true;
    if (error != ERROR_CANCELLED) {
        MessageBoxW(owner, LaunchFailureMessage(file, error).c_str(), L"KV-ZTL", MB_OK | MB_ICONERROR);
    }
    return false;
}

std::wstring LaunchFailureMessage(std::wstring_view file, DWORD error) {
    return L"Could not start " + std::wstring(file) + L": " + SystemMessage(error);
}

}  // namespace kvztl
