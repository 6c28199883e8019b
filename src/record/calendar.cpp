#include "record/calendar.h"

namespace kvztl {
namespace {

// Days from 1601-01-01 to 1970-01-01, the epoch of the day counts below.
constexpr long long kDays1601To1970 = 134'774;

// Days since 1970-01-01 of a civil date, and the reverse (H. Hinnant's algorithms).
long long DaysFromCivil(long long year, int month, int day) noexcept {
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146'097 + dayOfEra - 719'468;
}

void CivilFromDays(long long days, CivilTime& time) noexcept {
    days += 719'468;
    const long long era = (days >= 0 ? days : days - 146'096) / 146'097;
    const long long dayOfEra = days - era * 146'097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long shiftedMonth = (5 * dayOfYear + 2) / 153;
    time.day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    time.month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    time.year = static_cast<int>(yearOfEra + era * 400 + (time.month <= 2 ? 1 : 0));
}

bool IsLeapYear(int year) noexcept { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) noexcept {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

Moment MomentOfDay(int year, int month, int day) noexcept {
    return static_cast<Moment>(DaysFromCivil(year, month, day) + kDays1601To1970) * kOneDay;
}

// Adds a signed number of minutes (a bias) to a moment.
Moment ShiftByMinutes(Moment moment, LONG minutes) noexcept {
    return moment + static_cast<Moment>(static_cast<long long>(minutes) * static_cast<long long>(kOneMinute));
}

// The local moment in `year` at which a rule of TIME_ZONE_INFORMATION changes the clock:
// "the wDay-th wDayOfWeek of wMonth" (wDay 5: the last), or a fixed date where wYear is set.
std::optional<Moment> ChangeIn(const SYSTEMTIME& rule, int year) noexcept {
    if (rule.wMonth < 1 || rule.wMonth > 12) return std::nullopt;
    const int month = rule.wMonth;
    int day = rule.wDay;
    if (rule.wYear != 0) {
        if (rule.wYear != year || day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
    } else {
        // 1601-01-01 was a Monday; weekdays count from Sunday as wDayOfWeek does.
        const long long first = DaysFromCivil(year, month, 1) + kDays1601To1970;
        const int firstWeekday = static_cast<int>((first + 1) % 7);
        day = 1 + (rule.wDayOfWeek - firstWeekday + 7) % 7 + (rule.wDay - 1) * 7;
        while (day > DaysInMonth(year, month)) day -= 7;
    }
    return MomentOfDay(year, month, day) + rule.wHour * kOneHour + rule.wMinute * kOneMinute +
           rule.wSecond * kOneSecond + rule.wMilliseconds * Moment{10'000};
}

}  // namespace

std::optional<Moment> MomentOfCivil(const CivilTime& time) noexcept {
    if (time.year < 1601 || time.year > 9999 || time.month < 1 || time.month > 12 || time.day < 1 ||
        time.day > DaysInMonth(time.year, time.month) || time.hour < 0 || time.hour > 23 || time.minute < 0 ||
        time.minute > 59 || time.second < 0 || time.second > 59) {
        return std::nullopt;
    }
    return MomentOfDay(time.year, time.month, time.day) + static_cast<Moment>(time.hour) * kOneHour +
           static_cast<Moment>(time.minute) * kOneMinute + static_cast<Moment>(time.second) * kOneSecond;
}

CivilTime CivilOf(Moment moment) noexcept {
    CivilTime time;
    CivilFromDays(static_cast<long long>(moment / kOneDay) - kDays1601To1970, time);
    const auto seconds = static_cast<int>(moment % kOneDay / kOneSecond);
    time.hour = seconds / 3600;
    time.minute = seconds / 60 % 60;
    time.second = seconds % 60;
    return time;
}

bool ZoneClock::Daylight(Moment utc) const noexcept {
    if (zone_.StandardDate.wMonth == 0 || zone_.DaylightDate.wMonth == 0) return false;
    if (utc < yearFrom_ || utc >= yearTo_) {
        // Both changes fall within the year of the standard local time (no zone changes its
        // clocks around the new year).
        const int year = CivilOf(ShiftByMinutes(utc, -Bias(false))).year;
        yearFrom_ = ShiftByMinutes(MomentOfDay(year, 1, 1), Bias(false));
        yearTo_ = ShiftByMinutes(MomentOfDay(year + 1, 1, 1), Bias(false));
        // Daylight saving begins at a standard local time and ends at a daylight local time.
        const std::optional<Moment> begins = ChangeIn(zone_.DaylightDate, year);
        const std::optional<Moment> ends = ChangeIn(zone_.StandardDate, year);
        daylightFrom_ = daylightTo_ = std::nullopt;
        if (begins && ends) {
            daylightFrom_ = ShiftByMinutes(*begins, Bias(false));
            daylightTo_ = ShiftByMinutes(*ends, Bias(true));
        }
    }
    if (!daylightFrom_ || !daylightTo_) return false;
    const Moment from = *daylightFrom_, to = *daylightTo_;
    // South of the equator daylight saving spans the new year.
    return from < to ? utc >= from && utc < to : utc >= from || utc < to;
}

Moment ZoneClock::Local(Moment utc) const noexcept { return ShiftByMinutes(utc, -Bias(Daylight(utc))); }

Moment ZoneClock::Utc(Moment local) const noexcept {
    const Moment standard = ShiftByMinutes(local, Bias(false)), daylight = ShiftByMinutes(local, Bias(true));
    const bool standardShows = Local(standard) == local, daylightShows = Local(daylight) == local;
    if (standardShows && daylightShows) return standard < daylight ? standard : daylight;
    if (daylightShows) return daylight;
    return standard;
}

}  // namespace kvztl
