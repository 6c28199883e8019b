// `make soak`: kv-ztl.exe left running while the tracker service is started or stopped by a
// double-click every two seconds and the settings window opens and closes every tenth time.
// Prints the figures after a warm-up and at the end; fails (exit code 1) if the program
// ended, the indicator missed a change, or a figure grew. KVZTL_SOAK_SECONDS sets the length
// (30 minutes by default).
#include <cstdio>
#include <cstdlib>

#include "figures.h"
#include "support/program.h"

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

}  // namespace

int main() {
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

    bool ok = Check(exercise.followed >= exercise.rounds - 1, "the indicator followed every start and stop");
    ok &= Check(exercise.settingsOpened >= exercise.rounds / 10, "the settings window opened every time");
    ok &= Check(last.handles <= first.handles + 10, "handles stay flat");
    ok &= Check(last.gdiObjects <= first.gdiObjects + 10, "GDI objects stay flat");
    ok &= Check(last.userObjects <= first.userObjects + 10, "USER objects stay flat");
    ok &= Check(last.workingSetMb <= first.workingSetMb + 2.0, "the working set stays flat");
    PostMessageW(program.window, WM_CLOSE, 0, 0);
    ok &= Check(WaitForSingleObject(program.process->handle(), 10000) == WAIT_OBJECT_0, "the program closed");
    return ok ? 0 : 1;
}
