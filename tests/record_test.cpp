// The tracker's record: its calendar against the system's, lines written and read back, the
// journal on disk under what befalls files (torn and hand-edited lines, clocks set back, a
// month's turn, two writers at once, a folder that cannot be made), the timeline of up, down
// and unknown, and its figures at their edges.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/system_message.h"
#include "record/figures.h"
#include "record/journal.h"
#include "record/timeline.h"
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
const TIME_ZONE_INFORMATION kUtc = Zone(0);

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

TEST_F(JournalTest, AClockSetFarAheadOrAFileDeletedMeanwhileLosesNothing) {
    // A clock set years ahead for a moment while KV-ZTL runs: the months before stay, and the
    // lines after it, the clock put right, go to their own month's file.
    const Moment december = Utc(2026, 12, 9), future = Utc(2030, 6, 1);
    for (const Moment month : {Utc(2026, 1, 1), Utc(2026, 11, 1)}) {
        WriteFile(journal.MonthPath(month), "2026-01-01T00:00:00Z 1 watching\n");
    }
    ASSERT_TRUE(journal.Append({december, 1, EventKind::Watch, Cause::Start}));
    ASSERT_TRUE(journal.Append({future, 1, EventKind::Watching}));
    EXPECT_TRUE(Exists(journal.MonthPath(Utc(2026, 1, 1)))) << "taken by a clock set ahead";
    ASSERT_TRUE(journal.Append({december, 1, EventKind::Unwatch, Cause::Exit}));
    ReadAll(journal, december + kOneHour);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, EventKind::Unwatch) << "written where it is read";

    // Another session clears the record while this one holds the month's file open: what this
    // one writes next is there to be read.
    Journal other(folder);
    ASSERT_TRUE(other.Append({december + kOneMinute, 2, EventKind::Watching}));
    ASSERT_TRUE(journal.Clear());
    ASSERT_TRUE(other.Append({december + 2 * kOneMinute, 2, EventKind::Unwatch, Cause::Exit}));
    ReadAll(journal, december + kOneHour);
    ASSERT_EQ(events.size(), 1u) << "written into a deleted file";
    EXPECT_EQ(events[0].writer, 2u);
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
    // As the shell knows the folder (FOLDERID_LocalAppData), not roaming.
    static constexpr GUID kLocalAppData = {
        0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};
    PWSTR local = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(kLocalAppData, 0, nullptr, &local)));
    const std::wstring expected = std::wstring(local) + L"\\KV-ZTL";
    CoTaskMemFree(local);
    EXPECT_EQ(CompareStringOrdinal(Journal::DefaultFolder().c_str(), -1, expected.c_str(), -1, TRUE), CSTR_EQUAL)
        << Journal::DefaultFolder();
}

// Lines of one day, "HH:MM:SS <writer> <what>...", fed to a timeline.
Moment Today(int hour, int minute = 0, int second = 0) {
    return Utc(2026, 12, 9, static_cast<WORD>(hour), static_cast<WORD>(minute), static_cast<WORD>(second));
}
void Feed(Timeline& timeline, std::initializer_list<const char*> lines) {
    for (const char* line : lines) {
        const std::optional<Event> event =
            ParseLine(std::string("2026-12-09T") + std::string(line, 8) + "Z" + (line + 8));
        ASSERT_TRUE(event) << line;
        timeline.Add(*event);
    }
}
// A writer's heartbeats, every 4 minutes within [from, to).
void Heartbeats(Timeline& timeline, DWORD writer, Moment from, Moment to) {
    for (Moment at = from; at < to; at += 4 * kOneMinute) timeline.Add({at, writer, EventKind::Watching});
}

struct Expected {
    PeriodState state;
    Moment start, end;
    Cause cause;
    friend bool operator==(const Expected&, const Expected&) = default;
    friend void PrintTo(const Expected& e, std::ostream* out) {
        *out << "{" << static_cast<int>(e.state) << " " << TimeText(e.start) << " " << TimeText(e.end) << " "
             << static_cast<int>(e.cause) << "}";
    }
};
std::vector<Expected> Shape(const std::vector<Period>& periods) {
    std::vector<Expected> shape;
    shape.reserve(periods.size());
    for (const Period& p : periods) shape.push_back({p.state, p.start, p.end, p.cause});
    return shape;
}
constexpr PeriodState kUp = PeriodState::Up, kDown = PeriodState::Down, kUnknown = PeriodState::Unknown;

TEST(Timeline, UpFromItsProcessStartDownWithItsExitCodeAndUnknownWhileNobodyWatches) {
    Timeline timeline;
    Feed(timeline, {"10:00:00 1 watch start", "10:00:00 1 down not-running"});
    Heartbeats(timeline, 1, Today(10, 4), Today(10, 30));
    Feed(timeline, {"10:30:00 1 up kv-ztl 2026-12-09T10:29:58Z"});
    Heartbeats(timeline, 1, Today(10, 34), Today(11));
    Feed(timeline, {"11:00:00 1 down exited 0xC0000005", "11:05:00 1 failed start Access is denied.",
                    "10:50:00 1 failed start Still denied."});
    Heartbeats(timeline, 1, Today(11, 8), Today(12));
    Feed(timeline, {"12:00:00 1 unwatch exit"});
    std::vector<Period> periods = timeline.Periods(Today(13));
    EXPECT_EQ(Shape(periods), (std::vector<Expected>{{kDown, Today(10), Today(10, 29, 58), Cause::NotRunning},
                                                     {kUp, Today(10, 29, 58), Today(11), Cause::KvZtl},
                                                     {kDown, Today(11), Today(12), Cause::Exited}}))
        << "nothing past the last line while nobody watches";
    EXPECT_EQ(periods[2].exitCode, 0xC000'0005u);
    EXPECT_EQ(timeline.Words(periods[2]), L"Still denied.") << "the last failure, its time set back";
    EXPECT_EQ(timeline.Words(periods[1]), L"");

    Feed(timeline, {"13:00:00 2 watch start", "13:00:01 2 down not-running"});
    periods = timeline.Periods(Today(13, 5));
    EXPECT_EQ(Shape(periods).back(), (Expected{kDown, Today(13, 0, 1), Today(13, 5), Cause::NotRunning}))
        << "the open period ends now while its writer watches";
    EXPECT_EQ(Shape(periods)[3], (Expected{kUnknown, Today(12), Today(13, 0, 1), Cause::Exit}));
    EXPECT_EQ(Shape(timeline.Periods(Today(13, 11))).back().end, Today(13, 0, 1)) << "silent since";
}

TEST(Timeline, ACrashOrAReusedIdTurnsOnlyTheSilenceIntoUnknown) {
    Timeline timeline;
    Feed(timeline, {"08:00:00 1 watch start", "08:00:00 1 up found 2026-12-09T07:00:00Z"});
    Heartbeats(timeline, 1, Today(8, 4), Today(8, 30));
    // Crashed after 08:28; a new KV-ZTL finds another process running since 08:59.
    Feed(timeline, {"09:00:00 2 watch start", "09:00:00 2 up found 2026-12-09T08:59:00Z"});
    // Writer 2's id comes back after a reboot (09:04) while still watching: its watch ended.
    Feed(timeline, {"09:04:00 2 watching", "09:07:00 2 watch start", "09:07:00 2 down not-running"});
    const std::vector<Period> periods = timeline.Periods(Today(9, 10));
    EXPECT_EQ(Shape(periods), (std::vector<Expected>{{kUp, Today(8), Today(8, 28), Cause::Found},
                                                     {kUnknown, Today(8, 28), Today(8, 59), Cause::Silent},
                                                     {kUp, Today(8, 59), Today(9, 4), Cause::Found},
                                                     {kUnknown, Today(9, 4), Today(9, 7), Cause::Silent},
                                                     {kDown, Today(9, 7), Today(9, 10), Cause::NotRunning}}));
    EXPECT_EQ(FiguresOf(periods, Today(8), Today(9, 10)).unknown, 34 * kOneMinute);

    // A writer back from its own silence (a suspend nobody told) carries on as it knew.
    Heartbeats(timeline, 2, Today(9, 8), Today(9, 20));
    Feed(timeline, {"10:00:00 2 watching"});
    EXPECT_EQ(Shape(timeline.Periods(Today(10, 1))).back(),
              (Expected{kDown, Today(10), Today(10, 1), Cause::NotRunning}));
    EXPECT_EQ(Shape(timeline.Periods(Today(10, 1))).end()[-2],
              (Expected{kUnknown, Today(9, 16), Today(10), Cause::Silent}));
}

TEST(Timeline, TwoWritersWatchTogetherAndTellOneChangeOnce) {
    Timeline timeline;
    Feed(timeline, {"10:00:00 1 watch start", "10:00:00 1 up found 2026-12-09T09:00:00Z"});
    Heartbeats(timeline, 1, Today(10, 4), Today(10, 30));
    Feed(timeline, {"10:30:00 2 watch start", "10:30:00 2 up found 2026-12-09T09:00:00Z",
                    "10:30:01 2 up kv-ztl 2026-12-09T09:00:00Z"});
    for (Moment at = Today(10, 32); at < Today(11, 30); at += 4 * kOneMinute) {
        timeline.Add({at, 1, EventKind::Watching});
        timeline.Add({at + 2 * kOneMinute, 2, EventKind::Watching});
    }
    Feed(timeline, {"11:30:00 1 down vanished", "11:30:01 2 down exited 0x00000001", "11:31:00 1 unwatch logoff"});
    Heartbeats(timeline, 2, Today(11, 32), Today(12));
    Feed(timeline, {"12:00:00 2 unwatch shutdown"});

    const std::vector<Period> periods = timeline.Periods(Today(14));
    EXPECT_EQ(Shape(periods), (std::vector<Expected>{{kUp, Today(10), Today(11, 30), Cause::KvZtl},
                                                     {kDown, Today(11, 30), Today(12), Cause::Exited}}));
    EXPECT_EQ(periods[1].exitCode, 1u);
    const Figures figures = FiguresOf(periods, Today(10), Today(12));
    EXPECT_EQ(figures.watchedShare, 1.0);
    EXPECT_EQ(figures.unaskedStops, 1);
}

TEST(Timeline, AStopAndAStartWithinOneSecondStillCountAsAStop) {
    Timeline timeline;
    Feed(timeline, {"10:00:00 1 watch start", "10:00:00 1 up found", "10:05:00 1 down exited 0x00000001",
                    "10:05:00 1 up kv-ztl"});
    const std::vector<Period> periods = timeline.Periods(Today(10, 6));
    EXPECT_EQ(Shape(periods), (std::vector<Expected>{{kUp, Today(10), Today(10, 5), Cause::Found},
                                                     {kDown, Today(10, 5), Today(10, 5), Cause::Exited},
                                                     {kUp, Today(10, 5), Today(10, 6), Cause::KvZtl}}));
    EXPECT_EQ(FiguresOf(periods, Today(10), Today(10, 6)).unaskedStops, 1);
}

TEST(Timeline, TheSameProcessFoundAfterAGapMakesTheGapUp) {
    const auto after = [](const char* gap, const char* found) {
        Timeline timeline;
        Feed(timeline, {"08:00:00 1 watch start", "08:00:00 1 up found 2026-12-09T07:00:00Z"});
        Heartbeats(timeline, 1, Today(8, 4), Today(8, 30));
        Feed(timeline, {gap, "09:30:00 2 watch start", found});
        return Shape(timeline.Periods(Today(9, 31)));
    };
    EXPECT_EQ(after("08:30:00 1 unwatch exit", "09:30:01 2 up found 2026-12-09T07:00:00Z"),
              (std::vector<Expected>{{kUp, Today(8), Today(9, 31), Cause::Found}}));
    EXPECT_EQ(after("08:30:00 1 unwatch exit", "09:30:01 2 up service 2026-12-09T09:10:00Z"),
              (std::vector<Expected>{{kUp, Today(8), Today(8, 30), Cause::Found},
                                     {kUnknown, Today(8, 30), Today(9, 10), Cause::Exit},
                                     {kUp, Today(9, 10), Today(9, 31), Cause::Service}}));
    // Started before the last line that knew the state, and not the same: up from its line.
    EXPECT_EQ(after("08:30:00 1 unwatch exit", "09:30:01 2 up found 2026-12-09T07:30:00Z").back(),
              (Expected{kUp, Today(9, 30, 1), Today(9, 31), Cause::Found}));
    // The machine asleep meanwhile: the same process served nobody, and the gap stays unknown.
    EXPECT_EQ(after("08:30:00 1 unwatch sleep", "09:30:01 2 up found 2026-12-09T07:00:00Z"),
              (std::vector<Expected>{{kUp, Today(8), Today(8, 30), Cause::Found},
                                     {kUnknown, Today(8, 30), Today(9, 30, 1), Cause::Sleep},
                                     {kUp, Today(9, 30, 1), Today(9, 31), Cause::Found}}));
}

// Periods laid end to end from `start`: a state, a cause and a length each.
std::vector<Period> Periods(Moment start, std::initializer_list<std::tuple<PeriodState, Cause, Moment>> spans) {
    std::vector<Period> periods;
    for (const auto& [state, cause, length] : spans) {
        periods.push_back({start, start + length, state, cause, std::nullopt, 0});
        start += length;
    }
    return periods;
}

TEST(RecordFigures, RunsAcrossMidnightAndAMonthsEndWithUnknownAtBothEnds) {
    const std::vector<Period> periods = Periods(
        Utc(2026, 1, 31, 20),
        {{kDown, Cause::Exited, 2 * kOneHour}, {kUp, Cause::Found, 5 * kOneHour}, {kDown, Cause::Asked, kOneHour}});
    Figures figures = FiguresOf(periods, Utc(2026, 1, 31), Utc(2026, 2, 2));
    EXPECT_EQ(std::make_tuple(figures.up, figures.down, figures.unknown, figures.longestRun, figures.unaskedStops),
              std::make_tuple(5 * kOneHour, 3 * kOneHour, 40 * kOneHour, 5 * kOneHour, 1));
    EXPECT_EQ(figures.uptimeShare, 5.0 / 8);
    EXPECT_EQ(figures.watchedShare, 8.0 / 48);

    figures = FiguresOf(periods, Utc(2026, 2, 1), Utc(2026, 2, 1, 2));
    EXPECT_EQ(std::make_tuple(figures.up, figures.longestRun, figures.unaskedStops),
              std::make_tuple(2 * kOneHour, 2 * kOneHour, 0));
    figures = FiguresOf(periods, Utc(2026, 1, 30), Utc(2026, 1, 31));
    EXPECT_EQ(figures.uptimeShare, std::nullopt);
    EXPECT_EQ(figures.unknown, kOneDay);

    // Today's bar counts up to now.
    const std::vector<Bar> bars = DayBars(periods, Utc(2026, 2, 1, 12), 3, kUtc);
    ASSERT_EQ(bars.size(), 3u);
    EXPECT_EQ(std::make_tuple(bars[0].start, bars[0].unknown), std::make_tuple(Utc(2026, 1, 30), kOneDay));
    EXPECT_EQ(std::make_tuple(bars[1].up, bars[1].down, bars[1].unknown),
              std::make_tuple(2 * kOneHour, 2 * kOneHour, 20 * kOneHour));
    EXPECT_EQ(std::make_tuple(bars[2].up, bars[2].down, bars[2].unknown, bars[2].end),
              std::make_tuple(3 * kOneHour, kOneHour, 8 * kOneHour, Utc(2026, 2, 2)));
}

TEST(RecordFigures, DaysAndHoursFollowTheZonesClock) {
    const std::vector<Period> up = Periods(Utc(2026, 3, 1), {{kUp, Cause::Found, 300 * kOneDay}});
    // Europe's 29 March 2026 has 23 hours, its 25 October 25; today counts from local
    // midnight (22:00 UTC in summer, 23:00 in winter) up to now.
    const struct {
        Moment now, yesterday, today;
    } days[] = {{Utc(2026, 3, 30, 12), 23 * kOneHour, 14 * kOneHour},
                {Utc(2026, 10, 26, 12), 25 * kOneHour, 13 * kOneHour}};
    for (const auto& day : days) {
        const std::vector<Bar> bars = DayBars(up, day.now, 3, kEurope);
        ASSERT_EQ(bars.size(), 3u);
        EXPECT_EQ(bars[1].end - bars[1].start, day.yesterday);
        EXPECT_EQ(bars[1].up, day.yesterday);
        EXPECT_EQ(bars[0].end, bars[1].start);
        EXPECT_EQ(bars[2].up, day.today);
    }
    const std::vector<Bar> hours = HourBars(up, Utc(2026, 6, 1, 12, 10), kIndia);
    ASSERT_EQ(hours.size(), 24u);
    EXPECT_EQ(hours.back().start, Utc(2026, 6, 1, 11, 30));
    EXPECT_EQ(hours.back().up, 40 * kOneMinute);
    EXPECT_EQ(hours.front().start, Utc(2026, 5, 31, 12, 30));
}

// The fields of each line of a CSV text, read by RFC 4180.
std::vector<std::vector<std::string>> ReadCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
            rows.back().back() += text[++i];
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            rows.back().emplace_back();
        } else if (!quoted && c == '\r' && text[i + 1] == '\n') {
            rows.emplace_back(1);
            ++i;
        } else {
            rows.back().back() += c;
        }
    }
    rows.pop_back();  // after the last line's end
    return rows;
}

using test::Utf8;

TEST(RecordFigures, ListsThePeriodsNewestFirstForASpreadsheet) {
    // Across the night Europe's clocks go forward; then a stop with a code whose words have a
    // comma, for CSV to quote (WSANO_DATA: "...valid, ...").
    constexpr DWORD kCommaCode = 11004;
    ASSERT_NE(ExitCodeText(kCommaCode).find(L','), std::wstring::npos) << "no comma to quote";
    std::vector<Period> periods =
        Periods(Utc(2026, 3, 28, 22, 56, 55), {{kUp, Cause::KvZtl, 27 * kOneHour + 3 * kOneMinute + 5 * kOneSecond},
                                               {kDown, Cause::Exited, 90 * kOneSecond}});
    periods[1].exitCode = kCommaCode;
    const std::vector<std::vector<std::string>> csv = ReadCsv(PeriodsCsv(periods, kEurope));
    const std::vector<std::vector<std::string>> expected = {
        {"Start", "End", "Duration", "State", "Cause", "Exit code"},
        {"2026-03-30 04:00:00", "2026-03-30 04:01:30", "0:01:30", "Down", "exited", Utf8(ExitCodeText(kCommaCode))},
        {"2026-03-28 23:56:55", "2026-03-30 04:00:00", "27:03:05", "Up", "started by KV-ZTL", ""},
    };
    EXPECT_EQ(csv, expected);

    // The clipboard's text has the same fields, between tabs.
    const std::wstring text = PeriodsText(periods, kEurope);
    EXPECT_EQ(text.substr(0, text.find(L"\r\n")), L"Start\tEnd\tDuration\tState\tCause\tExit code");
    EXPECT_NE(text.find(L"\r\n2026-03-30 04:00:00\t2026-03-30 04:01:30\t0:01:30\tDown\texited\t" +
                        ExitCodeText(kCommaCode) + L"\r\n"),
              std::wstring::npos);
}

}  // namespace
}  // namespace kvztl
