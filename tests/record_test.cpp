// The tracker's record: its calendar against the system's, lines written and read back, and
// the journal on disk under what befalls files (torn and hand-edited lines, clocks set back, a
// month's turn, two writers at once, a folder that cannot be made).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "record/calendar.h"
#include "record/journal.h"
#include "support/test_support.h"

namespace kvztl {
namespace {

// A UTC moment, as the system makes it.
Moment Utc(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0) {
    const SYSTEMTIME time{year, month, 0, day, hour, minute, second, 0};
    FILETIME file{};
    EXPECT_TRUE(SystemTimeToFileTime(&time, &file));
    return MomentOf(file);
}

// Zones as Windows describes them: Central Europe (daylight saving from the last Sunday of
// March at 02:00 to the last Sunday of October at 03:00), Sydney (south of the equator) and
// India (five and a half hours ahead, no daylight saving).
TIME_ZONE_INFORMATION Zone(LONG bias, SYSTEMTIME standard = {}, SYSTEMTIME daylight = {}) {
    TIME_ZONE_INFORMATION zone{};
    zone.Bias = bias;
    zone.StandardDate = standard;
    zone.DaylightDate = daylight;
    zone.DaylightBias = standard.wMonth ? -60 : 0;
    return zone;
}
const TIME_ZONE_INFORMATION kEurope = Zone(-60, {0, 10, 0, 5, 3, 0, 0, 0}, {0, 3, 0, 5, 2, 0, 0, 0});
const TIME_ZONE_INFORMATION kSydney = Zone(-600, {0, 4, 0, 1, 3, 0, 0, 0}, {0, 10, 0, 1, 2, 0, 0, 0});
const TIME_ZONE_INFORMATION kIndia = Zone(-330);

TEST(MomentCalendar, CivilTimesAndZoneClocksAgreeWithTheSystems) {
    for (Moment moment = Utc(1601, 1, 1); moment < Utc(9999, 12, 31); moment += 37 * kOneDay + 3'601 * kOneSecond) {
        const FILETIME file{static_cast<DWORD>(moment), static_cast<DWORD>(moment >> 32)};
        SYSTEMTIME system{};
        ASSERT_TRUE(FileTimeToSystemTime(&file, &system));
        const CivilTime civil = CivilOf(moment);
        ASSERT_EQ(
            std::vector<int>({civil.year, civil.month, civil.day, civil.hour, civil.minute, civil.second}),
            std::vector<int>({system.wYear, system.wMonth, system.wDay, system.wHour, system.wMinute, system.wSecond}));
        ASSERT_EQ(MomentOfCivil(civil), moment / kOneSecond * kOneSecond);
    }

    // Half past each hour of two years, clear of the moments the clocks change.
    for (const TIME_ZONE_INFORMATION& zone : {kEurope, kSydney, kIndia}) {
        const ZoneClock clock(zone);
        for (Moment utc = Utc(2026, 1, 1, 0, 30); utc < Utc(2028, 1, 1); utc += kOneHour) {
            const FILETIME file{static_cast<DWORD>(utc), static_cast<DWORD>(utc >> 32)};
            SYSTEMTIME universal{}, local{};
            FileTimeToSystemTime(&file, &universal);
            ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(&zone, &universal, &local));
            ASSERT_EQ(clock.Local(utc), Utc(local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute))
                << zone.Bias << " at " << TimeText(utc);
            // Back again, but for the hours next to a change of the clock.
            if (clock.Local(utc + kOneHour) - clock.Local(utc - kOneHour) == 2 * kOneHour) {
                ASSERT_EQ(clock.Utc(clock.Local(utc)), utc) << TimeText(utc);
            }
        }
    }
    // Where the clock skips an hour, the skipped time is when it skipped.
    EXPECT_EQ(ZoneClock(kEurope).Utc(Utc(2026, 3, 29, 2, 0)), Utc(2026, 3, 29, 1, 0));
}

TEST(JournalLine, EveryKindOfLineReadsBackAsWritten) {
    const Moment time = Utc(2026, 12, 9, 2, 59, 5);
    Event failed{time, 4242, EventKind::Failed, Cause::Start, {}, {}, L"Le service n'est pas installé.\r\nЁ 日本 ✓"};
    const std::vector<Event> events = {
        {time, 4242, EventKind::Watch, Cause::Start},
        {time, 4242, EventKind::Watch, Cause::Resume},
        {time, 0xFFFF'FFFF, EventKind::Watching, Cause::None},
        {time, 1, EventKind::Up, Cause::KvZtl, Utc(2026, 12, 8, 21, 3, 11)},
        {time, 1, EventKind::Up, Cause::Service},
        {time, 1, EventKind::Up, Cause::Found, Utc(1999, 2, 28)},
        {time, 1, EventKind::Down, Cause::Asked},
        {time, 1, EventKind::Down, Cause::Service},
        {time, 1, EventKind::Down, Cause::Exited, {}, 0xC000'0005},
        {time, 1, EventKind::Down, Cause::Exited, {}, 0},
        {time, 1, EventKind::Down, Cause::Exited},
        {time, 1, EventKind::Down, Cause::Vanished},
        {time, 1, EventKind::Down, Cause::NotRunning},
        failed,
        {time, 1, EventKind::Failed, Cause::Stop},
        {time, 1, EventKind::Unwatch, Cause::Exit},
        {time, 1, EventKind::Unwatch, Cause::Logoff},
        {time, 1, EventKind::Unwatch, Cause::Shutdown},
        {time, 1, EventKind::Unwatch, Cause::Sleep},
    };
    for (const Event& event : events) {
        const std::string line = FormatLine(event);
        ASSERT_EQ(line.find('\n'), line.size() - 1) << line;
        const std::optional<Event> read = ParseLine(line.substr(0, line.size() - 1) + "\r");
        ASSERT_TRUE(read) << line;
        EXPECT_EQ(std::make_tuple(read->time, read->writer, read->kind, read->cause, read->since, read->exitCode),
                  std::make_tuple(event.time, event.writer, event.kind, event.cause, event.since, event.exitCode))
            << line;
    }
    EXPECT_EQ(ParseLine(FormatLine(failed))->text, L"Le service n'est pas installé.  Ё 日本 ✓");
    EXPECT_FALSE(ParseLine("2026-12-09T02:59:05Z 1 failed start two\rlines"));
    EXPECT_EQ(ParseLine("2026-12-09T02:59:05Z 4242 failed stop  two  spaces ")->text, L" two  spaces ");

    // Words too long for a line are cut between characters, and the line still reads.
    failed.text = std::wstring(5000, L'€');
    const std::string line = FormatLine(failed);
    EXPECT_LE(line.size(), kMaxLineBytes);
    ASSERT_TRUE(ParseLine(std::string_view(line).substr(0, line.size() - 1)));
}

TEST(JournalLine, RejectsEveryLineThatDoesNotFit) {
    const std::string tooLong = "2026-12-09T02:59:05Z 1 failed start " + std::string(kMaxLineBytes, 'x');
    for (const std::string& line : std::vector<std::string>{"",
                                                            "2026-12-09T02:59:05Z",
                                                            "2026-12-09T02:59:05Z 1",
                                                            "2026-02-29T02:59:05Z 1 watching",
                                                            "2026-12-09T24:00:00Z 1 watching",
                                                            "2026-12-09T02:59:60Z 1 watching",
                                                            "2026-12-09 02:59:05Z 1 watching",
                                                            "2026-12-09T02:59:05 1 watching",
                                                            "1600-12-31T23:59:59Z 1 watching",
                                                            "2026-12-9T02:59:05Z 1 watching",
                                                            "2026-12-09T02:59:05Z 4294967296 watching",
                                                            "2026-12-09T02:59:05Z -1 watching",
                                                            "2026-12-09T02:59:05Z 1 Watching",
                                                            "2026-12-09T02:59:05Z 1 watching ",
                                                            "2026-12-09T02:59:05Z  1 watching",
                                                            "2026-12-09T02:59:05Z 1 watching now",
                                                            "2026-12-09T02:59:05Z 1 watch",
                                                            "2026-12-09T02:59:05Z 1 watch stop",
                                                            "2026-12-09T02:59:05Z 1 up asked",
                                                            "2026-12-09T02:59:05Z 1 up found ",
                                                            "2026-12-09T02:59:05Z 1 up found 2026-12-32T00:00:00Z",
                                                            "2026-12-09T02:59:05Z 1 up found 2026-12-08T21:03:11Z x",
                                                            "2026-12-09T02:59:05Z 1 down vanished 0x00000001",
                                                            "2026-12-09T02:59:05Z 1 down exited 0x",
                                                            "2026-12-09T02:59:05Z 1 down exited 0x123456789",
                                                            "2026-12-09T02:59:05Z 1 down exited 0xG",
                                                            "2026-12-09T02:59:05Z 1 down exited 5",
                                                            "2026-12-09T02:59:05Z 1 down not-running\r\r",
                                                            "2026-12-09T02:59:05Z 1 failed start \xC3(",
                                                            "2026-12-09T02:59:05Z 1 unwatch crash",
                                                            tooLong}) {
        EXPECT_FALSE(ParseLine(line)) << line;
    }
}

class JournalTest : public ::testing::Test {
protected:
    static std::wstring TestName() {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        return std::wstring(name.begin(), name.end());
    }
    const std::wstring folder = test::TempFolder(L"journal-" + TestName());
    Journal journal{folder};

    static void WriteFile(const std::wstring& path, const std::string& text) {
        const UniqueHandle file = AdoptFileHandle(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    }
    static bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    // Every event read, and what was skipped, by file name and line number.
    std::vector<Event> events;
    std::vector<std::pair<std::wstring, std::uint64_t>> skipped;
    JournalReading ReadAll(const Journal& from, Moment now) {
        events.clear();
        skipped.clear();
        JournalReading reading = from.Read(now, [&](const Event& event) { events.push_back(event); });
        for (const SkippedLine& line : reading.firstSkipped) {
            skipped.emplace_back(line.file.substr(line.file.rfind(L'\\') + 1), line.line);
        }
        return reading;
    }
    std::vector<Moment> Times() const {
        std::vector<Moment> times;
        for (const Event& event : events) times.push_back(event.time);
        return times;
    }
};

using Skips = std::vector<std::pair<std::wstring, std::uint64_t>>;

TEST_F(JournalTest, ATornLastLineIsSkippedAndTheNextLineStartsOnALineOfItsOwn) {
    const Moment now = Utc(2026, 12, 9, 4);
    WriteFile(journal.MonthPath(now),
              "2026-12-09T02:59:05Z 7 watch start\n"
              "2026-12-09T02:59:05Z 7 up found 2026-12-08T21:03:11Z\n"
              "2026-12-09T03:10:00Z 7 down exited 0xC00");
    JournalReading reading = ReadAll(journal, now);
    EXPECT_EQ(events.size(), 2u);
    EXPECT_EQ(skipped, (Skips{{L"tracker-2026-12.log", 3}}));
    EXPECT_EQ(reading.firstSkipped.at(0).reason, SkipReason::Torn);

    ASSERT_TRUE(journal.Append({now, 8, EventKind::Down, Cause::Vanished}));
    reading = ReadAll(journal, now);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(std::make_tuple(events[2].writer, events[2].cause), std::make_tuple(DWORD{8}, Cause::Vanished));
    EXPECT_EQ(reading.firstSkipped.at(0).reason, SkipReason::Garbled) << "the torn line, mended, stays unread";
}

TEST_F(JournalTest, SkipsGarbledFutureAndOverlongLinesReadsOnAndKeepsTheOrderOfTheFile) {
    const Moment now = Utc(2026, 12, 9, 12);
    WriteFile(journal.MonthPath(now),
              "\xEF\xBB\xBF"
              "2026-12-09T10:00:00Z 7 watch start\r\n"
              "a note of my own\n"
              "\n"
              "2026-12-09T10:00:00Z 7 up found\n" +
                  std::string(1'500'000, 'x') +
                  "\n"
                  "2026-12-09T12:06:00Z 7 watching\n"
                  "2026-12-09T12:04:59Z 7 watching\n"
                  "2026-12-09T09:00:00Z 7 down exited 0x1\n"
                  "2026-12-09T10:30:00Z 7 watching\n"
                  "2026-12-09T10:30:00Z 7 watchin\n");
    const JournalReading reading = ReadAll(journal, now);
    EXPECT_EQ(Times(), (std::vector<Moment>{Utc(2026, 12, 9, 10), Utc(2026, 12, 9, 10), Utc(2026, 12, 9, 12, 4, 59),
                                            Utc(2026, 12, 9, 12, 4, 59), Utc(2026, 12, 9, 12, 4, 59)}))
        << "a clock set back counts at the time before";
    EXPECT_EQ(events.at(3).exitCode, 1u);
    const std::wstring file = L"tracker-2026-12.log";
    EXPECT_EQ(skipped, (Skips{{file, 2}, {file, 5}, {file, 6}, {file, 10}}));
    ASSERT_EQ(reading.skipped, 4u);
    EXPECT_EQ(reading.events, 5u);
    EXPECT_EQ(reading.firstSkipped[1].reason, SkipReason::TooLong);
    EXPECT_EQ(reading.firstSkipped[2].reason, SkipReason::Future);
}

TEST_F(JournalTest, RollsOverByMonthAndKeepsThirteenMonthsBeforeTheCurrentOne) {
    const Moment december = Utc(2026, 12, 31, 23, 59, 59), january = Utc(2027, 1, 1);
    for (const Moment month : {Utc(2025, 10, 31), Utc(2025, 11, 1), Utc(2025, 12, 1)}) {
        WriteFile(journal.MonthPath(month), "2025-10-31T00:00:00Z 1 watching\n");
    }
    WriteFile(folder + L"\\notes.txt", "mine");
    ASSERT_TRUE(journal.Append({december, 1, EventKind::Watch, Cause::Start}));
    EXPECT_FALSE(Exists(journal.MonthPath(Utc(2025, 10, 1))));
    EXPECT_TRUE(Exists(journal.MonthPath(Utc(2025, 11, 1))));

    ASSERT_TRUE(journal.Append({january, 1, EventKind::Watching}));
    // Set back across the month's end: still after January's lines, in January's file.
    ASSERT_TRUE(journal.Append({december, 1, EventKind::Unwatch, Cause::Exit}));
    EXPECT_FALSE(Exists(journal.MonthPath(Utc(2025, 11, 1))));
    EXPECT_TRUE(Exists(journal.MonthPath(Utc(2025, 12, 1))));

    ReadAll(journal, january);
    EXPECT_EQ(Times(), (std::vector<Moment>{Utc(2025, 10, 31), december, january, january}));
    EXPECT_EQ(events.back().kind, EventKind::Unwatch);

    EXPECT_TRUE(journal.Clear());
    ReadAll(journal, january);
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(Exists(folder + L"\\notes.txt"));
}

TEST_F(JournalTest, TwoWritersAppendingAtOnceNeverInterleaveWithinALine) {
    constexpr int kLines = 300;
    const Moment start = Utc(2026, 12, 9);
    const auto write = [&](DWORD writer) {
        Journal own(folder);
        for (int i = 0; i < kLines; ++i) {
            const std::wstring words = std::to_wstring(i) + L" " + std::wstring(500 + writer * 200, L'a');
            EXPECT_TRUE(own.Append(
                {start + static_cast<Moment>(i) * kOneSecond, writer, EventKind::Failed, Cause::Start, {}, {}, words}));
        }
    };
    std::thread first(write, 1), second(write, 2);
    first.join();
    second.join();

    const JournalReading reading = ReadAll(journal, start + kOneDay);
    EXPECT_EQ(reading.skipped, 0u);
    ASSERT_EQ(events.size(), 2u * kLines);
    int next[3] = {};
    for (const Event& event : events) {
        ASSERT_TRUE(event.writer == 1 || event.writer == 2);
        EXPECT_EQ(event.text.substr(0, event.text.find(L' ')), std::to_wstring(next[event.writer]++));
    }
}

TEST_F(JournalTest, KeepsWhatItCannotWriteAndWritesItAllOnceItCan) {
    const std::wstring blocker = folder + L"\\blocker";
    Journal blocked(blocker + L"\\KV-ZTL");
    blocked.Clear();  // what an earlier run left
    RemoveDirectoryW(blocked.folder().c_str());
    RemoveDirectoryW(blocker.c_str());
    WriteFile(blocker, "a file where the folder's parent should be");
    const Moment now = Utc(2026, 12, 9, 10);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(blocked.Append({now + static_cast<Moment>(i) * kOneMinute, 1, EventKind::Watching}));
    }
    EXPECT_EQ(blocked.Pending(), 3u);
    ASSERT_TRUE(blocked.Failure());
    EXPECT_EQ(blocked.Failure()->path, blocked.MonthPath(now));
    EXPECT_NE(blocked.Failure()->error, DWORD{ERROR_SUCCESS});

    ASSERT_TRUE(DeleteFileW(blocker.c_str()));
    ASSERT_TRUE(CreateDirectoryW(blocker.c_str(), nullptr));
    EXPECT_TRUE(blocked.Append({now + 3 * kOneMinute, 1, EventKind::Unwatch, Cause::Exit}));
    EXPECT_EQ(blocked.Pending(), 0u);
    EXPECT_FALSE(blocked.Failure());
    ReadAll(blocked, now + kOneHour);
    EXPECT_EQ(Times(), (std::vector<Moment>{now, now + kOneMinute, now + 2 * kOneMinute, now + 3 * kOneMinute}));
}

TEST_F(JournalTest, LivesInTheUsersLocalApplicationData) {
    wchar_t local[MAX_PATH] = L"";
    ASSERT_GT(GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH), 0u);
    EXPECT_EQ(CompareStringOrdinal(Journal::DefaultFolder().c_str(), -1, (std::wstring(local) + L"\\KV-ZTL").c_str(),
                                   -1, TRUE),
              CSTR_EQUAL)
        << Journal::DefaultFolder();
}

}  // namespace
}  // namespace kvztl
