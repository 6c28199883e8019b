#include "platform/program_info.h"

#include <windows.h>

#include <cstring>

namespace kvztl {

std::wstring ProgramVersion() {
    const HMODULE program = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(program, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    if (!found) return {};
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(program, found)));
    const DWORD size = SizeofResource(program, found);
    // The fixed part is found by its signature, which the resource compiler aligns to 32 bits.
    for (DWORD at = 0; data && at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        VS_FIXEDFILEINFO info;
        std::memcpy(&info, data + at, sizeof(info));
        if (info.dwSignature != VS_FFI_SIGNATURE) continue;
        std::wstring version = std::to_wstring(HIWORD(info.dwFileVersionMS)) + L"." +
                               std::to_wstring(LOWORD(info.dwFileVersionMS)) + L"." +
                               std::to_wstring(HIWORD(info.dwFileVersionLS));
        if (LOWORD(info.dwFileVersionLS)) version += L"." + std::to_wstring(LOWORD(info.dwFileVersionLS));
        return version;
    }
    return {};
}

std::wstring ThisProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace kvztl
