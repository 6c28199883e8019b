#include "tracker/tracker_service.h"

#include <sddl.h>

#include <vector>

#include "platform/handles.h"

// Not in every SDK's headers.
#ifndef ERROR_SERVICE_NOTIFY_CLIENT_LAGGING
#define ERROR_SERVICE_NOTIFY_CLIENT_LAGGING 1294L
#endif

namespace kvztl {
namespace {

constexpr const wchar_t* kServiceName = L"BNBT Service";
constexpr const wchar_t* kProgramFile = L"bnbt.exe";

// How long the watcher waits before it looks again for a service that is not there.
constexpr DWORD kLookAgainMilliseconds = 5000;
// How long a stop waits for a service that is still starting to take it.
constexpr ULONGLONG kStartingPatienceMilliseconds = 10000;

UniqueServiceHandle OpenManager(DWORD access = SC_MANAGER_CONNECT) {
    return UniqueServiceHandle(OpenSCManagerW(nullptr, nullptr, access));
}

UniqueServiceHandle OpenNamed(SC_HANDLE manager, const std::wstring& name, DWORD access) {
    return UniqueServiceHandle(OpenServiceW(manager, name.c_str(), access));
}

bool SameText(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// The file name of the program a service's command line runs: "bnbt.exe" of
// "\"C:\BNBT\bnbt.exe\" -s" or of "C:\BNBT\bnbt.exe -s".
std::wstring_view ProgramFileOf(std::wstring_view command) {
    std::wstring_view program = command;
    if (program.starts_with(L'"')) {
        program.remove_prefix(1);
        program = program.substr(0, program.find(L'"'));
    } else if (const size_t space = program.find(L' '); space != std::wstring_view::npos) {
        program = program.substr(0, space);
    }
    const size_t slash = program.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? program : program.substr(slash + 1);
}

// The configuration of a service, in the buffer the system fills.
std::vector<BYTE> ConfigOf(SC_HANDLE service) {
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 ||
        !QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()), needed, &needed)) {
        buffer.clear();
    }
    return buffer;
}

const QUERY_SERVICE_CONFIGW* AsConfig(const std::vector<BYTE>& buffer) {
    return buffer.empty() ? nullptr : reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer.data());
}

std::optional<std::wstring> ServiceWithProgram(SC_HANDLE manager, std::wstring_view program) {
    DWORD needed = 0, count = 0, resume = 0;
    EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0, &needed, &count,
                          &resume, nullptr);
    std::vector<BYTE> buffer(needed);
    resume = 0;
    if (needed == 0 || !EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL,
                                              buffer.data(), needed, &needed, &count, &resume, nullptr)) {
        return std::nullopt;
    }
    const auto* services = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        const UniqueServiceHandle service = OpenNamed(manager, services[i].lpServiceName, SERVICE_QUERY_CONFIG);
        if (!service) continue;
        const std::vector<BYTE> config = ConfigOf(service.get());
        if (AsConfig(config) && AsConfig(config)->lpBinaryPathName &&
            SameText(ProgramFileOf(AsConfig(config)->lpBinaryPathName), program)) {
            return services[i].lpServiceName;
        }
    }
    return std::nullopt;
}

std::optional<std::wstring> FindTrackerService(SC_HANDLE manager) {
    if (OpenNamed(manager, kServiceName, SERVICE_QUERY_STATUS)) return kServiceName;
    return ServiceWithProgram(manager, kProgramFile);
}

// The tracker's service found, and opened with `access` (null when refused).
struct OpenedService {
    UniqueServiceHandle manager;
    std::optional<std::wstring> name;
    UniqueServiceHandle service;
};

OpenedService OpenTrackerService(DWORD access) {
    OpenedService opened{OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE), std::nullopt, nullptr};
    if (opened.manager) opened.name = FindTrackerService(opened.manager.get());
    if (opened.name && access) opened.service = OpenNamed(opened.manager.get(), *opened.name, access);
    return opened;
}

std::optional<SERVICE_STATUS_PROCESS> StatusOf(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                              &needed)) {
        return std::nullopt;
    }
    return status;
}

// Whether the service takes a stop, once it has finished starting (at most 10 s from now):
// the tracker's process is seen, and the strip reads RUNNING, before its service reports
// that it accepts a stop, and a stop asked meanwhile is refused.
bool TakesStopOnceStarted(SC_HANDLE service) {
    const ULONGLONG until = GetTickCount64() + kStartingPatienceMilliseconds;
    while (const std::optional<SERVICE_STATUS_PROCESS> status = StatusOf(service)) {
        const bool starting =
            status->dwCurrentState == SERVICE_START_PENDING ||
            (status->dwCurrentState == SERVICE_RUNNING && !(status->dwControlsAccepted & SERVICE_ACCEPT_STOP));
        if (!starting) return status->dwCurrentState == SERVICE_RUNNING;
        if (GetTickCount64() >= until) return false;
        Sleep(50);
    }
    return false;
}

}  // namespace

std::optional<std::wstring> FindTrackerService() { return OpenTrackerService(0).name; }

DWORD ServiceExitCode(const SERVICE_STATUS_PROCESS& status) noexcept {
    return status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR ? status.dwServiceSpecificExitCode
                                                                  : status.dwWin32ExitCode;
}

ServiceFacts QueryTrackerService() {
    ServiceFacts facts;
    const OpenedService opened = OpenTrackerService(SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG);
    if (!opened.name) return facts;
    facts.installed = true;
    const SC_HANDLE service = opened.service.get();
    if (!service) return facts;
    if (const std::optional<SERVICE_STATUS_PROCESS> status = StatusOf(service)) {
        facts.state = status->dwCurrentState;
        facts.exitCode = ServiceExitCode(*status);
    }
    const std::vector<BYTE> config = ConfigOf(service);
    facts.disabled = AsConfig(config) && AsConfig(config)->dwStartType == SERVICE_DISABLED;
    return facts;
}

std::optional<DWORD> ControlTrackerDirectly(bool start) {
    const OpenedService opened = OpenTrackerService(SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
    const SC_HANDLE service = opened.service.get();
    if (!service) return std::nullopt;
    if (start) {
        if (StartServiceW(service, 0, nullptr)) return ERROR_SUCCESS;
        const DWORD error = GetLastError();
        return error == ERROR_SERVICE_ALREADY_RUNNING ? ERROR_SUCCESS : error;
    }
    SERVICE_STATUS status{};
    if (ControlService(service, SERVICE_CONTROL_STOP, &status)) return ERROR_SUCCESS;
    DWORD error = GetLastError();
    if ((error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL || error == ERROR_INVALID_SERVICE_CONTROL) &&
        TakesStopOnceStarted(service)) {
        if (ControlService(service, SERVICE_CONTROL_STOP, &status)) return ERROR_SUCCESS;
        error = GetLastError();
    }
    return error == ERROR_SERVICE_NOT_ACTIVE ? ERROR_SUCCESS : error;
}

std::wstring StartStopEntry(std::wstring_view sid) { return L"(A;;RPWPLC;;;" + std::wstring(sid) + L")"; }

bool HasStartStopEntry(std::wstring_view sddl, std::wstring_view sid) {
    return sddl.find(StartStopEntry(sid)) != std::wstring_view::npos;
}

std::wstring WithStartStopEntry(std::wstring_view sddl, std::wstring_view sid) {
    std::wstring result(sddl);
    if (HasStartStopEntry(sddl, sid)) return result;
    // The DACL runs from "D:" to the SACL's "S:", or to the end.
    const size_t dacl = result.find(L"D:");
    const size_t sacl = dacl == std::wstring::npos ? std::wstring::npos : result.find(L"S:", dacl);
    if (dacl == std::wstring::npos) return result.append(L"D:").append(StartStopEntry(sid));
    return result.insert(sacl == std::wstring::npos ? result.size() : sacl, StartStopEntry(sid));
}

std::wstring WithoutStartStopEntry(std::wstring_view sddl, std::wstring_view sid) {
    std::wstring result(sddl);
    const std::wstring entry = StartStopEntry(sid);
    for (size_t at = result.find(entry); at != std::wstring::npos; at = result.find(entry, at)) {
        result.erase(at, entry.size());
    }
    return result;
}

std::wstring CurrentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    const UniqueHandle owned(token);
    DWORD needed = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), needed, &needed)) return {};
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return {};
    std::wstring sid(text);
    LocalFree(text);
    return sid;
}

std::optional<std::wstring> ServiceDescriptor(const std::wstring& service) {
    const UniqueServiceHandle manager = OpenManager();
    const UniqueServiceHandle handle = manager ? OpenNamed(manager.get(), service, READ_CONTROL) : nullptr;
    if (!handle) return std::nullopt;
    DWORD needed = 0;
    QueryServiceObjectSecurity(handle.get(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 ||
        !QueryServiceObjectSecurity(handle.get(), DACL_SECURITY_INFORMATION, buffer.data(), needed, &needed)) {
        return std::nullopt;
    }
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(buffer.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                              &text, nullptr)) {
        return std::nullopt;
    }
    std::wstring sddl(text);
    LocalFree(text);
    return sddl;
}

std::wstring SdsetParameters(std::wstring_view service, std::wstring_view sddl) {
    return L"sdset \"" + std::wstring(service) + L"\" \"" + std::wstring(sddl) + L"\"";
}

// What a notice needs when it comes; it may come after the watch has let go of it, so the
// watch leaves it to the system then.
struct ServiceWatch::Notice {
    Notice(HWND to, UINT with) noexcept : window(to), message(with) {}

    SERVICE_NOTIFYW notify{};
    HWND window;
    UINT message;
    bool armed = false;
};

namespace {

constexpr DWORD kNoticeMask = SERVICE_NOTIFY_STOPPED | SERVICE_NOTIFY_START_PENDING | SERVICE_NOTIFY_STOP_PENDING |
                              SERVICE_NOTIFY_RUNNING | SERVICE_NOTIFY_DELETE_PENDING;

}  // namespace

ServiceWatch::ServiceWatch(HWND window, UINT message)
    : window_(window), message_(message), notice_(std::make_unique<Notice>(window, message)) {
    Tend();
}

ServiceWatch::~ServiceWatch() { Release(false); }

void ServiceWatch::Release(bool renew) noexcept {
    service_.reset();  // cancels the notice
    if (!notice_->armed) return;
    SleepEx(0, TRUE);  // one already on its way comes now
    if (!notice_->armed) return;
    notice_->window = nullptr;
    (void)notice_.release();
    if (renew) notice_ = std::make_unique<Notice>(window_, message_);
}

void ServiceWatch::Tend() {
    const ULONGLONG now = GetTickCount64();
    if (service_ && now >= nextLook_) {
        // A service marked for deletion goes only once every handle to it has closed; where
        // no notice says so (Wine sends none), the watch finds out by looking now and then.
        nextLook_ = now + kLookAgainMilliseconds / 2;
        if (!OpenNamed(manager_.get(), name_, SERVICE_QUERY_STATUS)) Release(true);
    }
    if (!service_) {
        if (now < nextLook_) return;
        nextLook_ = now + kLookAgainMilliseconds;
        if (!manager_) manager_ = OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE);
        const std::optional<std::wstring> name = manager_ ? FindTrackerService(manager_.get()) : std::nullopt;
        if (!name) return;
        name_ = *name;
        service_ = OpenNamed(manager_.get(), name_, SERVICE_QUERY_STATUS);
        if (!service_) return;
    }
    if (notice_->armed) return;
    Notice& notice = *notice_;
    notice.notify = {};
    notice.notify.dwVersion = SERVICE_NOTIFY_STATUS_CHANGE;
    notice.notify.pContext = &notice;
    notice.notify.pfnNotifyCallback = [](void* parameter) {
        auto& arrived = *static_cast<Notice*>(static_cast<SERVICE_NOTIFYW*>(parameter)->pContext);
        arrived.armed = false;
        const SERVICE_NOTIFYW& notify = arrived.notify;
        if (notify.dwNotificationStatus != ERROR_SUCCESS || !arrived.window) return;
        PostMessageW(arrived.window, arrived.message, notify.ServiceStatus.dwCurrentState,
                     static_cast<LPARAM>(ServiceExitCode(notify.ServiceStatus)));
    };
    const DWORD armed = NotifyServiceStatusChangeW(service_.get(), kNoticeMask, &notice.notify);
    notice.armed = armed == ERROR_SUCCESS;
    // Fallen behind, or the service is going: look again at the next tend.
    if (!notice.armed) {
        Release(true);
        nextLook_ = armed == ERROR_SERVICE_NOTIFY_CLIENT_LAGGING ? 0 : now + kLookAgainMilliseconds;
    }
}

}  // namespace kvztl
