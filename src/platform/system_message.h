// The system's words for an error code.
#pragma once

#include <windows.h>

#include <string>

namespace kvztl {

// "Access is denied." for ERROR_ACCESS_DENIED, without the line break the system adds;
// "Error <code>." where the system has no text.
std::wstring SystemMessage(DWORD error);

}  // namespace kvztl
