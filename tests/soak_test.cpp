// kv-ztl.exe left running while the tracker comes and goes every two seconds and the
// settings window opens and closes now and then. KVZTL_SOAK_SECONDS sets the length.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "settings_window/settings_window.h"
#include "status_window/status_window.h"
#include "support/program.h"
#include "support/test_support.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

void Report(const char* when, const test::ProcessFigures& f) {
    std::printf("%-6s cpu %7.2f s  working set %6.2f MB (peak %6.2f)  handles %4lu  GDI %4lu  USER %4lu\n", when,
                f.cpuSeconds, f.workingSetMb, f.peakWorkingSetMb, f.handles, f.gdiObjects, f.userObjects);
    std::fflush(stdout);
}

TEST(Soak, FiguresStayFlatWhileTheTrackerComesAndGoes) {
    const char* setting = std::getenv("KVZTL_SOAK_SECONDS");
    const auto length = std::chrono::seconds(setting ? std::atoi(setting) : 180);
    const test::TrackerService service;
    service.Install();
    test::ProgramStore store;
    const std::wstring path = _wgetenv(L"PATH");
    SetEnvironmentVariableW(L"PATH", (test::BinDirectory() + L"\\stand-in;" + path).c_str());
    test::RunningProgram program = test::StartProgram();
    SetEnvironmentVariableW(L"PATH", path.c_str());
    ASSERT_TRUE(program.window);
    ASSERT_TRUE(program.WaitForCaption(L"STOPPED"));

    int toggles = 0, settingsOpened = 0, followed = 0;
    auto cycle = [&] {
        const auto started = Clock::now();
        const std::wstring before = test::TextOf(program.Indicator());
        test::DoubleClick(program.Indicator(), test::Delivery::Post);
        ++toggles;
        followed += program.WaitForCaption(before == L"RUNNING" ? L"STOPPED" : L"RUNNING", 1900ms);
        test::PumpUntil([&] { return Clock::now() >= started + 2s; }, 2s);
        if (toggles % 10 == 0) {
            test::DoubleClick(GetDlgItem(program.window, StatusWindow::KORVANE_ZTL_TITLE), test::Delivery::Post);
            HWND settings = nullptr;
            test::PumpUntil([&] { return (settings = FindWindowW(SettingsWindow::kClassName, nullptr)) != nullptr; },
                            3s);
            if (settings) {
                ++settingsOpened;
                test::PumpFor(500ms);
                PostMessageW(settings, WM_CLOSE, 0, 0);
                test::PumpUntil([] { return !FindWindowW(SettingsWindow::kClassName, nullptr); }, 3s);
            }
        }
    };
    // Warm up before the first figures: fonts, the first settings window, the shell's caches.
    for (int i = 0; i < 10; ++i) cycle();
    const test::ProcessFigures first = test::Measure(program.process->handle());
    Report("first", first);
    const auto end = Clock::now() + length;
    while (Clock::now() < end && program.process->running()) cycle();
    ASSERT_TRUE(program.process->running()) << "the program ended during the soak";
    const test::ProcessFigures last = test::Measure(program.process->handle());
    Report("last", last);
    std::printf("%d double-clicks, %d followed by the indicator, settings window opened %d times\n", toggles,
                followed, settingsOpened);

    EXPECT_GE(followed, toggles - 1) << "the indicator follows every start and stop";
    EXPECT_GE(settingsOpened, toggles / 10);
    EXPECT_LE(last.handles, first.handles + 10);
    EXPECT_LE(last.gdiObjects, first.gdiObjects + 10);
    EXPECT_LE(last.userObjects, first.userObjects + 10);
    EXPECT_LE(last.workingSetMb, first.workingSetMb + 2.0);

    PostMessageW(program.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(program.process->handle(), 10000), WAIT_OBJECT_0);
}

}  // namespace
}  // namespace kvztl
