// Tips of the common controls: a multi-line tip over a control, and a balloon by a window
// that shows for a while without taking the focus. The common controls are loaded at the
// first one, so that a window that never shows one never loads them.
#pragma once

#include <windows.h>

#include <string>

#include "platform/handles.h"

namespace kvztl {

// Makes the common controls' window classes (with visual styles, as the manifest asks) ready;
// false when they are not there.
bool LoadCommonControls(DWORD classes) noexcept;

// A tip over `control` (a child of `owner`) that shows `text` while the mouse rests there;
// null when none could be made.
UniqueWindow CreateTip(HWND owner, HWND control, const std::wstring& text);
void SetTipText(HWND tip, HWND control, const std::wstring& text);

// A balloon owned by `owner`, hidden until shown.
UniqueWindow CreateBalloon(HWND owner);
// Shows `text` under `title` with a warning icon, its stem at `at` (screen coordinates).
void ShowBalloon(HWND balloon, HWND owner, POINT at, const std::wstring& title, const std::wstring& text);
void HideBalloon(HWND balloon, HWND owner);

}  // namespace kvztl
