// The tracker's record: its calendar against the system's, and lines written and read back.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "record/calendar.h"
#include "record/record_event.h"

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

}  // namespace
}  // namespace kvztl
