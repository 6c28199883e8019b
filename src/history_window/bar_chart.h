// A row of bars, each split from the bottom up into the time the tracker was up (green), down
// (red) and unknown (grey), in proportion; a label under every bar that has room for one.
// Painted by itself. A screen reader finds it as static text named by its caption, with every
// bar's figures as its description.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "record/figures.h"

namespace kvztl {

inline constexpr const wchar_t* kBarChartClass = L"KVZTL_BAR_CHART";
inline constexpr COLORREF kUnknownTimeColor = RGB(0xA0, 0xA0, 0xA0);

void RegisterBarChartClass() noexcept;

// A bar as the chart shows it: its figures, the label under it, and its words for a screen
// reader ("Tue 8 Dec: up 23 h 10 min, down 50 min").
struct ChartBar {
    Bar figures;
    std::wstring label;
    std::wstring spoken;
};

// Gives the chart `bars` (oldest left) and repaints it.
void SetChartBars(HWND chart, std::vector<ChartBar> bars);

}  // namespace kvztl
