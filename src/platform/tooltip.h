// A multi-line tip of the common controls over a control. The common controls are loaded at
// the first one, so that a window that never shows one never loads them.
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

}  // namespace kvztl
