// Plays the BNBT tracker (bnbt.exe) or its configuration program (bnbtfrontend.exe)
// wherever no real one is at hand.
//
//   bnbt.exe -start   starts a detached background instance unless one already runs
//   bnbt.exe -stop    ends every running instance
//   bnbt.exe -i | -u  records the service as installed or removed (HKCU\Software\KV-ZTL stand-in)
//   bnbt.exe          runs until stopped
//   bnbtfrontend.exe  shows a small window
//
// Every invocation appends "<program>\t<command line>\t<working directory>" in UTF-8 to the
// file named by BNBT_STAND_IN_LOG, or to %TEMP%\bnbt-stand-in.log.
#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

namespace {

std::wstring Environment(const wchar_t* name) {
    std::wstring value(32768, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
    return value;
}

std::wstring ModulePath() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

std::wstring ImageName() {
    const std::wstring path = ModulePath();
    return path.substr(path.find_last_of(L"\\/") + 1);
}

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

void AppendLog() {
    std::wstring path = Environment(L"BNBT_STAND_IN_LOG");
    if (path.empty()) path = Environment(L"TEMP") + L"\\bnbt-stand-in.log";
    std::wstring directory(32768, L'\0');
    directory.resize(GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data()));
    const std::string line = Utf8(ImageName() + L"\t" + GetCommandLineW() + L"\t" + directory) + "\r\n";
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

#ifdef STAND_IN_FRONTEND

LRESULT CALLBACK FrontendProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

int RunFrontend() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = FrontendProcedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"TrackerConfigurationStandIn";
    RegisterClassW(&wc);
    CreateWindowW(wc.lpszClassName, L"Tracker configuration (stand-in)", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                  CW_USEDEFAULT, CW_USEDEFAULT, 360, 200, nullptr, nullptr, wc.hInstance, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}

#else

// Process ids of the other running instances of this program.
std::vector<DWORD> OtherInstances() {
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    const std::wstring self = ImageName();
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID != GetCurrentProcessId() &&
            CompareStringOrdinal(entry.szExeFile, -1, self.c_str(), -1, TRUE) == CSTR_EQUAL) {
            ids.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    return ids;
}

void StartBackgroundInstance() {
    if (!OtherInstances().empty()) return;
    std::wstring commandLine = L"\"" + ModulePath() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                       &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

void StopAllInstances() {
    for (DWORD id : OtherInstances()) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (!process) continue;
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
}

void RecordService(bool installed) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\KV-ZTL stand-in", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    const DWORD value = installed ? 1 : 0;
    RegSetValueExW(key, L"ServiceInstalled", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
}

int RunTracker(const std::wstring& arguments) {
    if (arguments == L"-start") {
        StartBackgroundInstance();
    } else if (arguments == L"-stop") {
        StopAllInstances();
    } else if (arguments == L"-i" || arguments == L"-u") {
        RecordService(arguments == L"-i");
    } else if (arguments.empty()) {
        Sleep(INFINITE);
    }
    return 0;
}

#endif

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
    AppendLog();
#ifdef STAND_IN_FRONTEND
    (void)arguments;
    return RunFrontend();
#else
    std::wstring trimmed(arguments);
    while (!trimmed.empty() && trimmed.back() == L' ') trimmed.pop_back();
    return RunTracker(trimmed);
#endif
}
