#include "history_window/bar_chart.h"

#include <algorithm>
#include <cmath>

#include "platform/accessibility.h"
#include "platform/handles.h"
#include "platform/window.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

struct Chart {
    std::vector<ChartBar> bars;
    HFONT font = nullptr;
};

Chart* ChartOf(HWND hwnd) noexcept { return reinterpret_cast<Chart*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

void Fill(HDC dc, RECT rect, COLORREF color) noexcept {
    SetBkColor(dc, color);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

// Splits the bar's height from the bottom: up, then down, then unknown on top.
void PaintBar(HDC dc, const RECT& place, const Bar& bar) noexcept {
    const Moment whole = bar.up + bar.down + bar.unknown;
    const LONG height = place.bottom - place.top;
    const auto share = [&](Moment part) {
        return whole == 0 ? 0L : std::lround(static_cast<double>(part) * height / static_cast<double>(whole));
    };
    RECT part = place;
    part.top = part.bottom - share(bar.up);
    Fill(dc, part, status::kRunningColor);
    part.bottom = part.top;
    part.top = std::max(place.top, part.bottom - share(bar.down));
    Fill(dc, part, status::kStoppedColor);
    part.bottom = part.top;
    part.top = place.top;
    Fill(dc, part, kUnknownTimeColor);
}

void Paint(HWND hwnd, HDC target) noexcept {
    const Chart* chart = ChartOf(hwnd);
    RECT client{};
    GetClientRect(hwnd, &client);
    // Drawn off screen first, so that a refresh every minute does not flicker.
    const UniqueDC dc(CreateCompatibleDC(target));
    const UniqueBitmap bitmap(CreateCompatibleBitmap(target, client.right, client.bottom));
    if (!dc || !bitmap) return;
    const SelectionScope selectBitmap(dc.get(), bitmap.get());
    const SelectionScope selectFont(dc.get(), chart && chart->font ? chart->font : GetStockObject(DEFAULT_GUI_FONT));
    Fill(dc.get(), client, GetSysColor(COLOR_WINDOW));
    if (chart && !chart->bars.empty()) {
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc.get(), &metrics);
        const LONG labels = metrics.tmHeight + 2;
        const auto count = static_cast<LONG>(chart->bars.size());
        const LONG gap = std::max(1L, client.right / (count * 8));
        const LONG width = std::max(1L, (client.right - gap * (count + 1)) / count);
        // Every bar's label where they all fit, else every second, third... one.
        LONG widest = 0;
        for (const ChartBar& bar : chart->bars) {
            SIZE size{};
            GetTextExtentPoint32W(dc.get(), bar.label.c_str(), static_cast<int>(bar.label.size()), &size);
            widest = std::max(widest, size.cx);
        }
        const LONG every = std::max(1L, (widest + gap + width) / (width + gap));
        SetTextColor(dc.get(), GetSysColor(COLOR_WINDOWTEXT));
        SetBkMode(dc.get(), TRANSPARENT);
        for (LONG i = 0; i < count; ++i) {
            const ChartBar& bar = chart->bars[static_cast<size_t>(i)];
            const LONG left = gap + i * (width + gap);
            PaintBar(dc.get(), {left, 1, left + width, client.bottom - labels}, bar.figures);
            if ((count - 1 - i) % every != 0) continue;  // the newest bar always has its label
            RECT label{left - widest, client.bottom - labels + 1, left + width + widest, client.bottom};
            DrawTextW(dc.get(), bar.label.c_str(), static_cast<int>(bar.label.size()), &label,
                      DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
        }
        SetBkMode(dc.get(), OPAQUE);
    }
    BitBlt(target, 0, 0, client.right, client.bottom, dc.get(), 0, 0, SRCCOPY);
}

LRESULT CALLBACK ChartProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    switch (message) {
    case WM_NCCREATE:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new (std::nothrow) Chart));
        break;
    case WM_NCDESTROY:
        delete ChartOf(hwnd);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        ForgetAccessibleDescription(hwnd);
        break;
    case WM_SETFONT:
        if (Chart* chart = ChartOf(hwnd)) chart->font = reinterpret_cast<HFONT>(wparam);
        if (LOWORD(lparam)) InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(ChartOf(hwnd) ? ChartOf(hwnd)->font : nullptr);
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        const PaintScope paint(hwnd);
        Paint(hwnd, paint.dc());
        return 0;
    }
    case WM_GETOBJECT:
        if (static_cast<LONG>(lparam) == OBJID_CLIENT) {
            if (const LRESULT answer = AnswerAsStaticText(hwnd, wparam)) return answer;
        }
        break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace

void RegisterBarChartClass() noexcept {
    WNDCLASSEXW wc{};
    wc.lpfnWndProc = &ChartProcedure;
    wc.lpszClassName = kBarChartClass;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    RegisterClassOnce(wc);
}

void SetChartBars(HWND chart, std::vector<ChartBar> bars) {
    Chart* data = ChartOf(chart);
    if (!data) return;
    std::wstring spoken;
    for (const ChartBar& bar : bars) spoken += (spoken.empty() ? L"" : L"\n") + bar.spoken;
    data->bars = std::move(bars);
    SetAccessibleDescription(chart, spoken);
    InvalidateRect(chart, nullptr, FALSE);
}

}  // namespace kvztl
