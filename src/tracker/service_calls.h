// The service control manager's calls as the tracker's code makes them: handles that close
// themselves, and the configuration and status of a service read into owned memory.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/handles.h"

namespace kvztl {

UniqueServiceHandle OpenManager(DWORD access = SC_MANAGER_CONNECT);
UniqueServiceHandle OpenNamed(SC_HANDLE manager, const std::wstring& name, DWORD access);

// A service's configuration, as the system fills it in; empty when it cannot be read.
class ServiceConfig {
public:
    explicit ServiceConfig(SC_HANDLE service);
    const QUERY_SERVICE_CONFIGW* get() const noexcept {
        return buffer_.empty() ? nullptr : reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer_.data());
    }

private:
    std::vector<BYTE> buffer_;
};

std::optional<SERVICE_STATUS_PROCESS> StatusOf(SC_HANDLE service);

}  // namespace kvztl
