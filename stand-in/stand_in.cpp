// Plays the BNBT tracker (bnbt.exe) or its configuration program (bnbtfrontend.exe)
// wherever no real one is at hand. Like the real tracker, bnbt.exe is a service program:
//
//   bnbt.exe -i       installs the service "BNBT Service" (this program, started with -s)
//   bnbt.exe -u       removes it
//   bnbt.exe -start   asks the service control manager to start it
//   bnbt.exe -stop    asks the service control manager to stop it
//   bnbt.exe -s       runs as the service; only the service control manager starts it so
//                     (-s -slow-stop: a stop takes a second, as a busy tracker's does)
//   bnbt.exe          runs in the foreground until ended
//   bnbtfrontend.exe  shows a small window
//
// As the real tracker's do, each command exits with 0 whatever happened, as soon as the
// service control manager has taken it, and says what happened on its standard output
// ("Starting BNBT Service.", "BNBT Service is not installed!").
// BNBT_STAND_IN_LINGER_MS keeps a command process alive that much longer, as a slow command
// would.
//
// Every invocation appends "<program>\t<command line>\t<working directory>" in UTF-8 to the
// file named by BNBT_STAND_IN_LOG, or to %TEMP%\bnbt-stand-in.log.
#include <windows.h>

#include <cwchar>
#include <string>

#include "platform/handles.h"

namespace {

using kvztl::UniqueServiceHandle;

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
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
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
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
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

constexpr const wchar_t* kServiceName = L"BNBT Service";

DWORD Install() {
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager) return GetLastError();
    const std::wstring command = L"\"" + ModulePath() + L"\" -s";
    const UniqueServiceHandle service(CreateServiceW(
        manager.get(), kServiceName, kServiceName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
        SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    return service ? ERROR_SUCCESS : GetLastError();
}

// Opens the service with `access` and applies `action` to it.
template <typename Action>
DWORD WithService(DWORD access, Action action) {
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return GetLastError();
    const UniqueServiceHandle service(OpenServiceW(manager.get(), kServiceName, access));
    if (!service) return GetLastError();
    return action(service.get()) ? ERROR_SUCCESS : GetLastError();
}

DWORD Uninstall() {
    return WithService(DELETE, [](SC_HANDLE service) { return DeleteService(service); });
}

DWORD Start() {
    return WithService(SERVICE_START, [](SC_HANDLE service) { return StartServiceW(service, 0, nullptr); });
}

DWORD Stop() {
    return WithService(SERVICE_STOP, [](SC_HANDLE service) {
        SERVICE_STATUS status{};
        return ControlService(service, SERVICE_CONTROL_STOP, &status);
    });
}

// The service itself: running until the service control manager asks it to stop.
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
constexpr DWORD kStartingMilliseconds = 300;
HANDLE g_stopRequested = nullptr;
DWORD g_stoppingMilliseconds = 0;  // with -slow-stop, a while

void ReportState(DWORD state) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWaitHint = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ? 2000 : 0;
    SetServiceStatus(g_statusHandle, &status);
}

DWORD WINAPI ServiceControl(DWORD control, DWORD, void*, void*) {
    if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_SHUTDOWN) return NO_ERROR;
    ReportState(SERVICE_STOP_PENDING);
    SetEvent(g_stopRequested);
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    g_statusHandle = RegisterServiceCtrlHandlerExW(kServiceName, ServiceControl, nullptr);
    if (!g_statusHandle) return;
    g_stopRequested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // As the real tracker, which reads its configuration and opens its port first, the
    // service takes a moment to start and accepts no stop meanwhile.
    ReportState(SERVICE_START_PENDING);
    Sleep(kStartingMilliseconds);
    ReportState(SERVICE_RUNNING);
    WaitForSingleObject(g_stopRequested, INFINITE);
    Sleep(g_stoppingMilliseconds);  // still STOP_PENDING, taking no second stop
    ReportState(SERVICE_STOPPED);
}

DWORD RunService() {
    wchar_t name[] = L"BNBT Service";
    const SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? ERROR_SUCCESS : GetLastError();
}

void Say(const std::string& text) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!output || output == INVALID_HANDLE_VALUE) return;
    const std::string line = text + "\r\n";
    DWORD written = 0;
    WriteFile(output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

// What the real tracker's commands print for an outcome.
std::string Outcome(const std::wstring& command, DWORD result) {
    if (command == L"-i") {
        if (result == ERROR_SERVICE_EXISTS) return "BNBT Service is already installed!";
        return result == ERROR_SUCCESS ? "BNBT Service installed." : "BNBT Service failed to install.";
    }
    if (result == ERROR_SERVICE_DOES_NOT_EXIST) return "BNBT Service is not installed!";
    if (command == L"-u")
        return result == ERROR_SUCCESS ? "BNBT Service uninstalled." : "BNBT Service failed to uninstall.";
    if (command == L"-start") return "Starting BNBT Service.";  // whatever StartService answered
    if (result == ERROR_SUCCESS) return "Stopping BNBT Service.";
    return "BNBT Service failed to stop (error " + std::to_string(result) + ").";
}

DWORD RunTracker(const std::wstring& arguments) {
    if (arguments == L"-s") return RunService();
    if (arguments == L"-s -slow-stop") {
        g_stoppingMilliseconds = 1000;
        return RunService();
    }
    if (arguments.empty()) {
        Sleep(INFINITE);
        return ERROR_SUCCESS;
    }
    DWORD result = ERROR_INVALID_PARAMETER;
    if (arguments == L"-i") result = Install();
    if (arguments == L"-u") result = Uninstall();
    if (arguments == L"-start") result = Start();
    if (arguments == L"-stop") result = Stop();
    if (result != ERROR_INVALID_PARAMETER) Say(Outcome(arguments, result));
    const std::wstring linger = Environment(L"BNBT_STAND_IN_LINGER_MS");
    if (!linger.empty()) Sleep(static_cast<DWORD>(std::wcstoul(linger.c_str(), nullptr, 10)));
    // Like the real one: the exit code says nothing.
    return ERROR_SUCCESS;
}

#endif

}  // namespace

// The system declares wWinMain so: an argument that may not be const, and its own names.
// NOLINTNEXTLINE(readability-non-const-parameter,readability-inconsistent-declaration-parameter-name)
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
    AppendLog();
#ifdef STAND_IN_FRONTEND
    (void)arguments;
    return RunFrontend();
#else
    std::wstring trimmed(arguments);
    while (!trimmed.empty() && trimmed.back() == L' ') trimmed.pop_back();
    return static_cast<int>(RunTracker(trimmed));
#endif
}
