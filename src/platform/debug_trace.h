// Lines for a developer's debugger (DebugView on Windows, WINEDEBUG=+debugstr under Wine):
// what the program drops without troubling the user.
#pragma once

#include <optional>
#include <string>

namespace kvztl {

// Sends "KV-ZTL <text>" and a line break to the debugger; nothing when there is none.
void DebugTrace(const std::wstring& text) noexcept;

// "KV-ZTL window <class>: <event>: <detail>", where the detail is "error <code>" when there is
// an error code, or else (inside a catch block) the exception being handled.
void TraceWindowEvent(const wchar_t* className, const wchar_t* event, std::optional<unsigned long> error) noexcept;

// A message that a window procedure dropped because its handler threw (inside the catch).
void TraceDroppedMessage(const wchar_t* className, unsigned int message) noexcept;

// The exception being handled, in words: what() of a std::exception, else its kind. Only
// inside a catch block.
std::wstring CurrentExceptionText() noexcept;

}  // namespace kvztl
