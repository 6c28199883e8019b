// The tracker's service as the service control manager knows it: which one it is, what
// state it is in, starting and stopping it without elevation where this user may, the
// access entry that lets this user do so, and a watcher that tells the strip of each change.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

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

// "BNBT Service" where it exists, else the first service whose program is bnbt.exe; nothing
// when there is none.
std::optional<std::wstring> FindTrackerService();

ServiceFacts QueryTrackerService();

// The exit code a stopped service reports: its own one where it gives one.
DWORD ServiceExitCode(const SERVICE_STATUS_PROCESS& status) noexcept;

// Starts (`start`) or stops the tracker's service through the service control manager when
// this user may without elevation (it opens with SERVICE_START | SERVICE_STOP |
// SERVICE_QUERY_STATUS): the outcome, ERROR_SUCCESS when it was done or already so. Nothing
// when this user may not, or there is no such service: the elevated command is then the way.
// A stop of a service still starting waits (at most 10 s) until it can take the stop. It
// blocks meanwhile: call it off the window thread.
std::optional<DWORD> ControlTrackerDirectly(bool start);

// The entry of a service's security descriptor (SDDL) that lets the account `sid` start,
// stop and query it: "(A;;RPWPLC;;;<sid>)".
std::wstring StartStopEntry(std::wstring_view sid);
// `sddl` with that entry added at the end of its DACL, or removed wherever it is.
std::wstring WithStartStopEntry(std::wstring_view sddl, std::wstring_view sid);
std::wstring WithoutStartStopEntry(std::wstring_view sddl, std::wstring_view sid);
bool HasStartStopEntry(std::wstring_view sddl, std::wstring_view sid);

// The account this program runs as, as an SDDL SID string ("S-1-5-21-...").
std::wstring CurrentUserSid();
// The tracker's service's DACL as SDDL; nothing when it cannot be read.
std::optional<std::wstring> ServiceDescriptor(const std::wstring& service);
// The parameters of sc.exe that set `service`'s descriptor to `sddl`.
std::wstring SdsetParameters(std::wstring_view service, std::wstring_view sddl);

// Watches the tracker's service and posts `message` to `window` at each change of state,
// with the state in wparam and its exit code in lparam. The service control manager's notices
// are asynchronous calls to the thread that made the watch, which must wait alertably
// (NextMessage); Tend, called at each poll and after each notice, arms the next one, looks
// again every few seconds for a service that is not there, and lets go of one being deleted.
class ServiceWatch {
public:
    ServiceWatch(HWND window, UINT message);
    ~ServiceWatch();
    ServiceWatch(const ServiceWatch&) = delete;
    ServiceWatch& operator=(const ServiceWatch&) = delete;

    void Tend();

private:
    struct Notice;
    // Closes the service; a notice still armed is left to the system, and a new one is made
    // when `renew`.
    void Release(bool renew) noexcept;

    HWND window_;
    UINT message_;
    std::unique_ptr<Notice> notice_;
    UniqueServiceHandle manager_, service_;
    std::wstring name_;
    ULONGLONG nextLook_ = 0;  // GetTickCount64 of the next look for the service
};

}  // namespace kvztl
