// kv-ztl.exe started as a user would, and the figures of a running process.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "support/test_support.h"

namespace kvztl::test {

struct RunningProgram {
    std::unique_ptr<Process> process;
    HWND window = nullptr;  // its status window, null if none showed within 10 s
    HWND Indicator() const;
    // Waits (pumping messages) until the indicator reads `caption`.
    bool WaitForCaption(const std::wstring& caption, std::chrono::milliseconds timeout = std::chrono::seconds(3)) const;
    // Double-clicks the title and waits for the settings window; null if none showed.
    HWND OpenSettings() const;
    // A message box that the program shows, or null.
    HWND MessageBox() const;
};

// Starts kv-ztl.exe (or another program of the build), in `directory` if one is named, and
// waits for its status window.
RunningProgram StartProgram(const std::wstring& exe = L"kv-ztl.exe", const std::wstring& directory = L"");

// A visible top-level window of class `className` that process `processId` shows, or null.
HWND FindWindowOf(DWORD processId, const wchar_t* className);

struct ProcessFigures {
    double cpuSeconds = 0;
    double workingSetMb = 0;
    double peakWorkingSetMb = 0;
    DWORD handles = 0;
    DWORD gdiObjects = 0;
    DWORD userObjects = 0;
};
ProcessFigures Measure(HANDLE process);

}  // namespace kvztl::test
