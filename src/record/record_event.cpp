#include "record/record_event.h"

#include <algorithm>
#include <iterator>

#include "record/calendar.h"

namespace kvztl {
namespace {

constexpr struct {
    EventKind kind;
    std::string_view word;
} kKinds[] = {{EventKind::Watch, "watch"}, {EventKind::Watching, "watching"}, {EventKind::Up, "up"},
              {EventKind::Down, "down"},   {EventKind::Failed, "failed"},     {EventKind::Unwatch, "unwatch"}};

constexpr struct {
    EventKind kind;
    Cause cause;
    std::string_view word;
} kCauses[] = {
    {EventKind::Watch, Cause::Start, "start"},
    {EventKind::Watch, Cause::Resume, "resume"},
    {EventKind::Up, Cause::KvZtl, "kv-ztl"},
    {EventKind::Up, Cause::Service, "service"},
    {EventKind::Up, Cause::Found, "found"},
    {EventKind::Down, Cause::Asked, "asked"},
    {EventKind::Down, Cause::Service, "service"},
    {EventKind::Down, Cause::Exited, "exited"},
    {EventKind::Down, Cause::Vanished, "vanished"},
    {EventKind::Down, Cause::NotRunning, "not-running"},
    {EventKind::Failed, Cause::Start, "start"},
    {EventKind::Failed, Cause::Stop, "stop"},
    {EventKind::Unwatch, Cause::Exit, "exit"},
    {EventKind::Unwatch, Cause::Logoff, "logoff"},
    {EventKind::Unwatch, Cause::Shutdown, "shutdown"},
    {EventKind::Unwatch, Cause::Sleep, "sleep"},
};

std::string_view KindWord(EventKind kind) {
    for (const auto& known : kKinds) {
        if (known.kind == kind) return known.word;
    }
    return {};
}

std::string_view CauseWord(EventKind kind, Cause cause) {
    for (const auto& known : kCauses) {
        if (known.kind == kind && known.cause == cause) return known.word;
    }
    return {};
}

// Appends `value` in decimal, at least `width` digits.
void AppendNumber(std::string& line, unsigned long value, int width = 1) {
    char digits[24];
    line.append(digits, PutDigits(digits, value, width));
}

void AppendTime(std::string& line, Moment moment) {
    const CivilTime time = CivilOf(moment);
    AppendNumber(line, static_cast<unsigned long>(time.year), 4);
    line += '-';
    AppendNumber(line, static_cast<unsigned long>(time.month), 2);
    line += '-';
    AppendNumber(line, static_cast<unsigned long>(time.day), 2);
    line += 'T';
    AppendNumber(line, static_cast<unsigned long>(time.hour), 2);
    line += ':';
    AppendNumber(line, static_cast<unsigned long>(time.minute), 2);
    line += ':';
    AppendNumber(line, static_cast<unsigned long>(time.second), 2);
    line += 'Z';
}

// The failure's words as UTF-8 on one line, at most `room` bytes, cut between characters.
std::string OneLineUtf8(const std::wstring& text, std::size_t room) {
    std::wstring flat(text);
    std::replace_if(
        flat.begin(), flat.end(), [](wchar_t c) { return c < L' '; }, L' ');
    if (flat.empty()) return {};
    const int length = static_cast<int>(std::min<std::size_t>(flat.size(), room));
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, flat.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, flat.data(), length, utf8.data(), bytes, nullptr, nullptr);
    if (utf8.size() > room) {
        std::size_t end = room;
        while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
        utf8.resize(end);
    }
    return utf8;
}

// Reads a line's fields one at a time.
class Fields {
public:
    explicit Fields(std::string_view line) : rest_(line) {}
    // The next field, up to the next space or the end of the line.
    std::string_view Next() noexcept {
        if (ended_) return {};
        const std::size_t space = rest_.find(' ');
        const std::string_view field = rest_.substr(0, space);
        ended_ = space == std::string_view::npos;
        rest_ = ended_ ? std::string_view() : rest_.substr(space + 1);
        return field;
    }
    bool Ended() const noexcept { return ended_; }
    std::string_view Rest() const noexcept { return rest_; }

private:
    std::string_view rest_;
    bool ended_ = false;
};

// A number of exactly `digits` decimal digits.
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t digits) noexcept {
    int value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

std::optional<DWORD> ParseWriter(std::string_view text) noexcept {
    if (text.empty() || text.size() > 10) return std::nullopt;
    unsigned long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 0xFFFF'FFFFULL) return std::nullopt;
    return static_cast<DWORD>(value);
}

std::optional<DWORD> ParseExitCode(std::string_view text) noexcept {
    if (text.size() < 3 || text.size() > 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) {
        return std::nullopt;
    }
    DWORD value = 0;
    for (const char c : text.substr(2)) {
        DWORD digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<DWORD>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<DWORD>(c - 'a') + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<DWORD>(c - 'A') + 10;
        } else {
            return std::nullopt;
        }
        value = (value << 4) | digit;
    }
    return value;
}

std::optional<std::wstring> WideOfUtf8(std::string_view text) {
    if (text.empty()) return std::wstring();
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length);
    return wide;
}

// What follows the cause, as its kind takes it: a process's start, an exit code, the words
// of a failure.
bool ParseDetails(Fields& fields, Event& event) {
    if (fields.Ended()) return true;
    switch (event.kind) {
    case EventKind::Up:
        event.since = ParseTimeText(fields.Next());
        return event.since && fields.Ended();
    case EventKind::Down:
        if (event.cause == Cause::Exited) event.exitCode = ParseExitCode(fields.Next());
        return event.exitCode && fields.Ended();
    case EventKind::Failed: {
        const std::string_view rest = fields.Rest();
        if (std::any_of(rest.begin(), rest.end(),
                        [](char c) { return static_cast<unsigned char>(c) < ' ' && c != '\t'; })) {
            return false;
        }
        std::optional<std::wstring> text = WideOfUtf8(rest);
        if (!text) return false;
        event.text = std::move(*text);
        return true;
    }
    default:
        return false;
    }
}

}  // namespace

std::string TimeText(Moment moment) {
    std::string text;
    AppendTime(text, moment);
    return text;
}

std::optional<Moment> ParseTimeText(std::string_view text) noexcept {
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != 'Z') {
        return std::nullopt;
    }
    const std::optional<int> year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2),
                             hour = Digits(text, 11, 2), minute = Digits(text, 14, 2), second = Digits(text, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
    return MomentOfCivil({*year, *month, *day, *hour, *minute, *second});
}

std::string FormatLine(const Event& event) {
    std::string line;
    line.reserve(64);
    AppendTime(line, event.time);
    line += ' ';
    AppendNumber(line, event.writer);
    line += ' ';
    line += KindWord(event.kind);
    if (event.kind != EventKind::Watching) {
        line += ' ';
        line += CauseWord(event.kind, event.cause);
    }
    if (event.kind == EventKind::Up && event.since) {
        line += ' ';
        AppendTime(line, *event.since);
    }
    if (event.kind == EventKind::Down && event.cause == Cause::Exited && event.exitCode) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        line += " 0x";
        for (int shift = 28; shift >= 0; shift -= 4) line += kHex[(*event.exitCode >> shift) & 0xF];
    }
    if (event.kind == EventKind::Failed && !event.text.empty()) {
        line += ' ';
        line += OneLineUtf8(event.text, kMaxLineBytes - line.size() - 1);
    }
    line += '\n';
    return line;
}

std::optional<Event> ParseLine(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > kMaxLineBytes) return std::nullopt;
    Fields fields(line);
    Event event;
    const std::optional<Moment> time = ParseTimeText(fields.Next());
    const std::optional<DWORD> writer = ParseWriter(fields.Next());
    if (!time || !writer) return std::nullopt;
    event.time = *time;
    event.writer = *writer;

    const std::string_view kind = fields.Next();
    const auto* const known =
        std::find_if(std::begin(kKinds), std::end(kKinds), [&](const auto& k) { return k.word == kind; });
    if (known == std::end(kKinds)) return std::nullopt;
    event.kind = known->kind;
    if (event.kind == EventKind::Watching) return fields.Ended() ? std::optional<Event>(event) : std::nullopt;

    const std::string_view cause = fields.Next();
    const auto* const named = std::find_if(std::begin(kCauses), std::end(kCauses),
                                           [&](const auto& c) { return c.kind == event.kind && c.word == cause; });
    if (named == std::end(kCauses)) return std::nullopt;
    event.cause = named->cause;
    return ParseDetails(fields, event) ? std::optional<Event>(std::move(event)) : std::nullopt;
}

}  // namespace kvztl
