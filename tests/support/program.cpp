#include "support/program.h"

#include <oleacc.h>

#include <algorithm>

#include "platform/accessibility.h"

#include "settings_window/settings_window.h"
#include "status_window/status_window.h"
#include "vocabulary.h"

namespace kvztl::test {

HWND RunningProgram::Indicator() const { return GetDlgItem(window, StatusWindow::BNBT_SERVICE_STATUS_LABEL); }

bool RunningProgram::WaitForCaption(const std::wstring& caption, std::chrono::milliseconds timeout) const {
    return PumpUntil([&] { return TextOf(Indicator()) == caption; }, timeout);
}

HWND RunningProgram::OpenSettings() const {
    DoubleClick(GetDlgItem(window, StatusWindow::KORVANE_ZTL_TITLE), Delivery::Post);
    HWND settings = nullptr;
    PumpUntil([&] { return (settings = FindWindowOf(process->id(), SettingsWindow::kClassName)) != nullptr; }, 10s);
    return settings;
}

HWND RunningProgram::FindMessageBox() const { return FindWindowOf(process->id(), L"#32770"); }

AccessibleRead ReadAccessible(HWND window) {
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(window, OBJID_CLIENT, kIAccessible, reinterpret_cast<void**>(&object)))) {
        return {L"(no object)", 0, L""};
    }
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr, description = nullptr;
    VARIANT role{};
    object->get_accName(self, &name);
    object->get_accRole(self, &role);
    object->get_accDescription(self, &description);
    AccessibleRead read{name ? name : L"", role.vt == VT_I4 ? role.lVal : 0, description ? description : L""};
    SysFreeString(name);
    SysFreeString(description);
    object->Release();
    return read;
}

HWND FindWindowOf(DWORD processId, const wchar_t* className) {
    for (HWND w = FindWindowW(className, nullptr); w; w = FindWindowExW(nullptr, w, className, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == processId && IsWindowVisible(w)) return w;
    }
    return nullptr;
}

RunningProgram StartProgram(const std::wstring& directory) {
    RunningProgram program;
    program.process = std::make_unique<Process>(KvZtlPath(), L"", directory);
    PumpUntil([&] { return (program.window = FindWindowOf(program.process->id(), StatusWindow::kClassName)); }, 10s);
    return program;
}

void Exercise::Round(const RunningProgram& program, std::chrono::milliseconds within, int settingsEvery) {
    const std::wstring before = TextOf(program.Indicator());
    DoubleClick(program.Indicator(), Delivery::Post);
    ++rounds;
    followed += program.WaitForCaption(before == status::kRunning ? status::kStopped : status::kRunning, within);
    if (rounds % settingsEvery != 0) return;
    if (HWND settings = program.OpenSettings()) {
        ++settingsOpened;
        PostMessageW(settings, WM_CLOSE, 0, 0);
        PumpUntil([&] { return !IsWindow(settings); }, 10s);
    }
}

void ProgramTest::SetUp() {
    // One left by a test host that was ended would take this test's start over.
    EndAll(L"kv-ztl.exe");
    EndAllTrackers();
}

void ProgramTest::TearDown() {
    if (program.process) program.process->Terminate();
    EndAllTrackers();
}

const TrackerService& ProgramTest::Service() {
    if (!service_) service_.emplace();
    return *service_;
}

HWND ProgramTest::Start(const std::wstring& directory) {
    program = StartProgram(directory);
    return program.window;
}

void ProgramTest::Close() {
    PostMessageW(program.window, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(program.process->handle(), 10000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(program.process->handle(), &code);
    EXPECT_EQ(code, 0u);
}

int ProgramTest::AnswerMessageBoxes(const std::function<bool(int shown)>& done, std::vector<std::wstring>* texts) {
    int shown = 0;
    PumpUntil(
        [&] {
            if (HWND box = program.FindMessageBox()) {
                ++shown;
                if (texts) texts->push_back(TextOf(GetDlgItem(box, 0xFFFF)));
                SendMessageW(box, WM_COMMAND, IDOK, 0);
                PumpUntil([&] { return !IsWindow(box); }, 10s);
            }
            return done(shown);
        },
        15s);
    return shown;
}

int ProgramTest::AnswerMessageBoxesFor(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    return AnswerMessageBoxes([&](int) { return std::chrono::steady_clock::now() >= end; });
}

std::vector<ShownItem> ProgramTest::MenuByRightClickAt(POINT screen, size_t fewest) {
    PumpPastDoubleClick();
    RightClickAt(screen);
    std::vector<ShownItem> items;
    PumpUntil(
        [&] {
            const HWND menu = FindWindowOf(program.process->id(), L"#32768");
            if (!menu) return false;
            std::vector<ShownItem> now = ReadMenuOnScreen(menu);
            const bool same = now.size() > fewest && now.size() == items.size() &&
                              std::equal(now.begin(), now.end(), items.begin(), [](const auto& a, const auto& b) {
                                  return a.enabled == b.enabled && a.ticked == b.ticked;
                              });
            items = std::move(now);
            return same;
        },
        5s);
    return items;
}

void ProgramTest::PressInMenu(std::initializer_list<WORD> keys) {
    PressKeys(keys);
    PumpUntil([&] { return !FindWindowOf(program.process->id(), L"#32768"); }, 3s);
}

}  // namespace kvztl::test
