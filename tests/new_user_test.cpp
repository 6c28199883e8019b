// A new user's first hour with kv-ztl.exe: a strip that runs with higher rights than a
// second start, a start from a folder that holds tracker programs of its own, a close while
// minimised, a quick restart, and a logoff with settings that cannot be stored.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "status_window/status_window.h"
#include "support/program.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;
using ANewUser = test::ProgramTest;

constexpr const wchar_t* kNotFound = L"bnbt.exe was not found. Type the tracker's folder in the settings window.";

// Ends when the process has ended; its exit code, or STILL_ACTIVE after 15 s.
DWORD ExitCodeOf(const test::Process& process) {
    WaitForSingleObject(process.handle(), 15000);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.handle(), &code);
    return code;
}

TEST_F(ANewUser, HandsOverRestartsClosesAndLogsOffWithoutATrap) {
    // A strip run elevated holds a section that this start may not open: the start finds
    // the strip by its window class and hands over. (Here, a window of its class in this
    // process, counting the requests to come forward.)
    {
        PSECURITY_DESCRIPTOR denyAll = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P", SDDL_REVISION_1, &denyAll, nullptr));
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), denyAll, FALSE};
        const UniqueHandle section(
            CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0, 16, L"Local\\KV-ZTL.Strip"));
        LocalFree(denyAll);
        ASSERT_TRUE(section);

        static int asked;
        asked = 0;
        static const UINT bringForward = RegisterWindowMessageW(kBringForwardMessage);
        WNDCLASSW wc{};
        wc.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
            if (message == bringForward) ++asked;
            return DefWindowProcW(hwnd, message, wparam, lparam);
        };
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = StatusWindow::kClassName;
        RegisterClassW(&wc);  // or already there, from the in-process tests
        const UniqueWindow strip(CreateWindowExW(0, StatusWindow::kClassName, L"KV-ZTL", WS_POPUP, 0, 0, 10, 10,
                                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
        ASSERT_TRUE(strip);
        SetWindowLongPtrW(strip.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(wc.lpfnWndProc));

        test::Process second(test::KvZtlPath(), L"");
        ASSERT_TRUE(test::PumpUntil([&] { return !second.running(); }, 15s));
        EXPECT_EQ(ExitCodeOf(second), 0u);
        EXPECT_TRUE(test::PumpUntil([] { return asked == 1; }, 10s));
        EXPECT_EQ(test::FindWindowOf(second.id(), StatusWindow::kClassName), nullptr);
    }

    test::LaunchLog log;
    // Started from a folder that holds a bnbt.exe and a bnbtfrontend.exe of its own.
    const std::wstring current = test::TempFolder(L"start-in");
    for (const wchar_t* file : {L"\\bnbt.exe", L"\\bnbtfrontend.exe"}) {
        ASSERT_TRUE(CopyFileW((test::StandInFolder() + file).c_str(), (current + file).c_str(), FALSE));
    }
    ASSERT_TRUE(Start(current));
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));
    test::DoubleClick(program.Indicator(), test::Delivery::Post);
    std::vector<std::wstring> texts;
    EXPECT_EQ(AnswerMessageBoxes([](int shown) { return shown == 1; }, &texts), 1);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], kNotFound);
    EXPECT_TRUE(log.Entries().empty()) << "ran " << log.Entries()[0].commandLine;

    // Moved, minimised from the taskbar and closed: the place it had stays.
    SetWindowPos(program.window, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(program.window, SW_MINIMIZE);
    ASSERT_TRUE(test::PumpUntil([&] { return IsIconic(program.window) != FALSE; }, 10s));

    // Closed and started again at once, while the old process still ends.
    PostMessageW(program.window, WM_CLOSE, 0, 0);
    auto old = std::move(program.process);
    ASSERT_TRUE(test::PumpUntil([&] { return !IsWindow(program.window); }, 10s));
    program = test::StartProgram();
    ASSERT_TRUE(program.window) << "no strip after a quick restart";
    EXPECT_EQ(ExitCodeOf(*old), 0u);
    RECT rect{};
    GetWindowRect(program.window, &rect);
    EXPECT_EQ(rect.left, 300);
    EXPECT_EQ(rect.top, 200);

    // A logoff with settings that cannot be stored shows no message and waits for nobody.
    test::MakeReadOnly(SettingsStore::kApplicationKey);
    EXPECT_EQ(SendMessageW(program.window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    SendMessageTimeoutW(program.window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, nullptr);
    EXPECT_EQ(AnswerMessageBoxesFor(1s), 0);
    Close();
    EXPECT_EQ(AnswerMessageBoxesFor(500ms), 0);
}

}  // namespace
}  // namespace kvztl
