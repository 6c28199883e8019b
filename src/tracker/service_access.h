// The entry in the tracker's service's access list (its DACL) that lets this account start,
// stop and query the service without elevation. Entries are compared as the system holds
// them, not as text: Windows writes an entry's rights back in its own order, so
// "(A;;RPWPLC;;;<sid>)" comes back as "(A;;LCRPWP;;;<sid>)".
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace kvztl {

// A service and its access list, in the system's text form (SDDL).
struct ServiceAccess {
    std::wstring service;
    std::wstring descriptor;
};

// The service's DACL as SDDL; nothing when it cannot be read.
std::optional<std::wstring> ServiceDescriptor(const std::wstring& service);
// `service` with its descriptor, when there is a service and its descriptor can be read.
std::optional<ServiceAccess> ReadServiceAccess(const std::optional<std::wstring>& service);

// True when the DACL of `sddl` allows the account `sid` ("S-1-5-21-...") at least
// SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS in one entry: the entry KV-ZTL adds, or
// another (an administrator's full control, say).
bool HasStartStopEntry(std::wstring_view sddl, std::wstring_view sid);
// True when the DACL holds the entry KV-ZTL adds: allowing `sid` exactly those three rights,
// not inherited.
bool HasOwnStartStopEntry(std::wstring_view sddl, std::wstring_view sid);
// `sddl` with that entry at the end of its DACL (unless an entry allows the rights already),
// or with every such entry of `sid` taken out, and no other; as the system writes it. Nothing
// when `sddl` or `sid` does not parse or there is no DACL to change (none at all would allow
// everybody everything; an entry added there would shut out everybody else).
std::optional<std::wstring> WithStartStopEntry(std::wstring_view sddl, std::wstring_view sid);
std::optional<std::wstring> WithoutOwnStartStopEntry(std::wstring_view sddl, std::wstring_view sid);

// The account this program runs as, as an SDDL SID string ("S-1-5-21-...").
std::wstring CurrentUserSid();

// The parameters of sc.exe that set `service`'s descriptor to `sddl`.
std::wstring SdsetParameters(std::wstring_view service, std::wstring_view sddl);

}  // namespace kvztl
