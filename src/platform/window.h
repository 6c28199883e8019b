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

// Flashes the window until the user comes to it and plays the system's warning sound.
void DrawAttention(HWND hwnd) noexcept;

}  // namespace kvztl
