#include "platform/system_message.h"

#include <cwchar>

namespace kvztl {
namespace {

// The system's text for `code` from its own table, or from ntdll's for a status code; empty
// where it has none.
std::wstring FormatCode(DWORD code, bool status) {
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const HMODULE ntdll = status ? GetModuleHandleW(L"ntdll.dll") : nullptr;
    if (ntdll) flags |= FORMAT_MESSAGE_FROM_HMODULE;
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(flags, ntdll, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return text;
}

}  // namespace

std::wstring SystemMessage(DWORD error) {
    const std::wstring text = FormatCode(error, false);
    return text.empty() ? L"Error " + std::to_wstring(error) + L"." : text;
}

std::wstring ExitCodeText(DWORD code) {
    wchar_t hex[16];
    std::swprintf(hex, 16, L"0x%08X", static_cast<unsigned>(code));
    // Codes with the top bits set are status codes (0xC0000005, an access violation).
    const std::wstring text = FormatCode(code, (code & 0xC0000000) != 0);
    return text.empty() ? hex : std::wstring(hex) + L": " + text;
}

}  // namespace kvztl
