// The tracker's service as the strip meets it through the service control manager: notices
// that go on whatever the client does within the call that arms them, a stop asked while one
// is under way, and stops refused that do not erase the one that went out.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/signal_wait.h"
#include "support/test_support.h"
#include "tracker/tracker_control.h"
#include "tracker/tracker_service.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;

// The stand-in tracker as a service whose stop, like its start, takes a moment.
class SlowService : public ::testing::Test {
protected:
    SlowService() : service_(L"KvZtl Slow Tracker", L"\"" + test::StandInFolder() + L"\\bnbt.exe\" -s -slow-stop") {}
    ~SlowService() override { test::EndAllTrackers(); }
    const std::wstring& name() const { return service_.name(); }
    DWORD State() const { return test::ServiceState(name()); }
    bool WaitForState(DWORD state) const {
        return test::PumpUntil([&] { return State() == state; }, 10s);
    }

private:
    test::ScopedService service_;
};

using ServiceWatchTest = SlowService;
using DirectStop = SlowService;

// NotifyServiceStatusChangeW as the client may make it: it waits alertably within the call,
// so that a notice due at once (the service is in a state asked for) comes before it returns.
DWORD WINAPI NotifyWaitingAlertably(SC_HANDLE service, DWORD mask, PSERVICE_NOTIFYW notify) {
    const DWORD result = NotifyServiceStatusChangeW(service, mask, notify);
    SleepEx(500, TRUE);
    return result;
}

TEST_F(ServiceWatchTest, GoesOnWhenANoticeComesWithinTheCallThatArmsIt) {
    ASSERT_EQ(ControlServiceDirectly(name(), true), ERROR_SUCCESS);
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING));
    const UniqueWindow window = test::CreatePlainWindow();
    std::vector<DWORD> states;
    ServiceWatch watch(
        window.get(), WM_APP, [this] { return name(); }, &NotifyWaitingAlertably);
    // The strip's loop: waiting alertably, and tending the watch at each poll.
    const auto serve = [&](DWORD until) {
        for (const auto end = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < end;) {
            WaitForWork(10);
            MSG msg{};
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.hwnd == window.get() && msg.message == WM_APP) {
                    states.push_back(static_cast<DWORD>(msg.wParam));
                } else {
                    DispatchMessageW(&msg);
                }
            }
            if (!states.empty() && states.back() == until) return true;
            watch.Tend();
        }
        return false;
    };
    ASSERT_TRUE(serve(SERVICE_RUNNING)) << "no notice of the running service";
    ASSERT_EQ(ControlServiceDirectly(name(), false), ERROR_SUCCESS);
    EXPECT_TRUE(serve(SERVICE_STOPPED)) << "the watch was never armed again";
}

TEST_F(DirectStop, AStopAskedWhileOneIsUnderWayIsDone) {
    ASSERT_EQ(ControlServiceDirectly(name(), true), ERROR_SUCCESS);
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING));
    ASSERT_TRUE(test::PumpUntil([&] { return ControlServiceDirectly(name(), false) == ERROR_SUCCESS; }, 10s));
    EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_STOP_PENDING));
    EXPECT_EQ(ControlServiceDirectly(name(), false), ERROR_SUCCESS) << "a second double-click while it stops";
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED));
    EXPECT_EQ(ControlServiceDirectly(name(), false), ERROR_SUCCESS) << "stopped already";
    EXPECT_EQ(ControlServiceDirectly(std::wstring(L"KvZtl No Such Service"), false), std::nullopt);
    EXPECT_EQ(ControlServiceDirectly(std::nullopt, true), std::nullopt);
}

TEST(TrackerControlStops, ARefusedStopLeavesTheTimeOfTheOneThatWentOut) {
    const UniqueWindow window = test::CreatePlainWindow();
    DWORD answer = ERROR_SUCCESS;
    TrackerControl control(window.get(), WM_APP, WM_APP + 1, Launcher(), [&answer](bool) { return answer; });
    const auto run = [&](TrackerAction action) {
        EXPECT_TRUE(control.Run(action, window.get(), L""));
        EXPECT_TRUE(control.LastStopAsked()) << "a stop under way counts";
        EXPECT_TRUE(test::PumpUntil([&] { return !control.TakeFinished().empty(); }, 10s));
    };
    EXPECT_EQ(control.LastStopAsked(), std::nullopt);
    run(TrackerAction::Stop);
    const auto wentOut = control.LastStopAsked();
    ASSERT_TRUE(wentOut);

    answer = ERROR_ACCESS_DENIED;  // a second stop, refused
    run(TrackerAction::Stop);
    EXPECT_EQ(control.LastStopAsked(), wentOut);

    TrackerControl refused(window.get(), WM_APP, WM_APP + 1, Launcher(),
                           [](bool) { return DWORD{ERROR_ACCESS_DENIED}; });
    ASSERT_TRUE(refused.Run(TrackerAction::Stop, window.get(), L""));
    ASSERT_TRUE(test::PumpUntil([&] { return !refused.TakeFinished().empty(); }, 10s));
    EXPECT_EQ(refused.LastStopAsked(), std::nullopt) << "a stop that never went out asked nothing";
}

}  // namespace
}  // namespace kvztl
