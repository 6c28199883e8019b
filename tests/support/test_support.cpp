#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <fstream>

#include "platform/program_info.h"
#include "platform/signal_wait.h"

namespace kvztl::test {
namespace {

// A value of HKCU\<key> as stored, its type and bytes (a text unexpanded); nothing when absent.
struct StoredBytes {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

std::optional<StoredBytes> ReadStored(const std::wstring& key, const wchar_t* name) {
    constexpr DWORD kAny = RRF_RT_ANY | RRF_NOEXPAND;
    StoredBytes stored;
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, kAny, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    stored.bytes.resize(size);
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, kAny, &stored.type, stored.bytes.data(), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    stored.bytes.resize(size);
    return stored;
}

std::wstring Widen(const std::string& text) {
    std::wstring out(text.size(), L'\0');
    out.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                       out.data(), static_cast<int>(out.size()))));
    return out;
}

std::wstring CurrentTestName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return info ? Widen(std::string(info->test_suite_name()) + "." + info->name()) : L"NoTest";
}

}  // namespace

TestStore::TestStore() : subkey_(L"Software\\KV_ZTL_Tests\\" + CurrentTestName()), store_(HKEY_CURRENT_USER, subkey_) {
    RegDeleteTreeW(HKEY_CURRENT_USER, subkey_.c_str());
}

TestStore::~TestStore() { RegDeleteTreeW(HKEY_CURRENT_USER, subkey_.c_str()); }

ProgramStore::ProgramStore() { RegDeleteTreeW(HKEY_CURRENT_USER, SettingsStore::kApplicationKey); }

ProgramStore::~ProgramStore() { RegDeleteTreeW(HKEY_CURRENT_USER, SettingsStore::kApplicationKey); }

ScopedUserValue::ScopedUserValue(const wchar_t* key, const wchar_t* name, const std::wstring& text)
    : ScopedUserValue(key, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) {}

ScopedUserValue::ScopedUserValue(const wchar_t* key, const wchar_t* name, DWORD number)
    : ScopedUserValue(key, name, REG_DWORD, &number, sizeof(number)) {}

ScopedUserValue::ScopedUserValue(const wchar_t* key, const wchar_t* name, DWORD type, const void* data, DWORD bytes)
    : key_(key), name_(name) {
    Save();
    EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key, name, type, data, bytes), ERROR_SUCCESS);
}

ScopedUserValue::ScopedUserValue(const wchar_t* key, const wchar_t* name) : key_(key), name_(name) {
    Save();
    RegDeleteKeyValueW(HKEY_CURRENT_USER, key, name);
}

void ScopedUserValue::Save() {
    std::optional<StoredBytes> stored = ReadStored(key_, name_.c_str());
    had_ = stored.has_value();
    if (!stored) return;
    savedType_ = stored->type;
    saved_ = std::move(stored->bytes);
}

ScopedUserValue::~ScopedUserValue() {
    if (had_) {
        RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name_.c_str(), savedType_, saved_.data(),
                        static_cast<DWORD>(saved_.size()));
    } else {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name_.c_str());
    }
}

void MakeReadOnly(const std::wstring& subkey) {
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    ASSERT_TRUE(
        ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, WRITE_DAC | KEY_READ, &key), ERROR_SUCCESS);
    const UniqueKey opened(key);
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly), ERROR_SUCCESS);
    LocalFree(readOnly);
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        WaitForWork(10);  // as the program's message loop waits
    }
    return true;
}

void PumpFor(std::chrono::milliseconds duration) {
    PumpUntil([] { return false; }, duration);
}

std::string Utf8(const std::wstring& text) {
    std::string utf8(text.size() * 3, '\0');
    utf8.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                        utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr)));
    return utf8;
}

std::wstring BinDirectory() {
    const std::wstring path = ThisProgramPath();
    return path.substr(0, path.find_last_of(L'\\'));
}

void PrintTo(const RawValue& value, std::ostream* out) {
    *out << "type " << value.type << ", \"" << std::string(value.text.begin(), value.text.end()) << '"';
}

std::optional<RawValue> ReadUserValue(const std::wstring& key, const wchar_t* name) {
    const std::optional<StoredBytes> stored = ReadStored(key, name);
    if (!stored) return std::nullopt;
    RawValue value{stored->type, {}};
    if ((value.type == REG_SZ || value.type == REG_EXPAND_SZ) && !stored->bytes.empty()) {
        const auto* text = reinterpret_cast<const wchar_t*>(stored->bytes.data());
        value.text.assign(text, wcsnlen(text, stored->bytes.size() / sizeof(wchar_t)));
    }
    return value;
}

std::wstring KvZtlPath() { return BinDirectory() + L"\\kv-ztl.exe"; }

std::wstring StandInFolder() { return BinDirectory() + L"\\stand-in"; }

Process::Process(const std::wstring& path, const std::wstring& arguments, const std::wstring& directory) {
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
        ADD_FAILURE() << "could not start " << path << ": error " << GetLastError();
        return;
    }
    CloseHandle(info.hThread);
    handle_.reset(info.hProcess);
    id_ = info.dwProcessId;
}

Process::~Process() { Terminate(); }

bool Process::running() const { return handle_ && WaitForSingleObject(handle_.get(), 0) == WAIT_TIMEOUT; }

void Process::Terminate() {
    if (!running()) return;
    TerminateProcess(handle_.get(), 0);
    WaitForSingleObject(handle_.get(), 5000);
}

DWORD RunToEnd(const std::wstring& path, const std::wstring& arguments) {
    Process process(path, arguments);
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process.handle(), 10000) == WAIT_OBJECT_0) GetExitCodeProcess(process.handle(), &code);
    return code;
}

std::wstring TempFolder(const std::wstring& name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"kvztl-" + name;
    // Empty it: the folder is private to this test.
    std::wstring pattern = folder + L"\\*";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            DeleteFileW((folder + L"\\" + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::unique_ptr<Process> StartTracker(const std::wstring& imageName) {
    static int started = 0;  // each copy in a folder of its own: a running image cannot be replaced
    const std::wstring folder = TempFolder(CurrentTestName() + L"-" + std::to_wstring(++started));
    const std::wstring copy = folder + L"\\" + imageName;
    if (!CopyFileW((StandInFolder() + L"\\bnbt.exe").c_str(), copy.c_str(), FALSE)) {
        ADD_FAILURE() << "could not copy the stand-in tracker: error " << GetLastError();
    }
    return std::make_unique<Process>(copy, L"", folder);
}

std::vector<DWORD> ProcessIds(const wchar_t* imageName) {
    std::vector<DWORD> ids;
    const UniqueHandle snapshot = AdoptFileHandle(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (CompareStringOrdinal(entry.szExeFile, -1, imageName, -1, TRUE) == CSTR_EQUAL) {
            ids.push_back(entry.th32ProcessID);
        }
    }
    return ids;
}

void EndAll(const wchar_t* imageName) {
    for (DWORD id : ProcessIds(imageName)) {
        const UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (!process) continue;
        TerminateProcess(process.get(), 0);
        WaitForSingleObject(process.get(), 5000);
    }
}

namespace {

// Stops and deletes the service `name` through `manager`, if it is there; it goes once no
// handle to it is open.
void DeleteTestService(SC_HANDLE manager, const std::wstring& name) {
    const UniqueServiceHandle service(OpenServiceW(manager, name.c_str(), SERVICE_STOP | DELETE));
    if (!service) return;
    SERVICE_STATUS status{};
    ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    DeleteService(service.get());
}

// Makes the service `name` through `manager` (one left over is made again); true when it is
// there.
bool CreateTestService(SC_HANDLE manager, const std::wstring& name, const std::wstring& commandLine) {
    DeleteTestService(manager, name);
    const UniqueServiceHandle service(CreateServiceW(
        manager, name.c_str(), name.c_str(), SERVICE_QUERY_STATUS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
        SERVICE_ERROR_IGNORE, commandLine.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    return service != nullptr;
}

void RemoveTrackerService() {
    if (const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)); manager) {
        DeleteTestService(manager.get(), TrackerService::kName);
    }
    EndAllTrackers();
    EXPECT_TRUE(PumpUntil([] { return TrackerService::State() == 0; }, 10s)) << "the tracker service stays";
}

std::wstring FillerName(int i) {
    wchar_t name[32];
    swprintf(name, 32, L"KvZtlFiller%03d", i);
    return name;
}

UniqueServiceHandle ManagerToCreate() {
    return UniqueServiceHandle(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE | SC_MANAGER_CONNECT));
}

}  // namespace

ScopedService::ScopedService(std::wstring name, const std::wstring& commandLine) : name_(std::move(name)) {
    const UniqueServiceHandle manager = ManagerToCreate();
    EXPECT_TRUE(manager && CreateTestService(manager.get(), name_, commandLine))
        << "could not make the service " << std::string(name_.begin(), name_.end());
}

ScopedService::~ScopedService() {
    const UniqueServiceHandle manager = ManagerToCreate();
    if (manager) DeleteTestService(manager.get(), name_);
}

FillerServices::FillerServices(int count) : count_(count) {
    const UniqueServiceHandle manager = ManagerToCreate();
    if (!manager) return;
    // As a Windows machine's: quoted paths, svchost groups, unquoted paths with spaces.
    const std::wstring forms[] = {L"\"C:\\Program Files\\Vendor\\agent.exe\" /service",
                                  L"C:\\Windows\\system32\\svchost.exe -k netsvcs -p",
                                  L"C:\\Program Files (x86)\\Vendor Tools\\updater.exe --run"};
    for (int i = 0; i < count_; ++i) made_ += CreateTestService(manager.get(), FillerName(i), forms[i % 3]);
}

FillerServices::~FillerServices() {
    const UniqueServiceHandle manager = ManagerToCreate();
    if (!manager) return;
    for (int i = 0; i < count_; ++i) DeleteTestService(manager.get(), FillerName(i));
}

TrackerService::TrackerService() { RemoveTrackerService(); }

TrackerService::~TrackerService() { RemoveTrackerService(); }

// One of this guard's steps, undone by its destructor: a member, though it uses no state.
// NOLINTNEXTLINE(readability-convert-member-functions-to-static)
void TrackerService::Install() const {
    EXPECT_EQ(RunToEnd(StandInFolder() + L"\\bnbt.exe", L"-i"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_STOPPED)) << "the stand-in's -i installed no service";
}

DWORD ServiceState(const std::wstring& name) {
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const UniqueServiceHandle service(manager ? OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS)
                                              : nullptr);
    SERVICE_STATUS status{};
    if (!service || !QueryServiceStatus(service.get(), &status)) return 0;
    return status.dwCurrentState;
}

DWORD TrackerService::State() { return ServiceState(kName); }

namespace {

// The value of an environment variable; `set` tells whether it exists at all.
std::wstring Environment(const wchar_t* name, bool* set = nullptr) {
    std::wstring value(32768, L'\0');
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (set) *set = length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    value.resize(length);
    return value;
}

}  // namespace

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const std::wstring& value)
    : name_(name), saved_(Environment(name, &had_)) {
    SetEnvironmentVariableW(name, value.c_str());
}

ScopedEnvironment::~ScopedEnvironment() { SetEnvironmentVariableW(name_.c_str(), had_ ? saved_.c_str() : nullptr); }

StandInOnPath::StandInOnPath() : path_(L"PATH", StandInFolder() + L";" + Environment(L"PATH")) {}

LaunchLog::LaunchLog()
    : path_(TempFolder(CurrentTestName() + L"-log") + L"\\launches.log"), variable_(L"BNBT_STAND_IN_LOG", path_) {
    DeleteFileW(path_.c_str());
}

LaunchLog::~LaunchLog() { DeleteFileW(path_.c_str()); }

std::wstring LaunchLog::Entry::Arguments() const {
    const size_t end = commandLine.find(L".exe\"");
    return end == std::wstring::npos ? commandLine : commandLine.substr(end + 5);
}

std::vector<LaunchLog::Entry> LaunchLog::Entries() const {
    std::vector<Entry> entries;
    std::ifstream file(std::filesystem::path(path_), std::ios::binary);
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::wstring wide = Widen(line);
        const size_t first = wide.find(L'\t');
        const size_t second = wide.find(L'\t', first + 1);
        if (first == std::wstring::npos || second == std::wstring::npos) continue;
        entries.push_back({wide.substr(0, first), wide.substr(first + 1, second - first - 1), wide.substr(second + 1)});
    }
    return entries;
}

std::vector<LaunchLog::Entry> LaunchLog::WaitFor(size_t count, std::chrono::milliseconds timeout) const {
    PumpUntil([&] { return Entries().size() >= count; }, timeout);
    return Entries();
}

std::wstring TextOf(HWND hwnd) {
    // Asked of the window itself: for another process's window GetWindowText gives only the
    // title the system keeps, not what an edit box holds.
    const LRESULT length = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(
        static_cast<size_t>(SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

COLORREF ScreenColourAt(HWND hwnd) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    return ScreenColourAt(POINT{rect.left + 3, rect.bottom - 3});
}

COLORREF ScreenColourAt(POINT screen) {
    const WindowDC desktop;
    return GetPixel(desktop.get(), screen.x, screen.y);
}

BOOL ShellRecorder::operator()(SHELLEXECUTEINFOW& info) {
    auto text = [](const wchar_t* s) { return s ? std::wstring(s) : std::wstring(); };
    APTTYPE apartment = APTTYPE_CURRENT;
    APTTYPEQUALIFIER qualifier;
    if (FAILED(CoGetApartmentType(&apartment, &qualifier))) apartment = APTTYPE_CURRENT;
    calls.push_back({info.fMask, info.hwnd, text(info.lpVerb), text(info.lpFile), text(info.lpParameters),
                     text(info.lpDirectory), info.nShow, info.lpParameters == nullptr, info.lpDirectory == nullptr,
                     apartment});
    if (result && !handOver.empty() && (info.fMask & SEE_MASK_NOCLOSEPROCESS)) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started{};
        std::wstring commandLine = handOver;
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                           &startup, &started)) {
            CloseHandle(started.hThread);
            info.hProcess = started.hProcess;
        }
    }
    if (!result) SetLastError(error);
    return result;
}

namespace {

// What AnswerOwnMessageBoxes's timer needs: one answering at a time on a thread.
struct Answering {
    int button;
    Answered texts;
};
thread_local Answering* t_answering = nullptr;

BOOL CALLBACK AnswerIfMessageBox(HWND window, LPARAM) {
    wchar_t className[16] = L"";
    GetClassNameW(window, className, 16);
    if (lstrcmpW(className, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    t_answering->texts.push_back(TextOf(GetDlgItem(window, 0xFFFF)));
    PostMessageW(window, WM_COMMAND, static_cast<WPARAM>(t_answering->button), 0);
    return FALSE;
}

}  // namespace

Answered AnswerOwnMessageBoxes(const std::function<void(const Answered& answered)>& action, int button) {
    Answering answering{button, {}};
    t_answering = &answering;
    // A message box's own loop dispatches this thread's timer too.
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        if (t_answering) EnumThreadWindows(GetCurrentThreadId(), &AnswerIfMessageBox, 0);
    });
    action(answering.texts);
    KillTimer(nullptr, timer);
    t_answering = nullptr;
    return std::move(answering.texts);
}

std::wstring AsTheSystemWritesIt(const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return L"(does not parse)";
    }
    wchar_t* text = nullptr;
    ConvertSecurityDescriptorToStringSecurityDescriptorW(
        descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION, &text, nullptr);
    std::wstring written = text ? text : L"";
    LocalFree(text);
    LocalFree(descriptor);
    return written;
}

size_t ShellRecorder::Count(const std::wstring& parameters) const {
    size_t count = 0;
    for (const Call& call : calls) count += call.parameters == parameters;
    return count;
}

void DoubleClick(HWND control, Delivery delivery) {
    const LPARAM at = MAKELPARAM(4, 4);
    for (const auto& [message, keys] : {std::pair<UINT, WPARAM>{WM_LBUTTONDOWN, MK_LBUTTON},
                                        {WM_LBUTTONUP, 0},
                                        {WM_LBUTTONDBLCLK, MK_LBUTTON},
                                        {WM_LBUTTONUP, 0}}) {
        if (delivery == Delivery::Post) {
            PostMessageW(control, message, keys, at);
        } else {
            SendMessageW(control, message, keys, at);
        }
    }
}

void PressKeys(std::initializer_list<WORD> keys) {
    std::vector<INPUT> inputs;
    const auto key = [&](WORD code, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = code;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    std::vector<WORD> held;
    for (WORD code : keys) {
        key(code, false);
        if (code == VK_MENU) {
            held.push_back(code);
        } else {
            key(code, true);
        }
    }
    std::for_each(held.rbegin(), held.rend(), [&](WORD code) { key(code, true); });
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

namespace {

std::chrono::steady_clock::time_point g_lastClick;

void MouseAt(POINT screen, DWORD down, DWORD up) {
    g_lastClick = std::chrono::steady_clock::now();
    SetCursorPos(screen.x, screen.y);
    INPUT inputs[2]{};
    for (INPUT& input : inputs) input.type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = down;
    inputs[1].mi.dwFlags = up;
    SendInput(2, inputs, sizeof(INPUT));
}

}  // namespace

void PumpPastDoubleClick() {
    const auto past = g_lastClick + std::chrono::milliseconds(GetDoubleClickTime() + 50);
    const auto now = std::chrono::steady_clock::now();
    if (now < past) PumpFor(std::chrono::duration_cast<std::chrono::milliseconds>(past - now));
}

void RightClickAt(POINT screen) { MouseAt(screen, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP); }

void ClickAt(POINT screen) { MouseAt(screen, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP); }

void DoubleClickAt(POINT screen) {
    ClickAt(screen);
    ClickAt(screen);
}

void MoveMouseTo(POINT screen) {
    SetCursorPos(screen.x - 1, screen.y);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = 1;
    input.mi.dwFlags = MOUSEEVENTF_MOVE;
    SendInput(1, &input, sizeof(INPUT));
}

void Click(HWND control) {
    const LPARAM at = MAKELPARAM(4, 4);
    SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(control, WM_LBUTTONUP, 0, at);
}

bool IsTopmost(HWND hwnd) { return (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

UniqueWindow CreatePlainWindow() {
    return UniqueWindow(CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 200, 100,
                                        nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
}

double AnswerMilliseconds(HWND window) {
    const auto asked = std::chrono::steady_clock::now();
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - asked).count();
}

namespace {

std::string& CollectedTraces() {
    static std::string collected;
    return collected;
}

LONG CALLBACK CollectTrace(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD& record = *info->ExceptionRecord;
    if (record.ExceptionCode == DBG_PRINTEXCEPTION_C && record.NumberParameters >= 2) {
        CollectedTraces().append(reinterpret_cast<const char*>(record.ExceptionInformation[1]),
                                 static_cast<size_t>(record.ExceptionInformation[0]));
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

DebugTraces::DebugTraces() : handler_(AddVectoredExceptionHandler(1, &CollectTrace)) { CollectedTraces().clear(); }

DebugTraces::~DebugTraces() { RemoveVectoredExceptionHandler(handler_); }

std::string DebugTraces::All() { return CollectedTraces(); }

}  // namespace kvztl::test
