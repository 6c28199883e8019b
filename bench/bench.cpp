// `make bench`: the probe against a bare snapshot walk, the idle program against a floor
// program, status latency, and the executable. Prints a Markdown report and writes it to the
// file named on the command line.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "figures.h"
#include "history_window/history_window.h"
#include "record/calendar.h"
#include "record/journal.h"
#include "status_window/status_window.h"
#include "support/pe_image.h"
#include "support/program.h"
#include "tracker/process_probe.h"
#include "tracker/service_locator.h"
#include "tracker/tracker_service.h"
#include "vocabulary.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace test = kvztl::test;
using kvztl::bench::Measure;
using kvztl::bench::ProcessFigures;

std::ostringstream report;

void Line(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    report << text << "\n";
    std::printf("%s\n", text);
    std::fflush(stdout);
}

void WalkProcesses() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    }
    CloseHandle(snapshot);
}

// Microseconds a call of each, the best of several rounds (the least disturbed by the
// machine); the rounds of the two alternate so that both see the same machine.
template <typename Fn1, typename Fn2>
std::pair<double, double> MicrosecondsPerCall(Fn1 first, Fn2 second, int calls = 20, int rounds = 15) {
    auto time = [calls](auto fn) {
        const auto start = Clock::now();
        for (int i = 0; i < calls; ++i) fn();
        return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / calls;
    };
    std::pair<double, double> best{1e300, 1e300};
    for (int round = 0; round < rounds; ++round) {
        best.first = std::min(best.first, time(first));
        best.second = std::min(best.second, time(second));
    }
    return best;
}

size_t ProcessCount() {
    size_t count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) ++count;
    CloseHandle(snapshot);
    return count;
}

void BenchProbe() {
    Line("## Process probe\n");
    Line("Cost of one `IsProcessRunning(\"BNBT.exe\")` (no such process: the whole list is walked) against a bare");
    Line("snapshot walk, the floor. Best of 15 alternating rounds of 20 calls each.\n");
    Line("| extra processes | processes in all | floor (us/call) | probe (us/call) | probe / floor |");
    Line("|---:|---:|---:|---:|---:|");
    const std::wstring folder = test::TempFolder(L"bench-idle");
    const std::wstring idle = folder + L"\\idle.exe";
    CopyFileW((test::StandInFolder() + L"\\bnbt.exe").c_str(), idle.c_str(), FALSE);
    std::vector<std::unique_ptr<test::Process>> extra;
    for (size_t target : {10u, 100u, 400u}) {
        while (extra.size() < target) extra.push_back(std::make_unique<test::Process>(idle, L"", folder));
        Sleep(2000);  // let the new processes settle
        const auto [floor, probe] = MicrosecondsPerCall(WalkProcesses, [] { kvztl::IsProcessRunning(L"BNBT.exe"); });
        Line("| %zu | %zu | %.0f | %.0f | %.2f |", target, ProcessCount(), floor, probe, probe / floor);
    }
    extra.clear();
    test::EndAll(L"idle.exe");
}

void Row(double cpuGoal, const ProcessFigures& program, const ProcessFigures& floor, const ProcessFigures& programStart,
         const ProcessFigures& floorStart) {
    const double programCpu = program.cpuSeconds - programStart.cpuSeconds;
    const double floorCpu = floor.cpuSeconds - floorStart.cpuSeconds;
    Line("| CPU seconds in 60 s | %.3f | %.3f | %.2fx (goal <= %.2fx) |", programCpu, floorCpu,
         floorCpu > 0 ? programCpu / floorCpu : 0.0, cpuGoal);
    Line("| peak working set (MB) | %.2f | %.2f | +%.2f MB (goal <= +1 MB) |", program.peakWorkingSetMb,
         floor.peakWorkingSetMb, program.peakWorkingSetMb - floor.peakWorkingSetMb);
    Line("| handles | %lu | %lu | %+ld |", program.handles, floor.handles,
         static_cast<long>(program.handles) - static_cast<long>(floor.handles));
    if (program.gdiObjects + program.userObjects + floor.gdiObjects + floor.userObjects == 0) {
        Line("| GDI / USER objects | not reported | not reported | (Wine's GetGuiResources answers 0) |");
    } else {
        Line("| GDI objects | %lu | %lu | |", program.gdiObjects, floor.gdiObjects);
        Line("| USER objects | %lu | %lu | |", program.userObjects, floor.userObjects);
    }
}

// kv-ztl.exe and the floor program side by side while `during` runs: their CPU against `cpuGoal`,
// their working sets and handles.
void BesideTheFloor(const test::RunningProgram& program, double cpuGoal, const std::function<void()>& during) {
    test::Process floor(test::BinDirectory() + L"\\bench-floor.exe", L"");
    test::PumpFor(2s);  // past start-up
    const auto programStart = Measure(program.process->handle());
    const auto floorStart = Measure(floor.handle());
    during();
    const auto programEnd = Measure(program.process->handle());
    const auto floorEnd = Measure(floor.handle());
    Line("| figure | kv-ztl.exe | floor | kv-ztl against floor |");
    Line("|---|---:|---:|---:|");
    Row(cpuGoal, programEnd, floorEnd, programStart, floorStart);
    PostMessageW(program.window, WM_CLOSE, 0, 0);
    WaitForSingleObject(program.process->handle(), 10000);
}

void BenchIdle(bool icon) {
    Line(icon ? "\n## Idle for 60 s, with the icon in the notification area\n"
              : "\n## Idle for 60 s, without the icon (\"NotificationIcon\" \"0\")\n");
    Line("kv-ztl.exe and the floor program (a bare window whose 500 ms timer takes and walks one");
    Line("process snapshot) side by side: tracker running for 30 s, then stopped for 30 s.\n");
    test::ProgramStore store;
    if (!icon) store.store().Save(kvztl::settings::kNotificationIcon, L"0");
    const test::RunningProgram program = test::StartProgram();
    BesideTheFloor(program, 1.05, [] {
        {
            auto tracker = test::StartTracker();
            test::PumpFor(30s);
        }
        test::PumpFor(30s);
    });
}

void BenchTrackerRunning() {
    Line("\n## The tracker running for 60 s\n");
    Line("kv-ztl.exe and the floor program side by side while the tracker runs throughout: kv-ztl.exe holds");
    Line("the tracker's process and takes no process snapshot meanwhile, the floor takes one every 500 ms.\n");
    test::ProgramStore store;
    auto tracker = test::StartTracker();
    const test::RunningProgram program = test::StartProgram();
    program.WaitForCaption(L"RUNNING");
    BesideTheFloor(program, 0.5, [] { test::PumpFor(60s); });
}

// A year of a tracker that stops every ten minutes and is started again a minute later, with
// the watching lines between, written straight into the journal's month files as KV-ZTL would
// have written them; the number of events.
size_t WriteYear(const kvztl::Journal& journal, kvztl::Moment now) {
    using namespace kvztl;
    const Moment from = now - 365 * kOneDay;
    std::string month;
    std::wstring path = journal.MonthPath(from);
    size_t events = 0;
    const auto put = [&](const Event& event) {
        if (const std::wstring at = journal.MonthPath(event.time); at != path) {
            std::ofstream(std::filesystem::path(path), std::ios::binary | std::ios::app) << month;
            month.clear();
            path = at;
        }
        month += FormatLine(event);
        if (event.kind != EventKind::Watching) ++events;
    };
    put({from, 4242, EventKind::Watch, Cause::Start});
    put({from, 4242, EventKind::Up, Cause::Found});
    Moment beat = from + 4 * kOneMinute;
    for (Moment stop = from + 10 * kOneMinute; stop + kOneMinute < now; stop += 10 * kOneMinute) {
        for (; beat < stop; beat += 4 * kOneMinute) put({beat, 4242, EventKind::Watching});
        put({stop, 4242, EventKind::Down, Cause::Exited, {}, 1});
        put({stop + kOneMinute, 4242, EventKind::Up, Cause::Service});
    }
    put({now - kOneMinute, 4242, EventKind::Unwatch, Cause::Exit});
    std::ofstream(std::filesystem::path(path), std::ios::binary | std::ios::app) << month;
    return events;
}

void BenchRecord() {
    using kvztl::HistoryWindow;
    Line("\n## The tracker's record\n");
    Line("A year of a tracker that stops every ten minutes and is started again a minute later (its journal");
    Line("written beforehand, with a `watching` line every 4 minutes): kv-ztl.exe started on it, and its");
    Line("history window opened from the strip's menu, timed from the menu's command until the window shows");
    Line("every period (its figures and bars are made before); three openings. Peak working set against the");
    Line("same program started on an empty record, without the window.\n");
    // The program's record in a folder of the bench's own, not the user's.
    const test::ScopedEnvironment localAppData(L"LOCALAPPDATA", test::TempFolder(L"bench-localappdata"));
    kvztl::Journal journal(kvztl::Journal::DefaultFolder());
    journal.Clear();
    test::ProgramStore store;
    // The peak working set of a run of the program.
    const auto run = [](const std::function<void(const test::RunningProgram&)>& use) {
        test::RunningProgram program = test::StartProgram();
        program.WaitForCaption(kvztl::status::kStopped);
        use(program);
        const double peak = Measure(program.process->handle()).peakWorkingSetMb;
        PostMessageW(program.window, WM_CLOSE, 0, 0);
        WaitForSingleObject(program.process->handle(), 10000);
        return peak;
    };
    const double emptyPeak = run([](const test::RunningProgram&) { test::PumpFor(2s); });
    journal.Clear();
    const size_t events = WriteYear(journal, kvztl::Now());
    std::vector<double> opening;
    LRESULT shown = 0;
    const double yearPeak = run([&](const test::RunningProgram& program) {
        for (int i = 0; i < 3; ++i) {
            const auto asked = Clock::now();
            PostMessageW(program.window, WM_SYSCOMMAND, kvztl::StatusWindow::HistoryItem, 0);
            HWND history = nullptr;
            test::PumpUntil(
                [&] {
                    history = test::FindWindowOf(program.process->id(), HistoryWindow::kClassName);
                    shown = history ? SendMessageW(GetDlgItem(history, HistoryWindow::PERIODS_LISTVIEW),
                                                   LVM_GETITEMCOUNT, 0, 0)
                                    : 0;
                    return shown > 0;
                },
                10s);
            opening.push_back(std::chrono::duration<double, std::milli>(Clock::now() - asked).count());
            test::PumpFor(1s);
            PostMessageW(history, WM_CLOSE, 0, 0);
            test::PumpUntil([&] { return !IsWindow(history); }, 5s);
        }
    });
    std::sort(opening.begin(), opening.end());
    Line("| figure | measured | goal |");
    Line("|---|---|---|");
    Line("| events in the journal (and periods shown) | %zu (%lld) | about 100,000 |", events,
         static_cast<long long>(shown));
    Line("| history window open with its figures, best / median / worst of 3 | %.0f / %.0f / %.0f ms | <= 300 ms |",
         opening.front(), opening[1], opening.back());
    Line(
        "| peak working set, a year's record and the window, against an empty record | %.2f MB against %.2f MB: +%.2f "
        "MB "
        "| <= +20 MB |",
        yearPeak, emptyPeak, yearPeak - emptyPeak);
    journal.Clear();

    // One event written and flushed, in a folder of its own.
    kvztl::Journal own(test::TempFolder(L"bench-journal") + L"\\KV-ZTL");
    own.Clear();
    std::vector<double> appends;
    for (int i = 0; i < 1000; ++i) {
        const auto start = Clock::now();
        own.Append({kvztl::Now(), 4242, kvztl::EventKind::Watching});
        appends.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(appends.begin(), appends.end());
    Line(
        "| one event written and flushed (1,000): median / 95th percentile / worst | %.2f / %.2f / %.2f ms | <= 5 ms |",
        appends[500], appends[950], appends.back());
    own.Clear();
}

// Milliseconds from now until the indicator reads `caption`, read every millisecond (at
// most 3 s).
double MillisecondsUntil(const test::RunningProgram& program, const wchar_t* caption, Clock::time_point from) {
    while (test::TextOf(program.Indicator()) != caption && Clock::now() - from < 3s) Sleep(1);
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

struct LatencyRow {
    const char* change;
    const char* today;  // before the strip heard of changes at once
    const char* goal;
    double goalMedian, goalWorst;
    std::vector<double> trials;
};

void BenchLatency() {
    Line("\n## Status latency\n");
    Line("From a change to the indicator showing it, read from another process every millisecond;");
    Line("each trial starts at a random moment of the 500 ms poll. A service change is timed from the");
    Line("return of StartServiceW / ControlService, a process's end from TerminateProcess.\n");
    const test::TrackerService service;
    service.Install();
    test::ProgramStore store;
    test::RunningProgram program = test::StartProgram();
    program.WaitForCaption(L"STOPPED");
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> phase(0, 499);
    const auto pause = [&] { test::PumpFor(std::chrono::milliseconds(phase(random))); };
    const char* const quick = "median <= 20 ms, worst <= 50 ms";
    const char* const asToday = "as today, worst <= 600 ms";
    LatencyRow rows[] = {
        {"tracker process ends -> STOPPED", "363 / 475", quick, 20, 50, {}},
        {"service started through the service manager -> RUNNING", "138 / 369", quick, 20, 50, {}},
        {"service stopped through the service manager -> STOPPED", "318 / 498", quick, 20, 50, {}},
        {"tracker started outside the service manager -> RUNNING", "218 / 462", asToday, 1e9, 600, {}},
    };
    for (int trial = 0; trial < 20; ++trial) {
        pause();
        auto tracker = test::StartTracker();
        rows[3].trials.push_back(MillisecondsUntil(program, L"RUNNING", Clock::now()));
        pause();
        auto t0 = Clock::now();
        tracker->Terminate();
        rows[0].trials.push_back(MillisecondsUntil(program, L"STOPPED", t0));
        pause();
        kvztl::ControlServiceDirectly(kvztl::kTrackerServiceName, true);
        rows[1].trials.push_back(MillisecondsUntil(program, L"RUNNING", Clock::now()));
        pause();
        kvztl::ControlServiceDirectly(kvztl::kTrackerServiceName, false);
        rows[2].trials.push_back(MillisecondsUntil(program, L"STOPPED", Clock::now()));
        test::PumpUntil([] { return test::ProcessIds(L"bnbt.exe").empty(); }, 5s);
    }
    Line("| change | trials | today (median / worst ms) | median (ms) | worst (ms) | goal | met |");
    Line("|---|---:|---:|---:|---:|---|---|");
    for (LatencyRow& row : rows) {
        std::sort(row.trials.begin(), row.trials.end());
        const size_t n = row.trials.size();
        const double median = (row.trials[n / 2 - 1] + row.trials[n / 2]) / 2;
        const bool met = median <= row.goalMedian && row.trials.back() <= row.goalWorst;
        Line("| %s | %zu | %s | %.0f | %.0f | %s | %s |", row.change, n, row.today, median, row.trials.back(), row.goal,
             met ? "yes" : "no");
    }
    PostMessageW(program.window, WM_CLOSE, 0, 0);
    WaitForSingleObject(program.process->handle(), 10000);
}

// The longest each of two windows took to answer a sent message, asked every 20 ms.
struct LongestAnswers {
    double program = 0, floor = 0;
};

void BenchManyServices() {
    Line("\n## With 300 services more\n");
    Line("A Windows machine has 250 to 400 services, Wine about ten: 300 stopped demand-start services are");
    Line("added, and kv-ztl.exe and the floor program run side by side, once without the tracker's service");
    Line("and once with it installed. First each is asked to answer a sent message every 20 ms for 60 s from");
    Line("its start (the longest wait is shown); then both are left alone for 120 s and their CPU counted,");
    Line("with what the service control manager (services.exe) spent meanwhile beside them (the floor asks");
    Line("it nothing).\n");
    const test::FillerServices fillers;
    const std::vector<DWORD> managers = test::ProcessIds(L"services.exe");
    const kvztl::UniqueHandle manager(
        managers.size() == 1 ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, managers[0]) : nullptr);
    const auto managerCpu = [&manager] { return manager ? Measure(manager.get()).cpuSeconds : 0.0; };
    Line(
        "| tracker's service | longest answer kv-ztl / floor (ms, goal <= 50) | CPU kv-ztl / floor (s) | against floor "
        "(goal <= 1.05x) | services.exe (s) | met |");
    Line("|---|---:|---:|---:|---:|---|");
    for (const bool installed : {false, true}) {
        const test::TrackerService service;
        if (installed) service.Install();
        test::ProgramStore store;
        test::RunningProgram program = test::StartProgram();
        test::Process floor(test::BinDirectory() + L"\\bench-floor.exe", L"");
        HWND floorWindow = nullptr;
        test::PumpUntil([&] { return (floorWindow = test::FindWindowOf(floor.id(), L"KVZTL_FLOOR")) != nullptr; }, 10s);
        LongestAnswers longest;
        for (const auto start = Clock::now(); Clock::now() - start < 60s;) {
            longest.program = std::max(longest.program, test::AnswerMilliseconds(program.window));
            longest.floor = std::max(longest.floor, test::AnswerMilliseconds(floorWindow));
            test::PumpFor(20ms);
        }
        const auto programStart = Measure(program.process->handle());
        const auto floorStart = Measure(floor.handle());
        const double managerStart = managerCpu();
        test::PumpFor(120s);
        const double programCpu = Measure(program.process->handle()).cpuSeconds - programStart.cpuSeconds;
        const double floorCpu = Measure(floor.handle()).cpuSeconds - floorStart.cpuSeconds;
        const double managerSpent = managerCpu() - managerStart;
        const double ratio = floorCpu > 0 ? programCpu / floorCpu : 0.0;
        const bool met = ratio <= 1.05 && longest.program <= 50;
        Line("| %s | %.0f / %.0f | %.2f / %.2f | %.2fx | %.2f | %s |", installed ? "installed" : "absent",
             longest.program, longest.floor, programCpu, floorCpu, ratio, managerSpent, met ? "yes" : "no");
        PostMessageW(program.window, WM_CLOSE, 0, 0);
        WaitForSingleObject(program.process->handle(), 10000);
    }
}

void BenchExecutable() {
    Line("\n## Executable\n");
    const std::vector<char> image = test::ReadFileBytes(test::KvZtlPath());
    const test::Imports imports = test::ReadImports(image);
    std::string dlls;
    for (const auto& dll : imports.dlls) dlls += (dlls.empty() ? "" : ", ") + dll;
    Line("| figure | value | goal |");
    Line("|---|---|---|");
    Line("| size | %.0f KB | <= 1024 KB |", static_cast<double>(image.size()) / 1024.0);
    Line("| imports | %s | system DLLs only |", dlls.c_str());
}

}  // namespace

// kvztl_bench.exe [report.md [section...]]: sections probe, idle, running, record, services, latency,
// exe (all by default).
int main(int argc, char** argv) {
    auto wanted = [&](const char* section) {
        if (argc <= 2) return true;
        for (int i = 2; i < argc; ++i) {
            if (std::string(argv[i]) == section) return true;
        }
        return false;
    };
    test::EndAllTrackers();
    Line("# KV-ZTL benchmarks\n");
    Line("One run under Wine on this machine; ratios, not absolute times, are what carries over.\n");
    if (wanted("probe")) BenchProbe();
    if (wanted("idle")) {
        BenchIdle(true);
        BenchIdle(false);
    }
    if (wanted("running")) BenchTrackerRunning();
    if (wanted("record")) BenchRecord();
    if (wanted("services")) BenchManyServices();
    if (wanted("latency")) BenchLatency();
    if (wanted("exe")) BenchExecutable();
    test::EndAllTrackers();
    if (argc > 1) std::ofstream(std::filesystem::path(argv[1])) << report.str();
    return 0;
}
