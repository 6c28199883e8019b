#include "store/start_with_windows.h"

#include <vector>

namespace kvztl {

StartWithWindows::StartWithWindows(std::wstring name, std::wstring programPath)
    : name_(std::move(name)), programPath_(std::move(programPath)) {}

std::optional<std::wstring> StartWithWindows::Command() const {
    std::vector<wchar_t> value(32768);
    auto bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, name_.c_str(), RRF_RT_REG_SZ, nullptr, value.data(), &bytes) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(value.data());
}

bool StartWithWindows::Enabled() const {
    const std::optional<std::wstring> value = Command();
    if (!value) return false;
    std::wstring command = *value;
    if (command.size() >= 2 && command.front() == L'"') command = command.substr(1, command.find(L'"', 1) - 1);
    return CompareStringOrdinal(command.c_str(), -1, programPath_.c_str(), -1, TRUE) == CSTR_EQUAL;
}

LSTATUS StartWithWindows::Enable() const {
    const std::wstring command = L"\"" + programPath_ + L"\"";
    return RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, name_.c_str(), REG_SZ, command.c_str(),
                           static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
}

LSTATUS StartWithWindows::Disable() const {
    const LSTATUS status = RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, name_.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

}  // namespace kvztl
