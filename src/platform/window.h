// Small helpers for any window: its text, and the registration of the program's classes.
#pragma once

#include <windows.h>

#include <string>

namespace kvztl {

// The text (caption) of any window.
std::wstring WindowText(HWND hwnd);

// Registers a window class of this module unless it is registered already.
void RegisterClassOnce(WNDCLASSEXW wc) noexcept;

// Registers the class of a top-level window of the program: its icon, the dialog colour, and
// double-clicks.
void RegisterFormClass(const wchar_t* className, WNDPROC procedure) noexcept;

// An error message owned by `owner`, captioned like the program's main window, which owns
// every other. Nothing shows while the session ends: the logoff waits for nobody.
void ShowErrorMessage(HWND owner, const std::wstring& text);

// Set while the session ends (WM_ENDSESSION), so that nothing holds up the logoff.
void SetSessionEnding(bool ending) noexcept;
bool SessionEnding() noexcept;

// Flashes the window until the user comes to it and plays the system's warning sound.
void DrawAttention(HWND hwnd) noexcept;

}  // namespace kvztl
