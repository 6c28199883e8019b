// The tracker's service as the service control manager knows it: what state it is in,
// starting and stopping it without elevation where this user may, and a watcher that tells
// the strip of each change. Which service it is comes from TrackerServiceLocator.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/handles.h"

namespace kvztl {

// What the service control manager says of the tracker's service.
struct ServiceFacts {
    bool installed = false;
    bool disabled = false;
    DWORD state = 0;  // SERVICE_RUNNING, SERVICE_STOPPED..., 0 when not installed
    // Why it last stopped: a system error code, or the service's own code when that is
    // ERROR_SERVICE_SPECIFIC_ERROR.
    DWORD exitCode = ERROR_SUCCESS;
};

// The facts of `service`; not installed when there is none.
ServiceFacts QueryService(const std::optional<std::wstring>& service);

// The exit code a stopped service reports: its own one where it gives one.
DWORD ServiceExitCode(const SERVICE_STATUS_PROCESS& status) noexcept;

// Starts (`start`) or stops `service` through the service control manager when this user may
// without elevation (it opens with SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS): the
// outcome, ERROR_SUCCESS when it was done, already so, or (a stop) already under way. Nothing
// when this user may not, or there is no such service: the elevated command is then the way.
// A stop of a service still starting waits (at most 10 s) until it can take the stop. It
// blocks meanwhile: call it off the window thread.
std::optional<DWORD> ControlServiceDirectly(const std::optional<std::wstring>& service, bool start);

// Watches the tracker's service and posts `message` to `window` at each change of state,
// with the state in wparam and its exit code in lparam. The service control manager's notices
// are asynchronous calls to the thread that made the watch, which must wait alertably
// (NextMessage); Tend, called at each poll and after each notice, arms the next one, and asks
// `find` for a service that is not there when told to look again. A service marked for
// deletion goes only once every handle to it has closed: the watch lets go of it when its
// notice says so (Wine sends none), or when told to (the strip removes it itself).
class ServiceWatch {
public:
    using Find = std::function<std::optional<std::wstring>()>;
    // NotifyServiceStatusChangeW; tests stand in for it to wait alertably within the call, as
    // the service control manager's client may.
    using Notify = DWORD(WINAPI*)(SC_HANDLE, DWORD, PSERVICE_NOTIFYW);
    ServiceWatch(HWND window, UINT message, Find find, Notify notify = &NotifyServiceStatusChangeW);
    ~ServiceWatch();
    ServiceWatch(const ServiceWatch&) = delete;
    ServiceWatch& operator=(const ServiceWatch&) = delete;

    void Tend();
    // At the next Tend, asks `find` for a service that is not there: the search's answer has
    // changed, or a command may have made the service.
    void LookAgain() noexcept { lookNow_ = true; }
    // Closes the service, so that a removal waits for no handle of the watch's, until told to
    // look again.
    void LetGo() noexcept;

private:
    struct Notice;
    // Closes the service; a notice still armed is left to the system, and a new one is made
    // when `renew`.
    void Release(bool renew) noexcept;
    void StartAfresh() noexcept;

    HWND window_;
    UINT message_;
    Find find_;
    Notify notify_;
    std::unique_ptr<Notice> notice_;
    UniqueServiceHandle manager_, service_;
    std::wstring name_;
    bool lookNow_ = true;
};

}  // namespace kvztl
