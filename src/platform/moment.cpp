#include "platform/moment.h"

namespace kvztl {
namespace {

constexpr Moment kPerMinute = 600'000'000ULL;

SYSTEMTIME LocalTime(Moment moment) {
    FILETIME utc{static_cast<DWORD>(moment), static_cast<DWORD>(moment >> 32)};
    SYSTEMTIME universal{}, local{};
    FileTimeToSystemTime(&utc, &universal);
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) local = universal;
    return local;
}

std::wstring TimeText(const SYSTEMTIME& time, bool seconds) {
    wchar_t text[128];
    return GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, seconds ? 0 : TIME_NOSECONDS, &time, nullptr, text, 128) ? text
                                                                                                              : L"";
}

std::wstring DateText(const SYSTEMTIME& time) {
    wchar_t text[128];
    return GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, text, 128, nullptr) ? text : L"";
}

}  // namespace

Moment Now() noexcept {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return MomentOf(now);
}

std::wstring DurationText(Moment from, Moment to) {
    const Moment minutes = to > from ? (to - from) / kPerMinute : 0;
    if (minutes == 0) return L"less than a minute";
    const Moment days = minutes / (Moment{24} * 60), hours = minutes / 60 % 24, rest = minutes % 60;
    if (days > 0) return std::to_wstring(days) + L" d " + std::to_wstring(hours) + L" h";
    if (hours > 0) return std::to_wstring(hours) + L" h " + std::to_wstring(rest) + L" min";
    return std::to_wstring(rest) + L" min";
}

std::wstring MomentText(Moment moment, Moment now, bool seconds) {
    const SYSTEMTIME local = LocalTime(moment), today = LocalTime(now);
    std::wstring text = TimeText(local, seconds);
    if (local.wYear != today.wYear || local.wMonth != today.wMonth || local.wDay != today.wDay) {
        text = DateText(local) + L" " + text;
    }
    return text;
}

}  // namespace kvztl
