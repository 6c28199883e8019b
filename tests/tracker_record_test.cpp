// The record as the program keeps it: what the tracker's model writes of each start, stop and
// failure, how watching begins and ends with the session and the machine's sleep, a record
// that cannot be written, switched off or cleared, and the line the tooltips gain.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "record/calendar.h"
#include "record/tracker_record.h"
#include "store/choices.h"
#include "support/window_test.h"
#include "platform/window.h"
#include "tracker/tracker_model.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;

// The journal's lines as a person reads them: what each says, without its time and writer.
std::vector<std::string> Said(const std::wstring& folder) {
    std::vector<std::string> said;
    const Journal journal(folder);
    journal.Read(Now() + kOneHour, [&](const Event& event) {
        std::string line = FormatLine(event);
        line = line.substr(line.find(' ', line.find(' ') + 1) + 1);  // past the time and the writer
        if (line.back() == '\n') line.pop_back();
        if (line != "watching") said.push_back(line.substr(0, line.find(" 20")));  // not the process's start
    });
    return said;
}

// The record's window of this test's own, not of a KV-ZTL that runs besides.
HWND RecordWindow() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM result) {
            wchar_t name[32];
            if (GetClassNameW(window, name, 32) && std::wstring_view(name) == L"KVZTL_RECORD") {
                *reinterpret_cast<HWND*>(result) = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

class TheRecord : public test::WindowTest {
protected:
    void SetUp() override {
        Journal(folder).Clear();
        record = TrackerRecord::Create(
            test.store(), folder, {.cannotWrite = [this](const JournalFailure& failure) { told.push_back(failure); }});
        ASSERT_TRUE(record);
    }
    void TearDown() override {
        record.reset();
        Journal(folder).Clear();
    }
    std::unique_ptr<TrackerModel> Model() {
        TrackerModel::Services services = StandIns().tracker;
        services.serviceLocator = nullptr;
        services.record = record;
        return TrackerModel::Create(services);
    }

    const std::wstring folder = test::TempFolder(L"record") + L"\\KV-ZTL";
    std::vector<JournalFailure> told;
    std::shared_ptr<TrackerRecord> record;
};

TEST_F(TheRecord, TellsHowTheTrackerCameAndWentAndWhenWatchingBeganAndEnded) {
    auto model = Model();
    ASSERT_TRUE(model);
    struct Failures final : TrackerObserver {
        std::string words;
        void OnTrackerPolled(const TrackerModel&) override {}
        void OnTrackerFailed(const TrackerFailure& failure) override { words = test::Utf8(failure.text); }
    } failures;
    model->Observe(&failures);
    const auto run = [&](TrackerAction action) {
        model->Run(action, nullptr, test::StandInFolder());
        ASSERT_TRUE(test::PumpUntil([&] { return !model->LaunchesUnderWay(); }, 10s));
    };
    model->Poll();  // found not running
    trackerRunning = true;
    model->Poll();  // found running
    trackerRunning = false;
    model->Poll();  // gone, nobody knows how
    run(TrackerAction::Start);
    trackerRunning = true;
    model->Poll();  // started by KV-ZTL
    run(TrackerAction::Stop);
    trackerRunning = false;
    model->Poll();  // stopped as asked
    shell.result = FALSE;
    shell.error = ERROR_ACCESS_DENIED;
    run(TrackerAction::Start);
    model->Forget(&failures);

    // Asleep: nothing of the tracker is written until watching begins again, when its state is
    // written anew; awake without a resume notice, its first timer tick after says so.
    SendMessageW(RecordWindow(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    trackerRunning = true;
    model->Poll();
    SendMessageW(RecordWindow(), WM_TIMER, 2, 0);
    model->Poll();
    SendMessageW(RecordWindow(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    SendMessageW(RecordWindow(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    SendMessageW(RecordWindow(), WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    model->Poll();
    // The session's end says so, and the program's end after it says nothing more.
    SendMessageW(RecordWindow(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    SetSessionEnding(false);  // the session goes on for the tests after
    model.reset();
    ASSERT_EQ(record.use_count(), 1);
    record.reset();
    ASSERT_FALSE(failures.words.empty());
    EXPECT_EQ(Said(folder),
              (std::vector<std::string>{"watch start", "down not-running", "up found", "down vanished", "up kv-ztl",
                                        "down asked", "failed start " + failures.words, "unwatch sleep", "watch resume",
                                        "up found", "unwatch sleep", "watch resume", "up found", "unwatch logoff"}));
    EXPECT_TRUE(told.empty());
}

TEST_F(TheRecord, SaysOnceWhatItCannotWriteKeepsItMeanwhileAndCanBeSwitchedOffAndCleared) {
    // Its folder cannot be made (a file where its parent should be): told once, kept in memory.
    const std::wstring blocked = test::TempFolder(L"record-blocked") + L"\\file";
    Journal(blocked + L"\\KV-ZTL").Clear();  // what an earlier run left
    RemoveDirectoryW((blocked + L"\\KV-ZTL").c_str());
    RemoveDirectoryW(blocked.c_str());
    AdoptFileHandle(
        CreateFileW(blocked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    told.clear();
    record = TrackerRecord::Create(test.store(), blocked + L"\\KV-ZTL",
                                   {.cannotWrite = [this](const JournalFailure& failure) { told.push_back(failure); }});
    for (int i = 0; i < 3; ++i) record->Write({.kind = EventKind::Watching});
    record->Write({.kind = EventKind::Up, .cause = Cause::Found});
    test::PumpFor(100ms);  // told once the message that wrote it has been handled
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].path.rfind(blocked + L"\\KV-ZTL\\tracker-", 0), 0u) << "where";
    EXPECT_NE(told[0].error, DWORD{ERROR_SUCCESS});
    EXPECT_EQ(record->Periods(Now()).back().state, PeriodState::Up) << "kept in memory";
    // Once it can, everything kept is written.
    ASSERT_TRUE(DeleteFileW(blocked.c_str()));
    ASSERT_TRUE(CreateDirectoryW(blocked.c_str(), nullptr));
    record->Write({.kind = EventKind::Down, .cause = Cause::Vanished});
    EXPECT_EQ(record->journal().Pending(), 0u);
    EXPECT_EQ(Said(blocked + L"\\KV-ZTL"), (std::vector<std::string>{"watch start", "up found", "down vanished"}));
    record.reset();

    // Switched off: it says it stops watching, stores the choice, and writes nothing more.
    Journal(folder).Clear();
    record = TrackerRecord::Create(test.store(), folder, {});
    record->SetOn(false);
    record->Write({.kind = EventKind::Up, .cause = Cause::Found});
    EXPECT_EQ(test.store().Text(settings::kKeepTrackerRecord), L"0");
    EXPECT_TRUE(record->Summary(Now()).empty()) << "no line for the tooltips";
    record->SetOn(true);
    EXPECT_EQ(Said(folder), (std::vector<std::string>{"watch start", "unwatch exit", "watch start"}));
    record.reset();
    EXPECT_TRUE(IsOn(test.store(), choices::kKeepRecord));

    // Cleared: no month of it is left, and a new record begins.
    record = TrackerRecord::Create(test.store(), folder, {});
    const unsigned watches = record->Watches();
    EXPECT_TRUE(record->Clear());
    EXPECT_EQ(Said(folder), std::vector<std::string>{"watch start"});
    EXPECT_EQ(record->Watches(), watches + 1) << "the state is to be written anew";
}

TEST_F(TheRecord, GivesTheTooltipsALineOfUptimeAndTheLastUnaskedStop) {
    // Two days up, an hour down after a crash, up again for a day and two hours.
    const Moment now = Now();
    record.reset();
    Journal(folder).Clear();
    Journal journal(folder);
    const DWORD writer = GetCurrentProcessId() + 1;
    const auto at = [&](double hoursAgo) { return now - static_cast<Moment>(hoursAgo * kOneHour); };
    journal.Append({at(75), writer, EventKind::Watch, Cause::Start});
    journal.Append({at(75), writer, EventKind::Up, Cause::Found});
    for (Moment t = at(75) + 4 * kOneMinute; t < now; t += 4 * kOneMinute) {
        journal.Append({t, writer, EventKind::Watching});
        if (t < at(27) && t + 4 * kOneMinute >= at(27))
            journal.Append({t, writer, EventKind::Down, Cause::Exited, {}, 3});
        if (t < at(26) && t + 4 * kOneMinute >= at(26)) journal.Append({t, writer, EventKind::Up, Cause::KvZtl});
    }
    record = TrackerRecord::Create(test.store(), folder, {});
    const std::wstring line = record->Summary(now);
    EXPECT_TRUE(line.starts_with(L"Up 1 d 2 h \x00B7 ")) << line;
    // 3 days and 3 hours watched of 7 days: up all of it but an hour.
    EXPECT_NE(line.find(L" % over 7 days, "), std::wstring::npos) << line;
    EXPECT_NE(line.find(L"98.7 %"), std::wstring::npos) << "74 h of 75 up: " << line;
    EXPECT_NE(line.find(L"last unasked stop 1 d 3 h ago, exited 0x00000003"), std::wstring::npos) << line;
}

}  // namespace
}  // namespace kvztl
