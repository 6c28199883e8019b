#include "platform/debug_trace.h"

#include <windows.h>

#include <cwchar>
#include <exception>

namespace kvztl {

void DebugTrace(const std::wstring& text) noexcept {
    try {
        OutputDebugStringW((L"KV-ZTL " + text + L"\n").c_str());
    } catch (...) {
        OutputDebugStringW(L"KV-ZTL: a trace was lost (out of memory)\n");
    }
}

void TraceWindowEvent(const wchar_t* className, const wchar_t* event, std::optional<unsigned long> error) noexcept {
    try {
        const std::wstring detail = error ? L"error " + std::to_wstring(*error) : CurrentExceptionText();
        DebugTrace(L"window " + std::wstring(className) + L": " + event + L": " + detail);
    } catch (...) {
        // Out of memory: there is nothing left to tell it with.
    }
}

void TraceDroppedMessage(const wchar_t* className, unsigned int message) noexcept {
    wchar_t event[32];
    swprintf(event, 32, L"message 0x%04X dropped", message);
    TraceWindowEvent(className, event, std::nullopt);
}

std::wstring CurrentExceptionText() noexcept {
    try {
        throw;
    } catch (const std::exception& error) {
        const char* what = error.what();
        try {
            const int length = MultiByteToWideChar(CP_UTF8, 0, what, -1, nullptr, 0);
            std::wstring text(length > 0 ? static_cast<size_t>(length - 1) : 0, L'\0');
            if (length > 1) MultiByteToWideChar(CP_UTF8, 0, what, -1, text.data(), length);
            return text;
        } catch (...) {
            return L"a std::exception";
        }
    } catch (...) {
        return L"an exception that is no std::exception";
    }
}

}  // namespace kvztl
