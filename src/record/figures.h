// What the tracker's record adds up to: figures over a range of time, bars for the last days
// and hours, and the periods as a list to copy or to save. Every function takes the periods
// oldest first and contiguous, as Timeline::Periods gives them; time outside them counts as
// unknown, and unknown time never counts as up nor as down.
#pragma once

#include <windows.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "record/timeline.h"

namespace kvztl {

struct Figures {
    Moment up = 0;
    Moment down = 0;
    Moment unknown = 0;
    std::optional<double> uptimeShare;  // up / (up + down); nothing when both are 0
    double watchedShare = 0;            // (up + down) / (to - from)
    int unaskedStops = 0;               // down periods that began in the range through the service,
                                        // an exit or a vanishing
    Moment longestRun = 0;              // the longest up period, clipped to the range
};

// A stop nobody asked KV-ZTL for: through the service, an exit, a vanishing.
bool UnaskedStop(const Period& period) noexcept;

// Over [from, to).
Figures FiguresOf(std::span<const Period> periods, Moment from, Moment to);

// A bar of the history: the time up, down and unknown in [start, end), counted up to `now`
// where it lies within.
struct Bar {
    Moment start = 0;
    Moment end = 0;
    Moment up = 0;
    Moment down = 0;
    Moment unknown = 0;
};

// A bar a calendar day of the zone for the last `days` days, oldest first, the last one
// today's: from local midnight to local midnight, 23 or 25 hours long where daylight saving
// begins or ends.
std::vector<Bar> DayBars(std::span<const Period> periods, Moment now, int days, const TIME_ZONE_INFORMATION& zone);
// A bar an hour for the last 24 hours, oldest first, the last one the hour that holds `now`;
// hours whole on the zone's clock (half past on UTC's in a zone five and a half hours ahead).
std::vector<Bar> HourBars(std::span<const Period> periods, Moment now, const TIME_ZONE_INFORMATION& zone);

// "YYYY-MM-DD HH:MM:SS" on the zone's clock, as the list to copy writes its times.
std::wstring ClockTimeText(const ZoneClock& clock, Moment moment);

// "Up", "Down", "Unknown"; how the period began, in words: "started by KV-ZTL", "exited",
// "asleep"...
std::wstring_view StateText(PeriodState state);
std::wstring_view CauseText(const Period& period);

// The periods newest first, a header line first, to paste into a spreadsheet: columns Start,
// End, Duration, State, Cause, Exit code; times on the zone's clock as "YYYY-MM-DD HH:MM:SS",
// durations as "H:MM:SS" (hours past 24 as they come), exit codes as ExitCodeText writes
// them; lines end in CR LF. Tab-separated for the clipboard; CSV (RFC 4180) in UTF-8 for a
// file, without the byte-order mark, which the caller writes first.
std::wstring PeriodsText(std::span<const Period> periods, const TIME_ZONE_INFORMATION& zone);
std::string PeriodsCsv(std::span<const Period> periods, const TIME_ZONE_INFORMATION& zone);

}  // namespace kvztl
