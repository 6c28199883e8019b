#include "record/timeline.h"

#include <algorithm>

namespace kvztl {
namespace {

// How much a cause tells, for the second of two lines about one change: a stop asked here
// tells more than one seen through the service, than an exit code, than a process gone.
int Rank(Cause cause) noexcept {
    switch (cause) {
    case Cause::Vanished:
        return 1;
    case Cause::Exited:
        return 2;
    case Cause::Service:
        return 3;
    case Cause::KvZtl:
    case Cause::Asked:
        return 4;
    default:
        return 0;
    }
}

}  // namespace

void Timeline::Add(const Event& event) {
    // A clock set back: the line counts at the time of the one before.
    const Moment at = last_ ? std::max(event.time, *last_) : event.time;
    if (!last_) open_ = Period{at, at, PeriodState::Unknown, Cause::NoRecord, std::nullopt, 0};
    EndWatches(event, at);
    const bool knew = open_.state != PeriodState::Unknown;
    const bool returning = Heard(event, at);
    switch (event.kind) {
    case EventKind::Watch:
        // A new process under the id of a silent one knows nothing of the tracker yet.
        if (beforeGap_) std::erase(beforeGap_->silent, event.writer);
        break;
    case EventKind::Unwatch:
        if (writers_.empty() && open_.state != PeriodState::Unknown) GapOpens(at, event.cause);
        break;
    case EventKind::Up:
        Up(event, at);
        break;
    case EventKind::Down:
        Down(event, at);
        break;
    case EventKind::Watching:
    case EventKind::Failed:
        if (returning && open_.state == PeriodState::Unknown && beforeGap_ &&
            std::find(beforeGap_->silent.begin(), beforeGap_->silent.end(), event.writer) != beforeGap_->silent.end()) {
            Resume(at);
        }
        if (event.kind == EventKind::Failed) {
            words_.push_back(event.text);
            open_.words = static_cast<std::uint32_t>(words_.size());
        }
        break;
    }
    if (event.kind != EventKind::Watch && (knew || open_.state != PeriodState::Unknown)) knownUntil_ = at;
    last_ = at;
}

// Writers silent too long, and the earlier watch of a writer that begins anew, end at their
// last line; when nobody else watched since the line before, a gap opens there.
void Timeline::EndWatches(const Event& event, Moment at) {
    const auto ends = [&](const Writer& writer) {
        return at - writer.last > kSilence || (event.kind == EventKind::Watch && writer.id == event.writer);
    };
    const bool covered = !std::all_of(writers_.begin(), writers_.end(), ends);
    std::vector<DWORD> ended;
    for (const Writer& writer : writers_) {
        if (ends(writer)) ended.push_back(writer.id);
    }
    std::erase_if(writers_, ends);
    if (!covered && open_.state != PeriodState::Unknown) {
        GapOpens(*last_, Cause::Silent);
        beforeGap_->silent = std::move(ended);
    }
}

// The writer of the line watches on, or from it (true), or watches no more.
bool Timeline::Heard(const Event& event, Moment at) {
    const auto writer =
        std::find_if(writers_.begin(), writers_.end(), [&](const Writer& w) { return w.id == event.writer; });
    const bool returning = writer == writers_.end();
    if (event.kind == EventKind::Unwatch) {
        if (!returning) writers_.erase(writer);
    } else if (returning) {
        writers_.push_back({event.writer, at});
    } else {
        writer->last = at;
    }
    return returning;
}

void Timeline::GapOpens(Moment at, Cause cause) {
    beforeGap_ = Known{open_, since_, {}};
    Begin(at, PeriodState::Unknown, cause);
}

// The silent writer's model of the tracker saw no change it did not write.
void Timeline::Resume(Moment at) {
    const Known known = std::move(*beforeGap_);
    beforeGap_.reset();
    if (known.period.state == PeriodState::Up) {
        Begin(at, PeriodState::Up, known.period.cause);
        since_ = known.since;
    } else {
        Begin(at, PeriodState::Down, Cause::NotRunning);
    }
}

void Timeline::Begin(Moment at, PeriodState state, Cause cause, std::optional<DWORD> exitCode) {
    std::uint32_t words = 0;
    // A run or a stop within one second of the record's clock is kept all the same: the stop
    // counts.
    if (at > open_.start || open_.state != PeriodState::Unknown) {
        open_.end = at;
        closed_.push_back(open_);
    } else {
        words = open_.words;  // an unknown time that ended as it began hands its words on
    }
    open_ = Period{at, at, state, cause, exitCode, words};
    since_.reset();
}

void Timeline::Up(const Event& event, Moment at) {
    const std::optional<Moment> since = event.since ? std::optional<Moment>(std::min(*event.since, at)) : std::nullopt;
    if (open_.state == PeriodState::Up && (!since || !since_ || since == since_)) {
        if (Rank(event.cause) > Rank(open_.cause)) open_.cause = event.cause;
        if (!since_) since_ = since;
        return;
    }
    // The machine asleep, the tracker served nobody, whatever process it was.
    const bool sameRun = open_.state == PeriodState::Unknown && open_.cause != Cause::Sleep && since && beforeGap_ &&
                         beforeGap_->period.state == PeriodState::Up && beforeGap_->since == since &&
                         !closed_.empty() && closed_.back().state == PeriodState::Up &&
                         closed_.back().end == open_.start;
    beforeGap_.reset();
    if (since && *since > knownUntil_) {
        Begin(std::max(*since, open_.start), PeriodState::Up, event.cause);
    } else if (sameRun) {
        const std::uint32_t words = open_.words;
        open_ = closed_.back();
        closed_.pop_back();
        if (words != 0) open_.words = words;
    } else {
        Begin(at, PeriodState::Up, event.cause);
    }
    since_ = since;
}

void Timeline::Down(const Event& event, Moment at) {
    beforeGap_.reset();
    if (open_.state == PeriodState::Down) {
        if (!open_.exitCode) open_.exitCode = event.exitCode;
        if (Rank(event.cause) > Rank(open_.cause)) open_.cause = event.cause;
        return;
    }
    Begin(at, PeriodState::Down, event.cause, event.exitCode);
}

std::vector<Period> Timeline::Periods(Moment now) const {
    if (!last_) return {};
    std::vector<Period> periods;
    periods.reserve(closed_.size() + 1);
    periods.assign(closed_.begin(), closed_.end());
    const bool watching = std::any_of(writers_.begin(), writers_.end(),
                                      [&](const Writer& writer) { return now <= writer.last + kSilence; });
    Period open = open_;
    open.end = watching ? std::max(now, *last_) : *last_;
    if (open.end > open.start) periods.push_back(open);
    return periods;
}

std::wstring_view Timeline::Words(const Period& period) const {
    return period.words == 0 || period.words > words_.size() ? std::wstring_view() : words_[period.words - 1];
}

}  // namespace kvztl
