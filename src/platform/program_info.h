// What the running program knows of itself: its file and its version.
#pragma once

#include <string>

namespace kvztl {

// "1.0.0" for a file version of 1.0.0.0 (a fourth part of 0 is left out); empty if the
// program carries no version resource.
std::wstring ProgramVersion();

// The full path of the running program's file.
std::wstring ThisProgramPath();

}  // namespace kvztl
