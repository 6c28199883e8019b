// What a screen reader asks of a self-painted control, answered through the system's
// accessibility interfaces (MSAA), which are loaded at the first question.
#pragma once

#include <windows.h>

#include <string>

namespace kvztl {

// IID_IAccessible, spelled out: mingw's oleacc import library gives a stub's address for it.
inline constexpr IID kIAccessible{0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// WM_GETOBJECT for OBJID_CLIENT: an object that presents `control` as static text named by
// its caption, otherwise as the system's standard object for a window. 0 when none could be
// made; the default answer then stands.
LRESULT AnswerAsStaticText(HWND control, WPARAM flags) noexcept;

// The description that such an object gives (accDescription): what the control means beyond
// its caption. Kept with the control until ForgetAccessibleDescription, at its destruction.
void SetAccessibleDescription(HWND control, const std::wstring& description);
std::wstring AccessibleDescription(HWND control);
void ForgetAccessibleDescription(HWND control) noexcept;

// Tells screen readers that the caption of `control` has changed.
void AnnounceNameChange(HWND control) noexcept;

}  // namespace kvztl
