// Lines for a developer's debugger (DebugView on Windows, WINEDEBUG=+debugstr under Wine):
// what the program drops without troubling the user.
#pragma once

#include <string>

namespace kvztl {

// Sends "KV-ZTL <text>" and a line break to the debugger; nothing when there is none.
void DebugTrace(const std::wstring& text) noexcept;

// The exception being handled, in words: what() of a std::exception, else its kind. Only
// inside a catch block.
std::wstring CurrentExceptionText() noexcept;

}  // namespace kvztl
