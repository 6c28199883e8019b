// Calendar arithmetic on moments, done here rather than by the system so that a year of the
// record is read and summed in milliseconds: UTC dates and times of day, and the wall clock
// of a time zone with its daylight-saving rule.
#pragma once

#include <windows.h>

#include <optional>

#include "platform/moment.h"

namespace kvztl {

constexpr Moment kOneSecond = 10'000'000ULL;
constexpr Moment kOneMinute = 60 * kOneSecond;
constexpr Moment kOneHour = 60 * kOneMinute;
constexpr Moment kOneDay = 24 * kOneHour;

// Writes `value` in decimal, at least `width` digits, at `out`; returns the end.
template <typename Char>
Char* PutDigits(Char* out, unsigned long long value, int width) {
    Char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<Char>('0' + value % 10);
        value /= 10;
    } while (value != 0 || count < width);
    while (count > 0) *out++ = digits[--count];
    return out;
}

// A date and a time of day to the second, of the proleptic Gregorian calendar.
struct CivilTime {
    int year = 1601;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The moment a UTC civil time names; nothing for a date that does not exist (February 30th),
// a year outside 1601..9999 or a time of day out of range (no leap second).
std::optional<Moment> MomentOfCivil(const CivilTime& time) noexcept;
// The civil time of a moment, to the second below it.
CivilTime CivilOf(Moment moment) noexcept;

// The wall clock of one time zone as a TIME_ZONE_INFORMATION describes it (the program passes
// GetTimeZoneInformation's): its bias, and its daylight-saving dates applied to every year (a
// date with a year applies to that year alone). Local times are moments too: the moment
// whose CivilOf the clock shows. It keeps the changes of the last year it was asked about:
// one clock to a thread.
class ZoneClock {
public:
    explicit ZoneClock(const TIME_ZONE_INFORMATION& zone) noexcept : zone_(zone) {}

    // What the clock shows at `utc`.
    Moment Local(Moment utc) const noexcept;
    // When the clock shows `local`: the first time where it shows it twice (as daylight saving
    // ends), and where it skips it (as daylight saving begins) the moment it skips from, which
    // is exact when the skip begins at `local` (a zone that moves its clocks at midnight).
    Moment Utc(Moment local) const noexcept;

private:
    bool Daylight(Moment utc) const noexcept;
    // Minutes to add to local time for UTC.
    LONG Bias(bool daylight) const noexcept {
        return zone_.Bias + (daylight ? zone_.DaylightBias : zone_.StandardBias);
    }

    TIME_ZONE_INFORMATION zone_;
    // A year of standard local time, as UTC moments [yearFrom_, yearTo_), and the UTC moments
    // daylight saving begins and ends in it (none where it has none).
    mutable Moment yearFrom_ = 0, yearTo_ = 0;
    mutable std::optional<Moment> daylightFrom_, daylightTo_;
};

}  // namespace kvztl
