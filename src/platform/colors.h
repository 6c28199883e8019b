// Colours in the system's 0x00BBGGRR layout.
#pragma once

#include <windows.h>

namespace kvztl {

inline constexpr COLORREF kGreen = 0x00FF00;
inline constexpr COLORREF kRed = 0x0000FF;
inline constexpr COLORREF kCyan = 0xFFFF00;
inline constexpr COLORREF kBlack = 0x000000;

}  // namespace kvztl
