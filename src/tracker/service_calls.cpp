#include "tracker/service_calls.h"

namespace kvztl {

UniqueServiceHandle OpenManager(DWORD access) { return UniqueServiceHandle(OpenSCManagerW(nullptr, nullptr, access)); }

UniqueServiceHandle OpenNamed(SC_HANDLE manager, const std::wstring& name, DWORD access) {
    return UniqueServiceHandle(OpenServiceW(manager, name.c_str(), access));
}

ServiceConfig::ServiceConfig(SC_HANDLE service) {
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    buffer_.resize(needed);
    if (needed == 0 ||
        !QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer_.data()), needed, &needed)) {
        buffer_.clear();
    }
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

}  // namespace kvztl
