#include "record/tracker_record.h"

#include <algorithm>
#include <cwchar>

#include "platform/window.h"
#include "store/choices.h"

namespace kvztl {
namespace {

constexpr const wchar_t* kWindowClass = L"KVZTL_RECORD";
constexpr UINT_PTR kHeartbeatTimer = 1;
// After the machine went to sleep, the first tick of this timer says it is awake again, where no
// resume notice came (one is not always sent: within two minutes of a sign-in, say).
constexpr UINT_PTR kAwakeTimer = 2;
constexpr UINT kAwakeMilliseconds = 60'000;
// Posted to itself: a failure to write, to tell once the message that met it has been handled.
constexpr UINT kTellFailureMessage = WM_APP + 1;
// How late Windows may write the heartbeat, to wake the processor once for several timers.
constexpr ULONG kHeartbeatTolerance = 30'000;

// "99.2 %", in the user's decimal separator; "100 %" whole.
std::wstring Percent(double share) {
    wchar_t text[32];
    const double percent = std::clamp(share * 100, 0.0, 100.0);
    if (percent >= 99.95 && share >= 1.0) return L"100 %";
    std::swprintf(text, 32, L"%.1f", percent);
    wchar_t separator[8] = L".";
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8);
    std::wstring formatted(text);
    if (const size_t point = formatted.find(L'.'); point != std::wstring::npos) {
        formatted.replace(point, 1, separator);
    }
    return formatted + L" %";
}

}  // namespace

std::unique_ptr<TrackerRecord> TrackerRecord::Create(const SettingsStore& store, std::wstring folder, Hooks hooks) {
    std::unique_ptr<TrackerRecord> record(new TrackerRecord(store, std::move(folder), std::move(hooks)));
    // A hidden top-level window: only those hear of sleep, resume and the session's end.
    record->window_ = MessageWindow::Create(
        kWindowClass,
        [self = record.get()](UINT message, WPARAM wparam, LPARAM lparam) {
            return self->OnMessage(message, wparam, lparam);
        },
        true);
    if (!record->window_) return nullptr;
    record->Load();
    if (record->on_) record->BeginWatching(Cause::Start);
    return record;
}

TrackerRecord::TrackerRecord(const SettingsStore& store, std::wstring folder, Hooks hooks)
    : store_(store), hooks_(std::move(hooks)), journal_(std::move(folder)), on_(IsOn(store, choices::kKeepRecord)) {}

TrackerRecord::~TrackerRecord() { EndWatching(Cause::Exit); }

void TrackerRecord::Listen(RecordListener* listener) { listeners_.push_back(listener); }

void TrackerRecord::Forget(RecordListener* listener) noexcept { std::erase(listeners_, listener); }

void TrackerRecord::Load() {
    reading_ = journal_.Read(Now(), [this](const Event& event) { timeline_.Add(event); });
}

void TrackerRecord::Write(Event event) {
    if (!on_) return;
    // The tracker's state while nobody watches (after the session's end, asleep) is not known:
    // it is written anew when watching begins again.
    const bool watchingLine = event.kind == EventKind::Watch || event.kind == EventKind::Unwatch;
    if (!watching_ && !watchingLine) return;
    if (event.time == 0) event.time = Now();
    if (event.writer == 0) event.writer = GetCurrentProcessId();
    // To the second, as the journal keeps it: what is read back at the next start is what the
    // timeline holds now.
    event.time -= event.time % kOneSecond;
    if (event.since) *event.since -= *event.since % kOneSecond;
    // On the disk first; what cannot go there yet is kept, and said once.
    if (!journal_.Append(event) && !toldFailure_ && journal_.Failure()) {
        toldFailure_ = true;
        PostMessageW(window_->hwnd(), kTellFailureMessage, 0, 0);
    }
    timeline_.Add(event);
    Tell();
}

void TrackerRecord::BeginWatching(Cause cause) {
    if (watching_ || !on_) return;
    watching_ = true;
    asleep_ = false;
    Write({.kind = EventKind::Watch, .cause = cause});
    SetCoalescableTimer(window_->hwnd(), kHeartbeatTimer, kHeartbeatMilliseconds, nullptr, kHeartbeatTolerance);
    ++watches_;
}

void TrackerRecord::EndWatching(Cause cause) {
    if (!watching_) return;
    Write({.kind = EventKind::Unwatch, .cause = cause});
    watching_ = false;
    asleep_ = cause == Cause::Sleep;
    if (window_) KillTimer(window_->hwnd(), kHeartbeatTimer);
}

std::optional<LRESULT> TrackerRecord::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_TIMER:
        if (wparam == kHeartbeatTimer && watching_) Write({.kind = EventKind::Watching});
        if (wparam == kAwakeTimer) Awake();
        return 0;
    case WM_POWERBROADCAST:
        if (wparam == PBT_APMSUSPEND && watching_) {
            EndWatching(Cause::Sleep);
            SetTimer(window_->hwnd(), kAwakeTimer, kAwakeMilliseconds, nullptr);
        }
        // Each resume says so once; a resume that the user saw follows the automatic one.
        if (wparam == PBT_APMRESUMEAUTOMATIC || wparam == PBT_APMRESUMESUSPEND) Awake();
        return TRUE;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // Nothing is shown while the session ends, whichever window hears of it first.
        SetSessionEnding(wparam != 0);
        if (!wparam) return 0;
        if (lparam & ENDSESSION_CLOSEAPP) {
            EndWatching(Cause::Exit);  // closed for an update by the restart manager
        } else {
            EndWatching((lparam & ENDSESSION_LOGOFF) ? Cause::Logoff : Cause::Shutdown);
        }
        return 0;
    case kTellFailureMessage:
        if (hooks_.cannotWrite && journal_.Failure()) hooks_.cannotWrite(*journal_.Failure());
        return 0;
    }
    return std::nullopt;
}

void TrackerRecord::Awake() {
    KillTimer(window_->hwnd(), kAwakeTimer);
    if (asleep_) BeginWatching(Cause::Resume);
}

void TrackerRecord::SetOn(bool on) {
    if (on == on_) return;
    kvztl::SetOn(store_, choices::kKeepRecord, on);
    if (on) {
        on_ = true;
        BeginWatching(Cause::Start);
    } else {
        // The time from now on is unknown: the record says so before it stops.
        EndWatching(Cause::Exit);
        on_ = false;
    }
    Tell();
}

bool TrackerRecord::Clear() {
    const bool cleared = journal_.Clear();
    timeline_ = Timeline{};
    reading_ = {};
    toldFailure_ = false;
    if (watching_) {
        watching_ = false;
        BeginWatching(Cause::Start);
    }
    Tell();
    return cleared;
}

void TrackerRecord::Tell() {
    ++changes_;
    // A copy: a listener may come or go while it is told.
    const std::vector<RecordListener*> listeners = listeners_;
    for (RecordListener* listener : listeners) {
        if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end()) listener->OnRecordChanged();
    }
}

std::wstring TrackerRecord::Summary(Moment now) const {
    if (!on_) return {};
    // Worded again once a minute, or when something was recorded: a year of it takes a while.
    const Moment minute = now / kOneMinute;
    if (minute == summaryMinute_ && changes_ == summaryChange_) return summary_;
    summaryMinute_ = minute;
    summaryChange_ = changes_;
    summary_.clear();
    const std::vector<Period> periods = Periods(now);
    if (periods.empty()) return summary_;
    std::wstring text;
    const Period& last = periods.back();
    if (last.state != PeriodState::Unknown) {
        text = (last.state == PeriodState::Up ? L"Up " : L"Down ") + DurationText(last.start, now);
    }
    const Figures week = FiguresOf(periods, now > 7 * kOneDay ? now - 7 * kOneDay : 0, now);
    if (week.uptimeShare) {
        if (!text.empty()) text += L" \x00B7 ";
        text += Percent(*week.uptimeShare) + L" over 7 days, " + Percent(week.watchedShare) + L" watched";
    }
    const auto stop = std::find_if(periods.rbegin(), periods.rend(), UnaskedStop);
    if (stop != periods.rend()) {
        if (!text.empty()) text += L" \x00B7 ";
        text += L"last unasked stop " + DurationText(stop->start, now) + L" ago, " + std::wstring(CauseText(*stop));
        if (stop->exitCode) {
            wchar_t code[16];
            std::swprintf(code, 16, L" 0x%08lX", static_cast<unsigned long>(*stop->exitCode));
            text += code;
        }
    }
    summary_ = std::move(text);
    return summary_;
}

}  // namespace kvztl
