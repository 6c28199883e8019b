#include "tracker/tracker_history.h"

#include "platform/system_message.h"

namespace kvztl {

void TrackerHistory::Running(Moment since) {
    if (state_ == State::Running) return;
    state_ = State::Running;
    since_ = since;
}

void TrackerHistory::Stopped(Moment at, std::optional<DWORD> exitCode, bool asked) {
    if (state_ == State::Stopped) return;
    // Stopped at the first poll: KV-ZTL knows nothing of how.
    const bool seenRunning = state_ == State::Running;
    state_ = State::Stopped;
    since_ = seenRunning ? at : 0;
    exitCode_ = exitCode;
    asked_ = asked;
    if (seenRunning && !asked) ++unexpectedStops_;
}

void TrackerHistory::StopExitCode(DWORD exitCode) {
    if (state_ == State::Stopped && since_ != 0) exitCode_ = exitCode;
}

std::wstring TrackerHistory::Describe(Moment now) const {
    std::wstring text;
    if (state_ == State::Running) {
        text = L"Running since " + MomentText(since_, now, false) + L" (" + DurationText(since_, now) + L")";
    } else if (state_ == State::Stopped) {
        text = since_ == 0 ? L"Stopped" : L"Stopped at " + MomentText(since_, now, true);
        if (asked_) text += L", asked to stop by KV-ZTL";
        if (exitCode_) text += L"\nExit code " + ExitCodeText(*exitCode_);
    } else {
        return text;
    }
    if (unexpectedStops_ > 0) {
        text += L"\nUnexpected stops since KV-ZTL started: " + std::to_wstring(unexpectedStops_);
    }
    return text;
}

}  // namespace kvztl
