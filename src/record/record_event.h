// What KV-ZTL keeps of the tracker: events, one a line of plain UTF-8 text that a person can
// read and mend, each with its UTC time to the second and the process id of the KV-ZTL that
// wrote it (two copies of one user, in two sessions, may write one file).
//
//   <time> <writer> <what> [...]
//
//   2026-12-09T02:59:05Z 4242 watch start
//       KV-ZTL began watching: start | resume
//   2026-12-09T03:03:05Z 4242 watching
//       still watching (written every 4 minutes)
//   2026-12-09T02:59:05Z 4242 up found 2026-12-08T21:03:11Z
//       the tracker runs: kv-ztl (started by KV-ZTL) | service (started through the service
//       manager by someone else) | found (a process the poll found); then, where known, the
//       start time of its process
//   2026-12-09T03:10:00Z 4242 down exited 0xC0000005
//       it stopped: asked (as asked here) | service (through the service manager by someone
//       else) | exited, with the exit code where known | vanished (gone, how unknown) |
//       not-running (found not running when watching began)
//   2026-12-09T03:12:30Z 4242 failed start The tracker's service is not installed.
//       a start or stop asked here failed: start | stop, then the system's words (line breaks
//       become spaces)
//   2026-12-09T04:00:00Z 4242 unwatch exit
//       KV-ZTL stopped watching: exit | logoff | shutdown | sleep
//
// Fields are parted by one space; a time is YYYY-MM-DDTHH:MM:SSZ, a writer a decimal process
// id, an exit code 0x and one to eight hexadecimal digits; no control character but a tab.
// A line ends in a line feed (a carriage return before it is allowed) and holds at most
// kMaxLineBytes bytes. A line that a crash cut short is marked " (torn)" at its end when the
// next line is written, so that what is left of it is never taken for a whole line.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/moment.h"

namespace kvztl {

enum class EventKind : std::uint8_t { Watch, Watching, Up, Down, Failed, Unwatch };

// Why an event happened, or why a period of the timeline began (record/timeline.h).
enum class Cause : std::uint8_t {
    None,  // a `watching` line
    // watch
    Start,  // also a failed start
    Resume,
    // up
    KvZtl,
    Service,  // also down
    Found,
    // down
    Asked,
    Exited,
    Vanished,
    NotRunning,
    // failed
    Stop,
    // unwatch, and the unknown period that follows
    Exit,
    Logoff,
    Shutdown,
    Sleep,
    // unknown periods only: KV-ZTL fell silent (a crash, a power cut, an untold suspend), and
    // the time before the record begins
    Silent,
    NoRecord,
};

struct Event {
    Moment time = 0;  // written to the second below
    DWORD writer = 0;
    EventKind kind = EventKind::Watching;
    Cause cause = Cause::None;        // one that its kind takes, as the grammar above lists them
    std::optional<Moment> since{};    // up: the start of the tracker's process
    std::optional<DWORD> exitCode{};  // down exited
    std::wstring text{};              // failed: the system's words
};

constexpr std::size_t kMaxLineBytes = 4096;

// The event's line, line feed included; a failure's words are cut where the line would grow
// longer than kMaxLineBytes.
std::string FormatLine(const Event& event);
// The event a line tells (its line feed, and a carriage return before it, may be there);
// nothing for a line that does not fit the grammar throughout.
std::optional<Event> ParseLine(std::string_view line);

// "YYYY-MM-DDTHH:MM:SSZ"; nothing for text of another form or a time that does not exist.
std::string TimeText(Moment moment);
std::optional<Moment> ParseTimeText(std::string_view text) noexcept;

}  // namespace kvztl
