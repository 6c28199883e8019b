// The logic behind the strip's words: how long and since when the tracker ran, the exit code
// as Windows writes it, the verdict after a start or a stop, and the service's access entry.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "platform/system_message.h"
#include "tracker/follow_up.h"
#include "tracker/tracker_history.h"
#include "tracker/service_access.h"
#include "tracker/service_locator.h"
#include "tracker/tracker_service.h"
#include "support/test_support.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;

constexpr Moment kMinute = 600'000'000ULL;

bool Contains(const std::wstring& text, const wchar_t* part) { return text.find(part) != std::wstring::npos; }

TEST(TrackerHistory, SaysSinceWhenAndHowLongItRanAndHowItStopped) {
    EXPECT_EQ(DurationText(0, 30 * 10'000'000ULL), L"less than a minute");
    EXPECT_EQ(DurationText(0, 12 * kMinute), L"12 min");
    EXPECT_EQ(DurationText(0, (3 * 60 + 12) * kMinute), L"3 h 12 min");
    EXPECT_EQ(DurationText(0, (2 * 24 * 60 + 5 * 60 + 59) * kMinute), L"2 d 5 h");
    EXPECT_EQ(DurationText(5 * kMinute, 0), L"less than a minute") << "a clock set back";

    TrackerHistory history;
    const Moment start = Now();
    EXPECT_EQ(history.Describe(start), L"") << "before the first poll";
    history.Running(start);
    const std::wstring running = history.Describe(start + 192 * kMinute);
    EXPECT_EQ(running, L"Running since " + MomentText(start, start + 192 * kMinute, false) + L" (3 h 12 min)");

    // Killed: the exit code with the system's words; one unexpected stop.
    history.Stopped(start + 193 * kMinute, 0xC0000005, false);
    const std::wstring killed = history.Describe(start + 193 * kMinute);
    EXPECT_TRUE(killed.starts_with(L"Stopped at " + MomentText(start + 193 * kMinute, start + 193 * kMinute, true)))
        << killed;
    EXPECT_TRUE(Contains(killed, L"\nExit code 0xC0000005")) << killed;
    EXPECT_TRUE(Contains(killed, L"Unexpected stops since KV-ZTL started: 1")) << killed;
    EXPECT_FALSE(Contains(killed, L"asked to stop")) << killed;

    // Asked to stop: said so, and not counted as unexpected.
    history.Running(start + 200 * kMinute);
    EXPECT_TRUE(Contains(history.Describe(start + 200 * kMinute), L"Unexpected stops since KV-ZTL started: 1"));
    history.Stopped(start + 210 * kMinute, std::nullopt, true);
    history.StopExitCode(1067);  // the service's word, after the poll
    const std::wstring asked = history.Describe(start + 210 * kMinute);
    EXPECT_TRUE(Contains(asked, L", asked to stop by KV-ZTL")) << asked;
    EXPECT_TRUE(Contains(asked, L"Exit code 0x0000042B: ")) << asked;
    EXPECT_EQ(history.UnexpectedStops(), 1);

    // Stopped at the first poll: nothing known of a stop.
    TrackerHistory fresh;
    fresh.Stopped(start, 1, false);
    EXPECT_EQ(fresh.Describe(start), L"Stopped\nExit code " + ExitCodeText(1));
    EXPECT_EQ(fresh.UnexpectedStops(), 0);
}

TEST(TrackerHistory, WritesExitCodesAsWindowsDoes) {
    // A status code's text comes from ntdll's table, which Wine does not have.
    const std::wstring violation = ExitCodeText(0xC0000005);
    EXPECT_TRUE(violation == L"0xC0000005" || violation.starts_with(L"0xC0000005: ")) << violation;
    EXPECT_EQ(ExitCodeText(ERROR_ACCESS_DENIED), L"0x00000005: " + SystemMessage(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ExitCodeText(0x1234ABCD), L"0x1234ABCD") << "no text where the system has none";
}

TEST(FollowUp, TellsAFailedStartFromTheServiceAndAStopThatDidNotTake) {
    const auto asked = std::chrono::steady_clock::now();
    const StartFollowUp start{.owner = nullptr, .asked = asked, .serviceStarted = false, .serviceStoppedWith = {}};
    int reads = 0;
    const auto facts = [&](ServiceFacts f) {
        return std::function<ServiceFacts()>([&reads, f] {
            ++reads;
            return f;
        });
    };
    const ServiceFacts fine{.installed = true, .disabled = false, .state = SERVICE_START_PENDING, .exitCode = 0};

    EXPECT_EQ(StartVerdict(start, true, false, asked, facts(fine)), std::wstring()) << "running: done";
    EXPECT_EQ(StartVerdict(start, false, false, asked + 20s, facts(fine)), std::nullopt) << "the command still runs";
    EXPECT_EQ(reads, 0) << "the service is read only once the command has ended";
    EXPECT_EQ(StartVerdict(start, false, true, asked + 1s, facts(fine)), std::nullopt) << "still time";
    EXPECT_TRUE(StartVerdict(start, false, true, asked + 10s, facts(fine))->starts_with(L"The tracker did not start"));

    const auto missing = StartVerdict(start, false, true, asked, facts({}));
    ASSERT_TRUE(missing);
    EXPECT_EQ(*missing,
              L"The tracker's service is not installed. Tick \"ENABLE SERVICE INSTALLATION MANAGEMENT\" "
              L"in the settings window, then click \"INSTALL BNBT SERVICE\".");
    EXPECT_EQ(*missing, ServiceRefusalText(true, ERROR_SERVICE_DOES_NOT_EXIST));
    ServiceFacts disabled = fine;
    disabled.disabled = true;
    EXPECT_TRUE(
        StartVerdict(start, false, true, asked, facts(disabled))->starts_with(L"The tracker's service is disabled."));
    EXPECT_EQ(*StartVerdict(start, false, true, asked, facts(disabled)),
              ServiceRefusalText(true, ERROR_SERVICE_DISABLED));

    StartFollowUp bounced = start;
    bounced.serviceStarted = true;
    bounced.serviceStoppedWith = 0xC0000005;
    EXPECT_TRUE(StartVerdict(bounced, false, false, asked, facts(fine))
                    ->starts_with(L"The tracker started and stopped again (exit code 0xC0000005"));
    EXPECT_TRUE(ServiceRefusalText(false, ERROR_ACCESS_DENIED).starts_with(L"Could not stop the tracker's service: "));

    EXPECT_EQ(StopVerdict(asked, false, asked + 40s), std::wstring());
    EXPECT_EQ(StopVerdict(asked, true, asked + 29s), std::nullopt);
    EXPECT_EQ(*StopVerdict(asked, true, asked + 30s), L"The tracker still runs 30 seconds after it was asked to stop.");
}

TEST(ServiceSearch, TheRegistryShowsAServiceMadeOrRemovedWithoutReadingTheServices) {
    const std::optional<ServicesStamp> before = ReadServicesStamp();
    ASSERT_TRUE(before);
    EXPECT_EQ(ReadServicesStamp(), before) << "nothing changed";
    std::optional<ServicesStamp> made;
    {
        const test::ScopedService service(L"KvZtlStampTest", L"C:\\Trackers\\bnbt.exe -s");
        made = ReadServicesStamp();
    }
    EXPECT_NE(made, before);
    EXPECT_NE(ReadServicesStamp(), made);
}

TEST(ServiceSearch, ReadsTheProgramOfAServicesCommandLine) {
    EXPECT_EQ(ProgramFileOf(L"\"C:\\Program Files\\BNBT\\bnbt.exe\" -s"), L"bnbt.exe");
    EXPECT_EQ(ProgramFileOf(L"C:\\BNBT\\bnbt.exe -s"), L"bnbt.exe");
    EXPECT_EQ(ProgramFileOf(L"C:\\Program Files\\BNBT\\BNBT.EXE -s"), L"BNBT.EXE") << "unquoted, with spaces";
    EXPECT_EQ(ProgramFileOf(L"C:\\Program Files\\BNBT\\bnbt.exe"), L"bnbt.exe");
    EXPECT_EQ(ProgramFileOf(L"C:/trackers/bnbt.exe"), L"bnbt.exe");
    EXPECT_EQ(ProgramFileOf(L"C:\\Windows\\system32\\svchost.exe -k netsvcs -p"), L"svchost.exe");
    EXPECT_EQ(ProgramFileOf(L"C:\\bnbt.exe.old\\other.exe -s"), L"other.exe");
    EXPECT_EQ(ProgramFileOf(L"C:\\Drivers\\filter.sys -x"), L"filter.sys") << "no .exe: the first word";
    EXPECT_EQ(ProgramFileOf(L""), L"");
}

// The service control manager's notice of a service created, as Windows sends it and Wine
// never does: armed by the search, and delivered on the search's thread when told.
class ManagerNotices {
public:
    TrackerServiceLocator::Calls Calls(std::chrono::milliseconds lookAgain) {
        TrackerServiceLocator::Calls calls;
        calls.notify = [this](SC_HANDLE, DWORD, PSERVICE_NOTIFYW notify) { return Arm(notify); };
        calls.lookAgain = lookAgain;
        return calls;
    }
    // Tells the search that `name` was created; false while nothing is armed.
    bool Deliver(const std::wstring& name) {
        const std::lock_guard lock(mutex_);
        if (!armed_) return false;
        auto* names = static_cast<wchar_t*>(LocalAlloc(LPTR, (name.size() + 3) * sizeof(wchar_t)));
        names[0] = L'/';
        std::copy(name.begin(), name.end(), names + 1);
        armed_->pszServiceNames = names;
        armed_->dwNotificationStatus = ERROR_SUCCESS;
        const auto call = [](ULONG_PTR notify) {
            auto* arrived = reinterpret_cast<SERVICE_NOTIFYW*>(notify);
            arrived->pfnNotifyCallback(arrived);
        };
        QueueUserAPC(call, thread_.get(), reinterpret_cast<ULONG_PTR>(std::exchange(armed_, nullptr)));
        return true;
    }

private:
    DWORD Arm(PSERVICE_NOTIFYW notify) {
        const std::lock_guard lock(mutex_);
        armed_ = notify;
        if (!thread_) thread_.reset(OpenThread(THREAD_SET_CONTEXT, FALSE, GetCurrentThreadId()));
        return ERROR_SUCCESS;
    }

    std::mutex mutex_;
    PSERVICE_NOTIFYW armed_ = nullptr;
    UniqueHandle thread_;
};

TEST(ServiceSearch, FindsAServiceTheNoticeNamesAndLooksAgainSoonAfterALookThatFailed) {
    const std::wstring name = L"KvZtlSearchTest";
    const auto found = [&name](const TrackerServiceLocator& locator, std::chrono::milliseconds within) {
        return test::PumpUntil([&] { return locator.Find() == name; }, within);
    };
    // A service read once, then made again under its name for the tracker's program, is read
    // again when the manager's notice names it, long before the hourly reading of them all.
    {
        ManagerNotices notices;
        std::optional<test::ScopedService> service(std::in_place, name, L"C:\\Other\\other.exe -s");
        TrackerServiceLocator::Calls calls = notices.Calls(1h);
        std::atomic<int> reads = 0;
        calls.runsTheTracker = [&](SC_HANDLE manager, const std::wstring& read) {
            if (read == name) ++reads;
            return RunsTheTracker(manager, read);
        };
        const TrackerServiceLocator locator(calls);
        ASSERT_TRUE(test::PumpUntil([&] { return reads > 0 && notices.Deliver(L"KvZtlNotThere"); }, 5s));
        service.reset();
        // Gone once the search has closed its last handle to it.
        ASSERT_TRUE(test::PumpUntil([&] { return test::ServiceState(name) == 0; }, 5s));
        service.emplace(name, L"C:\\Trackers\\bnbt.exe -s");
        EXPECT_FALSE(found(locator, 1s)) << "read again without a notice";
        ASSERT_TRUE(test::PumpUntil([&] { return notices.Deliver(name); }, 5s));
        EXPECT_TRUE(found(locator, 5s)) << "the notice's service was not read again";
    }
    // Its configuration could not be read at the first look (a service reconfigured meanwhile):
    // read again within the minute, with the notice armed, and where the registry shows no
    // change.
    const test::ScopedService service(name, L"C:\\Trackers\\bnbt.exe -s");
    for (const DWORD notifyAnswer : {DWORD{ERROR_SUCCESS}, DWORD{ERROR_CALL_NOT_IMPLEMENTED}}) {
        std::atomic<int> refused = 0;
        TrackerServiceLocator::Calls calls;
        calls.notify = [notifyAnswer](SC_HANDLE, DWORD, PSERVICE_NOTIFYW) { return notifyAnswer; };
        calls.runsTheTracker = [&](SC_HANDLE manager, const std::wstring& read) -> std::optional<bool> {
            if (read == name && refused++ == 0) return std::nullopt;
            return RunsTheTracker(manager, read);
        };
        calls.lookAgain = 200ms;
        const TrackerServiceLocator locator(calls);
        EXPECT_TRUE(found(locator, 5s)) << "not looked at again, notice answered " << notifyAnswer;
        EXPECT_GE(refused, 2) << "read once refused, and again";
    }
}

size_t Count(const std::wstring& text, const std::wstring& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST(ServiceAccess, FindsAddsAndRemovesThisUsersEntryAsTheSystemWritesIt) {
    const std::wstring sid = L"S-1-5-21-1-2-3-1000";
    const std::wstring dacl =
        L"D:(A;;CCLCSWRPWPDTLOCRRC;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)(A;;CCLCSWLOCRRC;;;IU)";
    const auto has = [&sid](const std::wstring& sddl) {
        return HasStartStopEntry(test::AsTheSystemWritesIt(sddl), sid);
    };

    // The entry KV-ZTL adds comes back with its rights in the system's order, and is found.
    const std::wstring granted = test::AsTheSystemWritesIt(dacl + L"(A;;RPWPLC;;;" + sid + L")");
    EXPECT_TRUE(Contains(granted, (L"(A;;LCRPWP;;;" + sid + L")").c_str())) << granted;
    EXPECT_TRUE(HasStartStopEntry(granted, sid));
    EXPECT_FALSE(has(dacl));
    EXPECT_FALSE(HasStartStopEntry(granted, L"S-1-5-21-1-2-3-100")) << "another account's entry";
    EXPECT_TRUE(has(dacl + L"(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;" + sid + L")")) << "full control allows it too";
    EXPECT_FALSE(has(dacl + L"(A;;LCRP;;;" + sid + L")")) << "start without stop";
    EXPECT_FALSE(has(dacl + L"(D;;RPWPLC;;;" + sid + L")")) << "an entry that denies";

    // Added once, at the end of the DACL, before an audit list; a second choice takes it out.
    const std::wstring audited = test::AsTheSystemWritesIt(dacl + L"S:(AU;FA;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;WD)");
    const std::optional<std::wstring> added = WithStartStopEntry(audited, sid);
    ASSERT_TRUE(added);
    EXPECT_TRUE(HasStartStopEntry(*added, sid)) << *added;
    EXPECT_EQ(Count(*added, sid), 1u) << *added;
    EXPECT_TRUE(added->starts_with(test::AsTheSystemWritesIt(dacl))) << *added;
    EXPECT_TRUE(Contains(*added, L"S:(AU;FA;")) << *added;
    EXPECT_EQ(WithStartStopEntry(*added, sid), *added) << "never twice";
    EXPECT_EQ(WithoutOwnStartStopEntry(test::AsTheSystemWritesIt(*added), sid), audited);
    EXPECT_EQ(WithoutOwnStartStopEntry(granted, sid), test::AsTheSystemWritesIt(dacl));
    const std::wstring twice =
        test::AsTheSystemWritesIt(L"D:P(A;;RPWPLC;;;" + sid + L")(A;;LC;;;IU)(A;;RPWPLC;;;" + sid + L")");
    EXPECT_EQ(WithoutOwnStartStopEntry(twice, sid), test::AsTheSystemWritesIt(L"D:P(A;;LC;;;IU)"))
        << "protected stays protected";

    // An administrator's full control of the service for this account allows it too, but is
    // not KV-ZTL's: taking KV-ZTL's entry out leaves it, and it is never taken for KV-ZTL's.
    const std::wstring full = L"(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;" + sid + L")";
    const std::wstring both = test::AsTheSystemWritesIt(dacl + full + L"(A;;RPWPLC;;;" + sid + L")");
    EXPECT_TRUE(HasOwnStartStopEntry(both, sid));
    EXPECT_FALSE(HasOwnStartStopEntry(test::AsTheSystemWritesIt(dacl + full), sid));
    EXPECT_FALSE(HasOwnStartStopEntry(test::AsTheSystemWritesIt(dacl + L"(A;ID;RPWPLC;;;" + sid + L")"), sid))
        << "an entry inherited from elsewhere is not KV-ZTL's";
    EXPECT_EQ(WithoutOwnStartStopEntry(both, sid), test::AsTheSystemWritesIt(dacl + full));
    EXPECT_EQ(WithStartStopEntry(test::AsTheSystemWritesIt(dacl + full), sid), test::AsTheSystemWritesIt(dacl + full))
        << "added beside rights already there";

    EXPECT_EQ(WithStartStopEntry(L"not a descriptor", sid), std::nullopt);
    EXPECT_EQ(WithStartStopEntry(dacl, L"not a sid"), std::nullopt);

    EXPECT_EQ(SdsetParameters(L"BNBT Service", L"D:(A;;LC;;;IU)"), L"sdset \"BNBT Service\" \"D:(A;;LC;;;IU)\"");
    EXPECT_TRUE(CurrentUserSid().starts_with(L"S-1-5-")) << CurrentUserSid();
}

}  // namespace
}  // namespace kvztl
