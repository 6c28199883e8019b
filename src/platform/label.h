// A label: a caption centred at the top of a coloured ground, painted by itself rather than
// by the common controls (the status strip then needs no common-controls DLL at all).
// Like a notifying static control it asks its parent for colours with WM_CTLCOLORSTATIC
// and tells it of clicks and double-clicks with STN_CLICKED and STN_DBLCLK. A screen reader
// finds it as static text named by its caption, and hears when the caption changes.
#pragma once

#include <windows.h>

namespace kvztl {

inline constexpr const wchar_t* kLabelClass = L"KVZTL_LABEL";

void RegisterLabelClass() noexcept;

}  // namespace kvztl
