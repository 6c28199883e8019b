#include "record/journal.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string_view>

#include "platform/system_entry.h"

namespace kvztl {
namespace {

// Read in pieces this large: a year's file is a few megabytes, a damaged one may be anything.
constexpr std::size_t kPieceBytes = std::size_t{1} << 20;
// Every writer locks this byte, beyond the end of any file, while it appends: two processes
// never interleave within a line, and a reader is never held up.
constexpr DWORD kLockOffsetHigh = 0x7FFF'0000;

using UniqueSearch = Unique<HANDLE, &::FindClose>;

int MonthOf(Moment moment) noexcept {
    const CivilTime time = CivilOf(moment);
    return time.year * 12 + time.month - 1;
}

std::optional<int> Decimal(std::wstring_view digits) noexcept {
    int value = 0;
    for (const wchar_t digit : digits) {
        if (digit < L'0' || digit > L'9') return std::nullopt;
        value = value * 10 + (digit - L'0');
    }
    return value;
}

// The month of a file named tracker-YYYY-MM.log (any letter case).
std::optional<int> MonthOfName(std::wstring_view name) noexcept {
    if (name.size() != 19 || name[12] != L'-' ||
        CompareStringOrdinal(name.data(), 8, L"tracker-", 8, TRUE) != CSTR_EQUAL ||
        CompareStringOrdinal(name.data() + 15, 4, L".log", 4, TRUE) != CSTR_EQUAL) {
        return std::nullopt;
    }
    const std::optional<int> year = Decimal(name.substr(8, 4)), month = Decimal(name.substr(13, 2));
    if (!year || !month || *year < 1601 || *month < 1 || *month > 12) return std::nullopt;
    return *year * 12 + *month - 1;
}

// The byte every writer locks for an append, held for the scope.
class AppendLock {
public:
    explicit AppendLock(HANDLE file) noexcept : file_(file) {
        OVERLAPPED at{};
        at.OffsetHigh = kLockOffsetHigh;
        locked_ = LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) != FALSE;
    }
    ~AppendLock() {
        if (!locked_) return;
        OVERLAPPED at{};
        at.OffsetHigh = kLockOffsetHigh;
        UnlockFileEx(file_, 0, 1, 0, &at);
    }
    AppendLock(const AppendLock&) = delete;
    AppendLock& operator=(const AppendLock&) = delete;
    bool locked() const noexcept { return locked_; }

private:
    HANDLE file_;
    bool locked_ = false;
};

// One reading of the month files, in order: each line's event handed on, its time no earlier
// than the one before; what cannot be taken, counted and the first of it listed.
class Reader {
public:
    Reader(Moment now, const std::function<void(const Event&)>& onEvent) : now_(now), onEvent_(onEvent) {}

    // Streams the file in pieces; a line too long to hold is passed over up to its line feed.
    void ReadFile(const std::wstring& path) {
        const UniqueHandle file = AdoptFileHandle(
            CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file) {
            if (const DWORD error = GetLastError(); error != ERROR_FILE_NOT_FOUND) reading_.failure = {path, error};
            return;
        }
        path_ = &path;
        number_ = 0;
        std::size_t held = 0;  // the start of a line, from the piece before
        bool overlong = false;
        for (;;) {
            DWORD got = 0;
            if (!::ReadFile(file.get(), piece_.data() + held, static_cast<DWORD>(piece_.size() - held), &got,
                            nullptr)) {
                reading_.failure = {path, GetLastError()};
                return;
            }
            if (got == 0) break;
            const char* begin = piece_.data();
            const char* const end = piece_.data() + held + got;
            for (const char* feed = nullptr;
                 (feed = static_cast<const char*>(std::memchr(begin, '\n', static_cast<std::size_t>(end - begin))));
                 begin = feed + 1) {
                ++number_;
                if (overlong) {
                    Skip(SkipReason::TooLong);
                } else {
                    Take(std::string_view(begin, static_cast<std::size_t>(feed - begin)));
                }
                overlong = false;
            }
            const auto rest = static_cast<std::size_t>(end - begin);
            overlong = overlong || rest > kMaxLineBytes + 1;
            held = overlong ? 0 : rest;
            std::memmove(piece_.data(), begin, held);
        }
        if (overlong || held > 0) {
            ++number_;
            Skip(overlong ? SkipReason::TooLong : SkipReason::Torn);
        }
    }

    JournalReading& reading() noexcept { return reading_; }

private:
    void Take(std::string_view line) {
        if (number_ == 1 && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);  // saved by an editor
        if (line.empty() || line == "\r") return;
        std::optional<Event> event = ParseLine(line);
        if (!event) {
            const std::size_t length = line.size() - (line.ends_with('\r') ? 1 : 0);
            return Skip(length > kMaxLineBytes ? SkipReason::TooLong : SkipReason::Garbled);
        }
        if (event->time > now_ + Journal::kFutureSlack) return Skip(SkipReason::Future);
        if (latest_ && event->time < *latest_) event->time = *latest_;
        latest_ = event->time;
        ++reading_.events;
        onEvent_(*event);
    }

    void Skip(SkipReason reason) {
        if (reading_.skipped++ < Journal::kListedSkips) reading_.firstSkipped.push_back({*path_, number_, reason});
    }

    Moment now_;
    const std::function<void(const Event&)>& onEvent_;
    JournalReading reading_;
    std::vector<char> piece_ = std::vector<char>(kPieceBytes);
    std::optional<Moment> latest_;
    const std::wstring* path_ = nullptr;  // of the file being read
    std::uint64_t number_ = 0;            // of the line being read, from 1
};

}  // namespace

std::wstring Journal::DefaultFolder() {
    // The variable names the user's local application data in every session, and asking it
    // loads nothing: the shell (and COM with it) is asked only where it is not set.
    std::wstring folder;
    wchar_t variable[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", variable, MAX_PATH);
    if (length > 0 && length < MAX_PATH) folder.assign(variable, length);
    if (folder.empty()) {
        using KnownFolderPathFn = HRESULT(WINAPI*)(const GUID&, DWORD, HANDLE, PWSTR*);
        using TaskMemFreeFn = void(WINAPI*)(LPVOID);
        // FOLDERID_LocalAppData, spelled out so that no library of GUIDs is linked for it.
        static constexpr GUID kLocalAppData = {
            0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};
        const auto knownFolderPath = SystemEntry<KnownFolderPathFn>(L"shell32.dll", "SHGetKnownFolderPath");
        PWSTR path = nullptr;
        if (knownFolderPath && SUCCEEDED(knownFolderPath(kLocalAppData, 0, nullptr, &path)) && path) folder = path;
        if (path) {
            if (const auto taskMemFree = SystemEntry<TaskMemFreeFn>(L"ole32.dll", "CoTaskMemFree")) taskMemFree(path);
        }
    }
    return folder.empty() ? folder : folder + L"\\KV-ZTL";
}

Journal::Journal(std::wstring folder) : folder_(std::move(folder)) {}

std::wstring Journal::MonthPath(Moment moment) const { return PathOf(MonthOf(moment)); }

std::wstring Journal::PathOf(int month) const {
    wchar_t name[32];
    std::swprintf(name, 32, L"\\tracker-%04d-%02d.log", month / 12, month % 12 + 1);
    return folder_ + name;
}

std::vector<int> Journal::Months() const {
    std::vector<int> months;
    WIN32_FIND_DATAW found{};
    const HANDLE first = FindFirstFileW((folder_ + L"\\tracker-*.log").c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) return months;
    const UniqueSearch search(first);
    do {
        const std::optional<int> month = MonthOfName(found.cFileName);
        if (month && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) months.push_back(*month);
    } while (FindNextFileW(search.get(), &found));
    std::sort(months.begin(), months.end());
    return months;
}

bool Journal::Append(const Event& event) {
    // A clock set back across the month's turn keeps to the later file; one set back further
    // was set wrong before, and the line goes to its own month's file.
    const int own = MonthOf(event.time);
    latestMonth_ = own + 1 >= latestMonth_ ? std::max(own, latestMonth_) : own;
    pending_.push_back({latestMonth_, FormatLine(event)});
    // Whatever is pending goes first, a write a month.
    std::size_t written = 0;
    while (written < pending_.size()) {
        const int month = pending_[written].month;
        std::string lines;
        std::size_t end = written;
        for (; end < pending_.size() && pending_[end].month == month; ++end) lines += pending_[end].text;
        if (!Write(month, lines)) break;
        written = end;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(written));
    if (pending_.empty()) failure_.reset();
    return pending_.empty();
}

bool Journal::Fail(int month, DWORD error) {
    failure_ = JournalFailure{PathOf(month), error};
    return false;
}

UniqueHandle Journal::Open(int month) {
    if (!CreateDirectoryW(folder_.c_str(), nullptr)) {
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) {
            Fail(month, error);
            return nullptr;
        }
    }
    // Old months go at the first write of a run and when the month turns while it runs, not
    // when a clock is set months ahead for a while: that would take the record with it.
    if (prunedFor_ < 0 || month == prunedFor_ + 1) {
        for (const int old : Months()) {
            if (old < month - kMonthsKept) DeleteFileW(PathOf(old).c_str());
        }
        prunedFor_ = month;
    }
    // Append-only: each write lands at the end of the file, whoever else writes to it.
    UniqueHandle file = AdoptFileHandle(CreateFileW(PathOf(month).c_str(), GENERIC_READ | FILE_APPEND_DATA,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) Fail(month, GetLastError());
    return file;
}

bool Journal::Write(int month, const std::string& lines) {
    // Opened by its name for each write and closed after: a file deleted meanwhile (the record
    // cleared in another session, or by hand) would take what is written to it along.
    const UniqueHandle file = Open(month);
    if (!file) return false;
    const AppendLock lock(file.get());
    if (!lock.locked()) return Fail(month, GetLastError());

    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return Fail(month, GetLastError());
    std::string mended;
    if (size.QuadPart > 0) {
        const auto offset = static_cast<ULONGLONG>(size.QuadPart - 1);
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        char last = '\n';
        DWORD got = 0;
        if (!ReadFile(file.get(), &last, 1, &got, &at)) return Fail(month, GetLastError());
        // After a line a crash cut short, on a line of its own; the torn line marked as such,
        // lest "0xC00" of "0xC0000005" be read as an exit code.
        if (last != '\n') mended = " (torn)\n" + lines;
    }
    const std::string& text = mended.empty() ? lines : mended;
    OVERLAPPED end{};
    end.Offset = end.OffsetHigh = 0xFFFF'FFFF;  // at the end of the file
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, &end)) {
        return Fail(month, GetLastError());
    }
    if (written != text.size()) return Fail(month, ERROR_DISK_FULL);
    if (!FlushFileBuffers(file.get())) return Fail(month, GetLastError());
    return true;
}

JournalReading Journal::Read(Moment now, const std::function<void(const Event&)>& onEvent) const {
    Reader reader(now, onEvent);
    for (const int month : Months()) reader.ReadFile(PathOf(month));
    return std::move(reader.reading());
}

bool Journal::Clear() {
    pending_.clear();
    failure_.reset();
    bool cleared = true;
    for (const int month : Months()) {
        if (!DeleteFileW(PathOf(month).c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) cleared = false;
    }
    return cleared;
}

}  // namespace kvztl
