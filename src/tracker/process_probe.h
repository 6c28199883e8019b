// Is a process with a given image name running?
#pragma once

#include <functional>
#include <string_view>

namespace kvztl {

// True when at least one process's image name equals `imageName`, without regard to case.
// A failed process snapshot answers false.
bool IsProcessRunning(std::wstring_view imageName) noexcept;

// The probe as the status window sees it, so tests can stand in for the system.
using ProcessProbe = std::function<bool(std::wstring_view imageName)>;

}  // namespace kvztl
