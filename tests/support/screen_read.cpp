#include "support/screen_read.h"

#include <algorithm>
#include <map>

#include "platform/handles.h"

namespace kvztl::test {
namespace {

// The pixels of a rectangle of the screen, row by row, as 0x00RRGGBB.
struct ScreenPixels {
    int width = 0, height = 0;
    std::vector<DWORD> pixels;
    DWORD At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

ScreenPixels Capture(const RECT& rect) {
    ScreenPixels shot{rect.right - rect.left, rect.bottom - rect.top, {}};
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), shot.width, -shot.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const WindowDC screen;
    const HDC memory = CreateCompatibleDC(screen.get());
    const HBITMAP bitmap = CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory && bitmap) {
        const HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, shot.width, shot.height, screen.get(), rect.left, rect.top, SRCCOPY);
        SelectObject(memory, old);
        const auto* first = static_cast<const DWORD*>(bits);
        shot.pixels.assign(first, first + static_cast<size_t>(shot.width) * shot.height);
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    return shot;
}

int Luminance(DWORD pixel) { return (GetRValue(pixel) * 30 + GetGValue(pixel) * 59 + GetBValue(pixel) * 11) / 100; }

// A run of rows with text on them: one item.
struct Band {
    int top, bottom;  // rows, bottom inclusive
    int left;         // the leftmost ink
    int darkest;      // luminance of the darkest ink
};

}  // namespace

std::vector<ShownItem> ReadMenuOnScreen(HWND menu) {
    RECT rect{};
    GetWindowRect(menu, &rect);
    InflateRect(&rect, -2, -2);  // inside the menu's border
    const ScreenPixels shot = Capture(rect);
    if (shot.pixels.empty()) return {};
    // The background: the commonest colour.
    std::map<DWORD, int> counts;
    for (const DWORD pixel : shot.pixels) ++counts[pixel & 0xFFFFFF];
    const DWORD background = std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
                                 return a.second < b.second;
                             })->first;

    std::vector<Band> bands;
    for (int y = 0; y < shot.height; ++y) {
        int ink = 0, left = shot.width, darkest = 255;
        for (int x = 0; x < shot.width; ++x) {
            const DWORD pixel = shot.At(x, y) & 0xFFFFFF;
            if (pixel == background) continue;
            ++ink;
            left = std::min(left, x);
            darkest = std::min(darkest, Luminance(pixel));
        }
        // A separator runs across the menu; an item's text does not.
        if (ink == 0 || ink > shot.width / 2) continue;
        // Rows a little apart (an underlined letter) belong to the same item.
        if (!bands.empty() && y - bands.back().bottom <= 3) {
            Band& band = bands.back();
            band.bottom = y;
            band.left = std::min(band.left, left);
            band.darkest = std::min(band.darkest, darkest);
        } else {
            bands.push_back({y, y, left, darkest});
        }
    }
    // The text starts at the same column in every item; a tick lies left of it.
    std::map<int, int> lefts;
    for (const Band& band : bands) ++lefts[band.left];
    const int textLeft = std::max_element(lefts.begin(), lefts.end(), [](const auto& a, const auto& b) {
                             return a.second < b.second;
                         })->first;
    std::vector<ShownItem> items;
    items.reserve(bands.size());
    for (const Band& band : bands) items.push_back({band.darkest < 64, band.left < textLeft - 3});
    return items;
}

}  // namespace kvztl::test
