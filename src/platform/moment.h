// Moments in time as the system counts them, and how the strip words them for a person.
#pragma once

#include <windows.h>

#include <string>

namespace kvztl {

// A moment as the system counts it: 100 ns units since 1601, UTC (a FILETIME).
using Moment = ULONGLONG;
Moment Now() noexcept;
inline Moment MomentOf(const FILETIME& time) noexcept {
    return (static_cast<Moment>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// "3 h 12 min", "2 d 5 h", "12 min", "less than a minute".
std::wstring DurationText(Moment from, Moment to);
// The moment in the user's own time format, with seconds or without, and with the date
// (user's short format) first when it is not the day of `now`.
std::wstring MomentText(Moment moment, Moment now, bool seconds);

}  // namespace kvztl
