// What the strip checks after it asked the tracker to start or stop, and what it then tells:
// the tracker's own commands report nothing (they exit with 0 whatever happened), so the
// strip reads the outcome from the processes and the service control manager instead.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "tracker/tracker_service.h"

namespace kvztl {

// How long a start or a stop may take before the strip says it failed.
inline constexpr auto kStartPatience = std::chrono::seconds(10);
inline constexpr auto kStopPatience = std::chrono::seconds(30);

// What the service control manager refused when asked directly: ERROR_SERVICE_DISABLED and
// ERROR_SERVICE_DOES_NOT_EXIST in the words of the follow-up, anything else with the
// system's text.
std::wstring ServiceRefusalText(bool start, DWORD error);

// A start that was asked for, watched until the tracker runs or it is clear that it will not.
struct StartFollowUp {
    HWND owner;
    std::chrono::steady_clock::time_point asked;
    bool serviceStarted = false;              // a notice showed it starting or running since
    std::optional<DWORD> serviceStoppedWith;  // then one showed it stopped, with this exit code
};

// What to tell of a start: nothing yet (keep watching) or a verdict, where an empty text
// means it went well. `commandEnded` is true once the command launched has ended (or at
// once, when the service was asked directly); `service` is read only then.
std::optional<std::wstring> StartVerdict(const StartFollowUp& start, bool running, bool commandEnded,
                                         std::chrono::steady_clock::time_point now,
                                         const std::function<ServiceFacts()>& service);

// What to tell of a stop asked at `asked`: the same form.
std::optional<std::wstring> StopVerdict(std::chrono::steady_clock::time_point asked, bool running,
                                        std::chrono::steady_clock::time_point now);

}  // namespace kvztl
