// kv-ztl.exe started as a user would, and driven from outside its process.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/screen_read.h"
#include "support/test_support.h"

namespace kvztl::test {

struct RunningProgram {
    std::unique_ptr<Process> process;
    HWND window = nullptr;  // its status window, null if none showed within 10 s
    HWND Indicator() const;
    // Waits (pumping messages) until the indicator reads `caption`.
    bool WaitForCaption(const std::wstring& caption, std::chrono::milliseconds timeout = 10s) const;
    // Double-clicks the title and waits for the settings window; null if none showed.
    HWND OpenSettings() const;
    // A message box that the program shows, or null.
    HWND FindMessageBox() const;
};

// What a screen reader reads of a window: its name, role and description.
struct AccessibleRead {
    std::wstring name;
    LONG role = 0;
    std::wstring description;
};
AccessibleRead ReadAccessible(HWND window);

// Starts kv-ztl.exe, in `directory` if one is named, and waits for its status window.
RunningProgram StartProgram(const std::wstring& directory = L"");

// A visible top-level window of class `className` that process `processId` shows, or null.
HWND FindWindowOf(DWORD processId, const wchar_t* className);

// One round of use: a double-click on the indicator, followed by the indicator within
// `within`; every `settingsEvery`-th round the settings window opened and closed as well.
struct Exercise {
    int rounds = 0;
    int followed = 0;  // rounds whose double-click the indicator followed
    int settingsOpened = 0;
    void Round(const RunningProgram& program, std::chrono::milliseconds within, int settingsEvery);
};

// kv-ztl.exe with its own settings key emptied, and no tracker running before or after.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    HWND Start(const std::wstring& directory = L"");
    // The stand-in's service for this test: removed, whatever happens, once the program has
    // ended (a program that still holds it would keep it, marked for deletion, for the next).
    const TrackerService& Service();
    // Closes the strip as its close button would and waits for the program to end.
    void Close();
    // Counts the message boxes the program shows until `done` holds (at most 15 s), pressing
    // OK on each; `done` is told how many were shown so far.
    int AnswerMessageBoxes(const std::function<bool(int shown)>& done, std::vector<std::wstring>* texts = nullptr);
    // The same for a while.
    int AnswerMessageBoxesFor(std::chrono::milliseconds duration);

    // The menu that a right-click at `screen` opens (not so soon after the last that the two
    // make a double-click), as the screen shows it once it is drawn the same twice with more
    // than `fewest` items; left open. Fewer items if none such came.
    std::vector<ShownItem> MenuByRightClickAt(POINT screen, size_t fewest);
    // Presses `keys` into the open menu (an item's letter, or Esc) and waits for it to close.
    void PressInMenu(std::initializer_list<WORD> keys);

    ProgramStore store;
    // The program's record in a folder of the test's own, not the user's.
    ScopedEnvironment localAppData{L"LOCALAPPDATA", TempFolder(L"localappdata")};
    std::optional<TrackerService> service_;  // outlives the program
    RunningProgram program;
};

}  // namespace kvztl::test
