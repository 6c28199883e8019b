// The record on disk: events appended as lines (record/record_event.h) to a file a UTC
// month, tracker-YYYY-MM.log, in the user's own folder, %LOCALAPPDATA%\KV-ZTL. Files are only
// ever appended to, by every KV-ZTL of the user at once; months older than kMonthsKept
// before the current one are removed. A Journal serves one thread; any number of them, in
// any processes, may append to one folder together.
//
// At start the program reads the record into a timeline, then appends and adds each event
// as it comes:
//   journal.Read(Now(), [&](const Event& event) { timeline.Add(event); });
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "record/calendar.h"
#include "record/record_event.h"

namespace kvztl {

// A file the journal could not write or read, and the system's error code.
struct JournalFailure {
    std::wstring path;
    DWORD error = ERROR_SUCCESS;
};

enum class SkipReason {
    Torn,     // the last line of a file, without its line feed (cut short by a crash)
    Garbled,  // a line that does not fit the grammar
    Future,   // a time more than kFutureSlack past the moment of reading
    TooLong,  // more than kMaxLineBytes
};

struct SkippedLine {
    std::wstring file;
    std::uint64_t line = 0;  // from 1
    SkipReason reason = SkipReason::Garbled;
};

// What a reading found besides the events.
struct JournalReading {
    std::uint64_t events = 0;
    std::uint64_t skipped = 0;
    std::vector<SkippedLine> firstSkipped;  // the first kListedSkips of them
    std::optional<JournalFailure> failure;  // the last file that could not be read
};

class Journal {
public:
    static constexpr int kMonthsKept = 13;
    static constexpr std::size_t kListedSkips = 20;
    static constexpr Moment kFutureSlack = 5 * kOneMinute;

    // The user's folder for it: %LOCALAPPDATA%, else SHGetKnownFolderPath's local application
    // data, with "\KV-ZTL" added; empty when there is neither.
    static std::wstring DefaultFolder();

    // Nothing is touched before the first Append.
    explicit Journal(std::wstring folder);
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Writes the event's line, and every line still pending before it, to the file of its
    // month (never to the month's file before one this journal wrote: a clock set back across
    // the month's turn does not reorder the files) and flushes it to the disk: true when it is
    // there. The file is opened by name for each write, so that a file deleted meanwhile takes
    // nothing along. A file that does not end in a line feed (a line torn by a crash) gets
    // " (torn)" and one first. When it cannot (no folder, a full disk...), the event is kept
    // pending in memory, in order, and written at the next Append that can. Removes months
    // older than kMonthsKept before the month of its first line, and whenever the month turns
    // to the next while it runs (not when a clock is set months ahead).
    bool Append(const Event& event);
    // Lines not written yet, and the failure that keeps them (nothing once they are written).
    std::size_t Pending() const noexcept { return pending_.size(); }
    const std::optional<JournalFailure>& Failure() const noexcept { return failure_; }

    // Hands on every event of every month file, oldest month first, streaming the files in
    // large pieces. Skips, and reports, lines it cannot take, reading on after each. A time
    // earlier than the line's before (a clock set back) is handed on as that earlier time.
    JournalReading Read(Moment now, const std::function<void(const Event&)>& onEvent) const;

    // Deletes every month file and forgets what is pending; true when none is left.
    bool Clear();

    const std::wstring& folder() const noexcept { return folder_; }
    // The file of the month of `moment`.
    std::wstring MonthPath(Moment moment) const;

private:
    struct Line {
        int month;  // year * 12 + month - 1
        std::string text;
    };

    bool Write(int month, const std::string& lines);
    // The month's file, opened to append to; empty, and the failure kept, when it cannot be.
    UniqueHandle Open(int month);
    bool Fail(int month, DWORD error);
    std::wstring PathOf(int month) const;
    std::vector<int> Months() const;  // of the files there, in order

    std::wstring folder_;
    int latestMonth_ = -1;  // the latest month a line went to
    int prunedFor_ = -1;    // the month old ones were last removed for
    std::vector<Line> pending_;
    std::optional<JournalFailure> failure_;
};

}  // namespace kvztl
