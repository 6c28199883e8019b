// `make soak`: kv-ztl.exe left running while the tracker service is started or stopped by a
// double-click every two seconds and the settings window opens and closes every tenth time.
// Prints the figures after a warm-up and at the end; fails (exit code 1) if the program
// ended, the indicator missed more than one change, or a figure grew. KVZTL_SOAK_SECONDS sets
// the length (30 minutes by default).
//
// `make soak-fast` (kvztl_soak.exe fast): the strip made in this process with its real probe,
// waits and service notices, polled 1 ms apart, 200,000 polls (more than a day's worth at
// 500 ms), the tracker started and ended now and then by hand and through its service; fails
// if handles or the working set grew by more than 1 % from the first tenth to the end.
#include <cstdio>
#include <cstdlib>

#include <string>

#include "app/wiring.h"
#include "figures.h"
#include "platform/signal_wait.h"
#include "support/program.h"
#include "tracker/service_locator.h"
#include "tracker/tracker_service.h"
#include "vocabulary.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace test = kvztl::test;
using kvztl::bench::ProcessFigures;

void Report(const char* when, const ProcessFigures& f) {
    std::printf("%-6s cpu %7.2f s  working set %6.2f MB (peak %6.2f)  handles %4lu  GDI %4lu  USER %4lu\n", when,
                f.cpuSeconds, f.workingSetMb, f.peakWorkingSetMb, f.handles, f.gdiObjects, f.userObjects);
    std::fflush(stdout);
}

bool Check(bool holds, const char* what) {
    if (!holds) std::printf("FAILED: %s\n", what);
    return holds;
}

// Dispatches what has come, and serves the waits for up to `milliseconds`.
void Serve(DWORD milliseconds) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    kvztl::WaitForWork(milliseconds);
}

int FastSoak() {
    constexpr int kPolls = 200'000;
    constexpr int kChangeEvery = 2'000;  // polls between tracker changes
    const test::TrackerService service;
    service.Install();
    const test::ProgramStore store;
    int polls = 0;
    kvztl::StatusWindow::Services services = kvztl::ProgramServices(store.store(), nullptr);
    services.pollInterval = std::chrono::milliseconds(1);
    services.openSettings = nullptr;
    services.closed = nullptr;
    services.alert = nullptr;
    const kvztl::ProcessProbe probe = services.tracker.probe;
    services.tracker.probe = [&](std::wstring_view name, const kvztl::ProcessFilter& ignore) {
        ++polls;
        return probe(name, ignore);
    };
    auto window = kvztl::StatusWindow::Create(std::move(services));
    if (!Check(window != nullptr, "the strip was made")) return 1;
    ShowWindow(window->hwnd(), SW_SHOWNOACTIVATE);

    std::unique_ptr<test::Process> tracker;
    int changes = 0, followed = 0;
    ProcessFigures first{};
    const auto started = Clock::now();
    for (int next = kChangeEvery; polls < kPolls;) {
        // The timer cannot tick faster than every 10 ms: the rest of the polls are asked here.
        // A poll takes more than a millisecond under Wine: the next one follows at once.
        SendMessageW(window->hwnd(), WM_TIMER, kvztl::StatusWindow::BNBT_SERVICE_CHECKER_TIMER, 0);
        Serve(0);
        if (first.handles == 0 && polls >= kPolls / 10) {
            first = kvztl::bench::Measure(GetCurrentProcess());
            Report("first", first);
        }
        if (polls < next) continue;
        next += kChangeEvery;
        // In turn: a tracker by hand, ended from outside; the service started, then stopped.
        const bool running = window->StatusCaption() == kvztl::status::kRunning;
        switch (changes++ % 4) {
        case 0:
            tracker = test::StartTracker();
            break;
        case 1:
            tracker.reset();
            break;
        case 2:
            kvztl::ControlServiceDirectly(kvztl::kTrackerServiceName, true);
            break;
        case 3:
            kvztl::ControlServiceDirectly(kvztl::kTrackerServiceName, false);
            break;
        }
        const bool want = changes % 2 == 1;
        const auto asked = Clock::now();
        while (Clock::now() - asked < 3s && (window->StatusCaption() == kvztl::status::kRunning) != want) {
            Serve(1);
        }
        followed += (window->StatusCaption() == kvztl::status::kRunning) == want && running != want;
    }
    const ProcessFigures last = kvztl::bench::Measure(GetCurrentProcess());
    Report("last", last);
    std::printf("%d polls in %.0f s, %d tracker changes, %d followed by the indicator\n", polls,
                std::chrono::duration<double>(Clock::now() - started).count(), changes, followed);
    bool ok = Check(followed == changes, "the indicator followed every change");
    ok &= Check(last.handles <= first.handles * 1.01 + 1, "handles stay flat (within 1 %)");
    ok &= Check(last.workingSetMb <= first.workingSetMb * 1.01, "the working set stays flat (within 1 %)");
    window.reset();
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "fast") return FastSoak();
    const char* setting = std::getenv("KVZTL_SOAK_SECONDS");
    const auto length = std::chrono::seconds(setting ? std::atoi(setting) : 1800);
    const test::TrackerService service;
    service.Install();
    const test::ProgramStore store;
    test::RunningProgram program;
    {
        const test::StandInOnPath path;
        program = test::StartProgram();
    }
    if (!Check(program.window && program.WaitForCaption(L"STOPPED"), "the strip showed STOPPED")) return 1;

    test::Exercise exercise;
    auto cycle = [&] {
        const auto started = Clock::now();
        exercise.Round(program, 1900ms, 10);
        test::PumpUntil([&] { return Clock::now() >= started + 2s; }, 2s);
    };
    // Warm up before the first figures: fonts, the first settings window, the shell's caches.
    for (int i = 0; i < 10; ++i) cycle();
    const ProcessFigures first = kvztl::bench::Measure(program.process->handle());
    Report("first", first);
    const auto end = Clock::now() + length;
    while (Clock::now() < end && program.process->running()) cycle();
    if (!Check(program.process->running(), "the program ran to the end")) return 1;
    const ProcessFigures last = kvztl::bench::Measure(program.process->handle());
    Report("last", last);
    std::printf("%d double-clicks, %d followed by the indicator, settings window opened %d times\n", exercise.rounds,
                exercise.followed, exercise.settingsOpened);

    bool ok = Check(exercise.followed >= exercise.rounds - 1,
                    "the indicator followed every start and stop (one miss allowed)");
    ok &= Check(exercise.settingsOpened >= exercise.rounds / 10, "the settings window opened every time");
    ok &= Check(last.handles <= first.handles + 10, "handles stay flat");
    ok &= Check(last.gdiObjects <= first.gdiObjects + 10, "GDI objects stay flat");
    ok &= Check(last.userObjects <= first.userObjects + 10, "USER objects stay flat");
    ok &= Check(last.workingSetMb <= first.workingSetMb + 2.0, "the working set stays flat");
    PostMessageW(program.window, WM_CLOSE, 0, 0);
    ok &= Check(WaitForSingleObject(program.process->handle(), 10000) == WAIT_OBJECT_0, "the program closed");
    return ok ? 0 : 1;
}
