// The tracker's record as the program keeps it: the journal on disk, the timeline built from
// it, and what KV-ZTL itself adds while it runs (when it began and stopped watching, and why:
// exit, logoff, shutdown, sleep and resume; a line every 4 minutes while it watches, so that a
// crash turns at most that much watched time into unknown). The tracker's model writes the
// tracker's events to it; the windows read periods and figures from it.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/message_window.h"
#include "record/figures.h"
#include "record/journal.h"
#include "record/timeline.h"
#include "store/settings_store.h"

namespace kvztl {

class RecordListener {
public:
    // Something was recorded, the record was cleared, or it was switched on or off.
    virtual void OnRecordChanged() = 0;

protected:
    RecordListener() = default;
    ~RecordListener() = default;
    RecordListener(const RecordListener&) = default;
    RecordListener& operator=(const RecordListener&) = default;
};

class TrackerRecord {
public:
    struct Hooks {
        // The record cannot be written: said once a run, with the file and the system's reason.
        std::function<void(const JournalFailure& failure)> cannotWrite;
    };

    // Reads the journal in `folder` (unless the user switched the record off) and begins
    // watching. Null if its window could not be made.
    static std::unique_ptr<TrackerRecord> Create(const SettingsStore& store, std::wstring folder, Hooks hooks = {});
    // Stops watching ("unwatch exit"), unless the session's end has said so already.
    ~TrackerRecord();
    TrackerRecord(const TrackerRecord&) = delete;
    TrackerRecord& operator=(const TrackerRecord&) = delete;

    void Listen(RecordListener* listener);
    void Forget(RecordListener* listener) noexcept;

    // Writes the event (its time now and this process as its writer, where not given) to
    // the journal, flushed, and then to the timeline; nothing while the record is off, and
    // nothing of the tracker while KV-ZTL does not watch (the session ended, or asleep). What
    // cannot be written is said once, after the message that wrote it.
    void Write(Event event);

    // "Keep a record of the tracker": stored beside the other choices. Off, nothing is
    // written (the time since is unknown); on again, watching begins anew.
    bool On() const noexcept { return on_; }
    void SetOn(bool on);
    // Deletes every month of the journal and begins a new record; false if a file stayed.
    bool Clear();
    // Counts the times watching began: after each, the tracker's state is to be written anew.
    unsigned Watches() const noexcept { return watches_; }

    // Every period, oldest first; the one still open ends now.
    std::vector<Period> Periods(Moment now) const { return timeline_.Periods(now); }
    std::wstring_view Words(const Period& period) const { return timeline_.Words(period); }
    // The line of the tooltips: how long the tracker has been up (or down), its share of the
    // last 7 days with how much of them was watched, and the last stop nobody asked for with
    // its cause and how long ago. Empty while nothing is recorded.
    std::wstring Summary(Moment now) const;

    const Journal& journal() const noexcept { return journal_; }
    // What the reading at start skipped.
    const JournalReading& Reading() const noexcept { return reading_; }

    static constexpr UINT kHeartbeatMilliseconds = 4 * 60'000;

private:
    TrackerRecord(const SettingsStore& store, std::wstring folder, Hooks hooks);
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
    void Load();
    void BeginWatching(Cause cause);
    void EndWatching(Cause cause);
    // The machine runs again after a sleep: watching begins anew, once.
    void Awake();
    void Tell();

    const SettingsStore& store_;
    Hooks hooks_;
    Journal journal_;
    Timeline timeline_;
    JournalReading reading_;
    std::unique_ptr<MessageWindow> window_;
    std::vector<RecordListener*> listeners_;
    bool on_ = false;
    bool watching_ = false;
    bool asleep_ = false;  // watching ended as the machine went to sleep
    bool toldFailure_ = false;
    // The summary as last worded, and for which minute and change.
    mutable std::wstring summary_;
    mutable Moment summaryMinute_ = 0;
    mutable unsigned summaryChange_ = ~0U;
    unsigned changes_ = 0;
    unsigned watches_ = 0;
};

}  // namespace kvztl
