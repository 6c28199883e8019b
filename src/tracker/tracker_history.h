// What the strip knows of the tracker's runs since KV-ZTL started, told in its tooltip, to
// screen readers and in the alert's balloon: "Running since 14:02 (3 h 12 min)", or when
// and how it stopped and how many stops nobody asked for. Kept in memory only.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/moment.h"

namespace kvztl {

class TrackerHistory {
public:
    // The tracker runs, since `since` (its process's start) if it did not before.
    void Running(Moment since);
    bool IsRunning() const noexcept { return state_ == State::Running; }
    // It stopped at `at`: with its exit code where known, asked to by KV-ZTL or not.
    void Stopped(Moment at, std::optional<DWORD> exitCode, bool asked);
    // A better-informed exit code for the last stop (the service's, arriving after the poll).
    void StopExitCode(DWORD exitCode);

    // Nothing before the first poll.
    std::wstring Describe(Moment now) const;
    int UnexpectedStops() const noexcept { return unexpectedStops_; }

private:
    enum class State { Unknown, Running, Stopped } state_ = State::Unknown;
    Moment since_ = 0;
    std::optional<DWORD> exitCode_;
    bool asked_ = false;
    int unexpectedStops_ = 0;
};

}  // namespace kvztl
