#include "record/figures.h"

#include <algorithm>
#include <map>

#include "platform/system_message.h"

namespace kvztl {
bool UnaskedStop(const Period& period) noexcept {
    return period.state == PeriodState::Down &&
           (period.cause == Cause::Service || period.cause == Cause::Exited || period.cause == Cause::Vanished);
}

namespace {

// The figures over [from, to), from the periods that reach into it alone.
Figures Sum(std::span<const Period> periods, Moment from, Moment to) {
    Figures sum;
    const auto first =
        std::partition_point(periods.begin(), periods.end(), [&](const Period& p) { return p.end <= from; });
    for (auto period = first; period != periods.end() && period->start < to; ++period) {
        // A stop counts however short the time down (under a second of the record's clock).
        if (UnaskedStop(*period) && period->start >= from) ++sum.unaskedStops;
        const Moment start = std::max(period->start, from), end = std::min(period->end, to);
        if (end <= start) continue;
        if (period->state == PeriodState::Up) {
            sum.up += end - start;
            sum.longestRun = std::max(sum.longestRun, end - start);
        } else if (period->state == PeriodState::Down) {
            sum.down += end - start;
        }
    }
    sum.unknown = to > from ? to - from - sum.up - sum.down : 0;
    return sum;
}

Bar BarOf(std::span<const Period> periods, Moment start, Moment end, Moment now) {
    const Figures sum = Sum(periods, start, std::max(start, std::min(end, now)));
    return Bar{start, end, sum.up, sum.down, sum.unknown};
}

template <typename Char>
Char* Put(Char* out, char c) {
    *out++ = static_cast<Char>(c);
    return out;
}

// "YYYY-MM-DD HH:MM:SS" of a local moment.
template <typename Char>
Char* PutClockTime(Char* out, Moment local) {
    const CivilTime time = CivilOf(local);
    out = Put(PutDigits(out, static_cast<unsigned>(time.year), 4), '-');
    out = Put(PutDigits(out, static_cast<unsigned>(time.month), 2), '-');
    out = Put(PutDigits(out, static_cast<unsigned>(time.day), 2), ' ');
    out = Put(PutDigits(out, static_cast<unsigned>(time.hour), 2), ':');
    out = Put(PutDigits(out, static_cast<unsigned>(time.minute), 2), ':');
    return PutDigits(out, static_cast<unsigned>(time.second), 2);
}

// "H:MM:SS".
template <typename Char>
Char* PutElapsed(Char* out, Moment from, Moment to) {
    const Moment seconds = to > from ? (to - from) / kOneSecond : 0;
    out = Put(PutDigits(out, seconds / 3600, 1), ':');
    out = Put(PutDigits(out, seconds / 60 % 60, 2), ':');
    return PutDigits(out, seconds % 60, 2);
}

void AppendText(std::wstring& to, std::wstring_view text) { to += text; }
// In UTF-8.
void AppendText(std::string& to, std::wstring_view text) {
    if (std::all_of(text.begin(), text.end(), [](wchar_t c) { return c < 0x80; })) {
        for (const wchar_t c : text) to += static_cast<char>(c);
        return;
    }
    const int length = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    const std::size_t at = to.size();
    to.resize(at + static_cast<std::size_t>(bytes));
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, to.data() + at, bytes, nullptr, nullptr);
}

// A field as its format takes it: quoted where CSV needs it; tabs and line breaks made
// spaces in a tab-separated line.
std::wstring Field(std::wstring_view text, bool csv) {
    std::wstring field;
    if (!csv) {
        for (const wchar_t c : text) field += c == L'\t' || c == L'\r' || c == L'\n' ? L' ' : c;
    } else if (text.find_first_of(L",\"\r\n") == std::wstring_view::npos) {
        field = text;
    } else {
        field += L'"';
        for (const wchar_t c : text) {
            if (c == L'"') field += L'"';
            field += c;
        }
        field += L'"';
    }
    return field;
}

// The list in wide characters for the clipboard, in UTF-8 for a file.
template <typename Text>
Text PeriodsList(std::span<const Period> periods, const TIME_ZONE_INFORMATION& zone, bool csv) {
    using Char = typename Text::value_type;
    const char separator = csv ? ',' : '\t';
    const ZoneClock clock(zone);
    std::map<DWORD, Text> exitCodes;  // each code's field, in the system's words, made once
    Text text;
    text.reserve((periods.size() + 1) * 80);
    AppendText(text, csv ? L"Start,End,Duration,State,Cause,Exit code\r\n"
                         : L"Start\tEnd\tDuration\tState\tCause\tExit code\r\n");
    for (std::size_t newest = periods.size(); newest-- > 0;) {
        const Period& period = periods[newest];
        Char row[64];
        Char* end = Put(PutClockTime(row, clock.Local(period.start)), separator);
        end = Put(PutClockTime(end, clock.Local(period.end)), separator);
        end = Put(PutElapsed(end, period.start, period.end), separator);
        text.append(row, end);
        AppendText(text, StateText(period.state));
        text += static_cast<Char>(separator);
        AppendText(text, CauseText(period));  // plain words, without a separator or a quote
        text += static_cast<Char>(separator);
        if (period.exitCode) {
            auto known = exitCodes.find(*period.exitCode);
            if (known == exitCodes.end()) {
                known = exitCodes.emplace(*period.exitCode, Text()).first;
                AppendText(known->second, Field(ExitCodeText(*period.exitCode), csv));
            }
            text += known->second;
        }
        text += static_cast<Char>('\r');
        text += static_cast<Char>('\n');
    }
    return text;
}

}  // namespace

Figures FiguresOf(std::span<const Period> periods, Moment from, Moment to) {
    Figures figures = Sum(periods, from, to);
    if (figures.up + figures.down > 0) {
        figures.uptimeShare = static_cast<double>(figures.up) / static_cast<double>(figures.up + figures.down);
    }
    if (to > from) {
        figures.watchedShare = static_cast<double>(figures.up + figures.down) / static_cast<double>(to - from);
    }
    return figures;
}

std::vector<Bar> DayBars(std::span<const Period> periods, Moment now, int days, const TIME_ZONE_INFORMATION& zone) {
    const ZoneClock clock(zone);
    const Moment today = clock.Local(now) / kOneDay * kOneDay;
    std::vector<Bar> bars;
    for (int back = days - 1; back >= 0; --back) {
        const Moment midnight = today - static_cast<Moment>(back) * kOneDay;
        bars.push_back(BarOf(periods, clock.Utc(midnight), clock.Utc(midnight + kOneDay), now));
    }
    return bars;
}

std::vector<Bar> HourBars(std::span<const Period> periods, Moment now, const TIME_ZONE_INFORMATION& zone) {
    // Daylight saving moves clocks by whole hours (or half hours, where the zone is off by
    // half an hour too): the hours keep the minute at which they begin.
    const Moment hour = now - ZoneClock(zone).Local(now) % kOneHour;
    std::vector<Bar> bars;
    for (Moment back = 24; back-- > 0;) {
        const Moment start = hour - back * kOneHour;
        bars.push_back(BarOf(periods, start, start + kOneHour, now));
    }
    return bars;
}

std::wstring ClockTimeText(const ZoneClock& clock, Moment moment) {
    wchar_t text[32];
    return std::wstring(text, PutClockTime(text, clock.Local(moment)));
}

std::wstring_view StateText(PeriodState state) {
    switch (state) {
    case PeriodState::Up:
        return L"Up";
    case PeriodState::Down:
        return L"Down";
    default:
        return L"Unknown";
    }
}

std::wstring_view CauseText(const Period& period) {
    switch (period.cause) {
    case Cause::KvZtl:
        return L"started by KV-ZTL";
    case Cause::Service:
        return period.state == PeriodState::Up ? L"started through the service" : L"stopped through the service";
    case Cause::Found:
        return L"found running";
    case Cause::Asked:
        return L"stopped as asked";
    case Cause::Exited:
        return L"exited";
    case Cause::Vanished:
        return L"vanished";
    case Cause::NotRunning:
        return L"not running";
    case Cause::Sleep:
        return L"asleep";
    case Cause::Logoff:
        return L"logged off";
    case Cause::Shutdown:
        return L"shut down";
    case Cause::NoRecord:
        return L"no record";
    default:
        return L"not watching";  // KV-ZTL ended or fell silent
    }
}

std::wstring PeriodsText(std::span<const Period> periods, const TIME_ZONE_INFORMATION& zone) {
    return PeriodsList<std::wstring>(periods, zone, false);
}

std::string PeriodsCsv(std::span<const Period> periods, const TIME_ZONE_INFORMATION& zone) {
    return PeriodsList<std::string>(periods, zone, true);
}

}  // namespace kvztl
