// The system's words for an error code or an exit code.
#pragma once

#include <windows.h>

#include <string>

namespace kvztl {

// "Access is denied." for ERROR_ACCESS_DENIED, without the line break the system adds;
// "Error <code>." where the system has no text.
std::wstring SystemMessage(DWORD error);

// An exit code as Windows writes it, with the system's text for it where there is one:
// "0xC0000005: <the text for an access violation>", or "0x0000002A".
std::wstring ExitCodeText(DWORD code);

}  // namespace kvztl
