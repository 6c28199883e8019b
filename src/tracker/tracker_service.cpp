#include "tracker/tracker_service.h"

#include "tracker/service_calls.h"

// Not in every SDK's headers.
#ifndef ERROR_SERVICE_NOTIFY_CLIENT_LAGGING
#define ERROR_SERVICE_NOTIFY_CLIENT_LAGGING 1294L
#endif

namespace kvztl {
namespace {

// How long a stop waits for a service that is still starting to take it.
constexpr ULONGLONG kStartingPatienceMilliseconds = 10000;

// The state of a service once it has finished starting (at most 10 s from now): the tracker's
// process is seen, and the strip reads RUNNING, before its service reports that it accepts a
// stop, and a stop asked meanwhile is refused. Nothing when the status cannot be read.
std::optional<DWORD> StateOnceStarted(SC_HANDLE service) {
    const ULONGLONG until = GetTickCount64() + kStartingPatienceMilliseconds;
    while (const std::optional<SERVICE_STATUS_PROCESS> status = StatusOf(service)) {
        const bool starting =
            status->dwCurrentState == SERVICE_START_PENDING ||
            (status->dwCurrentState == SERVICE_RUNNING && !(status->dwControlsAccepted & SERVICE_ACCEPT_STOP));
        if (!starting || GetTickCount64() >= until) return status->dwCurrentState;
        Sleep(50);
    }
    return std::nullopt;
}

DWORD Stop(SC_HANDLE service) {
    SERVICE_STATUS status{};
    if (ControlService(service, SERVICE_CONTROL_STOP, &status)) return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_NOT_ACTIVE) return ERROR_SUCCESS;
    if (error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL && error != ERROR_INVALID_SERVICE_CONTROL) return error;
    // Refused while it stops already or has stopped (a second double-click): that is done.
    // Refused while it still starts: asked again once it takes a stop.
    const std::optional<DWORD> state = StateOnceStarted(service);
    if (state == SERVICE_STOP_PENDING || state == SERVICE_STOPPED) return ERROR_SUCCESS;
    if (state != SERVICE_RUNNING) return error;
    if (ControlService(service, SERVICE_CONTROL_STOP, &status)) return ERROR_SUCCESS;
    return GetLastError();
}

}  // namespace

DWORD ServiceExitCode(const SERVICE_STATUS_PROCESS& status) noexcept {
    return status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR ? status.dwServiceSpecificExitCode
                                                                  : status.dwWin32ExitCode;
}

ServiceFacts QueryService(const std::optional<std::wstring>& service) {
    ServiceFacts facts;
    const UniqueServiceHandle manager = service ? OpenManager() : nullptr;
    const UniqueServiceHandle opened =
        manager ? OpenNamed(manager.get(), *service, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG) : nullptr;
    if (!opened) {
        facts.installed = manager && GetLastError() == ERROR_ACCESS_DENIED;
        return facts;
    }
    facts.installed = true;
    if (const std::optional<SERVICE_STATUS_PROCESS> status = StatusOf(opened.get())) {
        facts.state = status->dwCurrentState;
        facts.exitCode = ServiceExitCode(*status);
    }
    const ServiceConfig config(opened.get());
    facts.disabled = config.get() && config.get()->dwStartType == SERVICE_DISABLED;
    return facts;
}

std::optional<DWORD> ControlServiceDirectly(const std::optional<std::wstring>& service, bool start) {
    const UniqueServiceHandle manager = service ? OpenManager() : nullptr;
    const UniqueServiceHandle opened =
        manager ? OpenNamed(manager.get(), *service, SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS) : nullptr;
    if (!opened) return std::nullopt;
    if (!start) return Stop(opened.get());
    if (StartServiceW(opened.get(), 0, nullptr)) return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    return error == ERROR_SERVICE_ALREADY_RUNNING ? ERROR_SUCCESS : error;
}

// What a notice needs when it comes; it may come after the watch has let go of it, so the
// watch leaves it to the system then.
struct ServiceWatch::Notice {
    Notice(HWND to, UINT with) noexcept : window(to), message(with) {}

    SERVICE_NOTIFYW notify{};
    HWND window;
    UINT message;
    bool armed = false;
    bool lagging = false;  // the notices fell behind: the manager's handle must be opened again
};

namespace {

constexpr DWORD kNoticeMask = SERVICE_NOTIFY_STOPPED | SERVICE_NOTIFY_START_PENDING | SERVICE_NOTIFY_STOP_PENDING |
                              SERVICE_NOTIFY_RUNNING | SERVICE_NOTIFY_DELETE_PENDING;

}  // namespace

ServiceWatch::ServiceWatch(HWND window, UINT message, Find find, Notify notify)
    : window_(window),
      message_(message),
      find_(std::move(find)),
      notify_(notify),
      notice_(std::make_unique<Notice>(window, message)) {
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
    if (notice_->lagging) StartAfresh();
    if (!service_) {
        // Looked for when told: a service the search has found, one that a command may have
        // made.
        if (!lookNow_) return;
        lookNow_ = false;
        if (!manager_) manager_ = OpenManager();
        const std::optional<std::wstring> name = manager_ && find_ ? find_() : std::nullopt;
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
        arrived.lagging = notify.dwNotificationStatus == ERROR_SERVICE_NOTIFY_CLIENT_LAGGING;
        if (notify.dwNotificationStatus != ERROR_SUCCESS || !arrived.window) return;
        PostMessageW(arrived.window, arrived.message, notify.ServiceStatus.dwCurrentState,
                     static_cast<LPARAM>(ServiceExitCode(notify.ServiceStatus)));
    };
    // The notice may come within the call (at once when the service is in a state asked
    // for, and the manager's calls may wait alertably): armed before, or never again.
    notice.armed = true;
    const DWORD result = notify_(service_.get(), kNoticeMask, &notice.notify);
    if (result == ERROR_SUCCESS) return;
    notice.armed = false;
    if (result == ERROR_SERVICE_NOTIFY_CLIENT_LAGGING) return StartAfresh();
    // The service is going: looked for again when the search or a command says so.
    Release(true);
}

void ServiceWatch::LetGo() noexcept {
    Release(true);
    lookNow_ = false;
}

void ServiceWatch::StartAfresh() noexcept {
    // Fallen behind: the system asks for a new handle to the manager, and the service is
    // opened and watched again through it at the next tend.
    Release(true);
    notice_->lagging = false;
    manager_.reset();
    lookNow_ = true;
}

}  // namespace kvztl
