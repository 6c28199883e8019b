// The tracker's record as periods: contiguous spans [start, end) in which it was up, down,
// or unknown, built from the journal's events fed in order, one at a time, so that one piece
// of code serves loading the journal and following the tracker live.
//
// Unknown is every moment no KV-ZTL watched that the journal cannot prove otherwise:
//  - A writer (a process id) watches from its `watch` line to its `unwatch` line, each of its
//    lines extending its watch; silent for more than kSilence (a crash, a power cut, a
//    suspend nobody told) it watched only up to its last line; a `watch` line of a writer
//    still watching (an id reused after a reboot) ends the old watch at its last line.
//  - Time is watched while any writer watches.
//  - After a gap the tracker's state is unknown until an `up` or `down` line, except that a
//    writer returning from its own silence with another line (its model of the tracker
//    unchanged) carries on with the state known before the gap.
//  - An `up` line counts from the start of the tracker's process (its `since`) where that is
//    after the last line that knew the state; where the period before a gap was up with the
//    same `since` (one process ran all along) and the machine did not sleep meanwhile, the gap
//    is up too; otherwise from its own time.
//  - The second of two writers' lines for one change (two `up`, two `down`) changes nothing,
//    but may tell more: an exit code that was missing, or a better-informed cause (`asked`
//    over `exited` over `vanished`).
//  - A line whose time is earlier than the one before it (a clock set back) counts at that
//    earlier line's time.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record/calendar.h"
#include "record/record_event.h"

namespace kvztl {

enum class PeriodState : std::uint8_t { Unknown, Up, Down };

struct Period {
    Moment start = 0;
    Moment end = 0;
    PeriodState state = PeriodState::Unknown;
    // Up: how it started (KvZtl, Service, Found). Down: how it stopped (Asked, Service, Exited,
    // Vanished, NotRunning). Unknown: why nobody watched (Exit, Silent, Sleep, Logoff,
    // Shutdown, NoRecord).
    Cause cause = Cause::NoRecord;
    std::optional<DWORD> exitCode;  // down: how the process ended, where known
    std::uint32_t words = 0;        // the last failed start or stop in it: Timeline::Words
};

class Timeline {
public:
    static constexpr Moment kSilence = 10 * kOneMinute;

    void Add(const Event& event);

    // Every period, oldest first; the one still open ends at `now` while a writer watches
    // (its last line at most kSilence before), or else at the last line.
    std::vector<Period> Periods(Moment now) const;
    // The words of the last start or stop that failed in the period; empty for none.
    std::wstring_view Words(const Period& period) const;

private:
    struct Writer {
        DWORD id;
        Moment last;  // its last line
    };
    // What was known before a gap: the state to carry on after it.
    struct Known {
        Period period;
        std::optional<Moment> since;
        std::vector<DWORD> silent;  // the writers whose silence opened the gap
    };

    void EndWatches(const Event& event, Moment at);
    bool Heard(const Event& event, Moment at);
    void GapOpens(Moment at, Cause cause);
    void Resume(Moment at);
    void Begin(Moment at, PeriodState state, Cause cause, std::optional<DWORD> exitCode = std::nullopt);
    void Up(const Event& event, Moment at);
    void Down(const Event& event, Moment at);

    std::vector<Period> closed_;
    Period open_;
    std::optional<Moment> since_;  // the open up period's process start
    std::vector<Writer> writers_;  // those watching
    std::optional<Moment> last_;   // the last line's time
    Moment knownUntil_ = 0;        // the last line that knew the tracker's state
    std::optional<Known> beforeGap_;
    std::vector<std::wstring> words_;
};

}  // namespace kvztl
