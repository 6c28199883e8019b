#include "notification_icon/indicator.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace kvztl {
namespace {

// Each pixel is sampled on a grid of this many points a side, for smooth edges.
constexpr int kSamples = 4;

BYTE Darker(BYTE channel) noexcept { return static_cast<BYTE>(channel * 11 / 20); }

// How many of a pixel's samples fall inside the disc, and how many of those on its rim.
struct Coverage {
    int inside = 0;
    int onRim = 0;
};

struct Disc {
    double centre;
    double radius;
    double rim;

    Coverage At(int x, int y) const noexcept {
        Coverage coverage;
        for (int sy = 0; sy < kSamples; ++sy) {
            for (int sx = 0; sx < kSamples; ++sx) {
                const double dx = x + (sx + 0.5) / kSamples - centre;
                const double dy = y + (sy + 0.5) / kSamples - centre;
                const double distance = std::sqrt(dx * dx + dy * dy);
                if (distance > radius) continue;
                ++coverage.inside;
                if (distance > radius - rim) ++coverage.onRim;
            }
        }
        return coverage;
    }
};

// A 0xAARRGGBB pixel with straight (not premultiplied) alpha, as icons keep it.
std::uint32_t PixelOf(const Coverage& coverage, COLORREF color) noexcept {
    if (coverage.inside == 0) return 0;
    const BYTE fill[3] = {GetBValue(color), GetGValue(color), GetRValue(color)};
    const int alpha = 255 * coverage.inside / (kSamples * kSamples);
    auto pixel = static_cast<std::uint32_t>(alpha) << 24;
    for (int channel = 0; channel < 3; ++channel) {
        const int value =
            (fill[channel] * (coverage.inside - coverage.onRim) + Darker(fill[channel]) * coverage.onRim) /
            coverage.inside;
        pixel |= static_cast<std::uint32_t>(value) << (8 * channel);
    }
    return pixel;
}

}  // namespace

UniqueIcon DrawIndicator(COLORREF color, int size) noexcept {
    if (size <= 0) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const UniqueBitmap image(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!image || !bits) return nullptr;

    // A monochrome mask for whoever draws without the alpha channel: 1 where nothing shows.
    const int maskStride = (size + 15) / 16 * 2;
    std::vector<BYTE> maskBits(static_cast<size_t>(maskStride) * static_cast<size_t>(size), 0);

    const Disc disc{size / 2.0, size * 0.42, std::max(1.0, size / 16.0)};
    auto* pixels = static_cast<std::uint32_t*>(bits);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const std::uint32_t pixel = PixelOf(disc.At(x, y), color);
            pixels[static_cast<size_t>(y) * static_cast<size_t>(size) + static_cast<size_t>(x)] = pixel;
            if (pixel == 0) {
                const size_t at = static_cast<size_t>(y) * static_cast<size_t>(maskStride) + static_cast<size_t>(x / 8);
                maskBits[at] |= static_cast<BYTE>(0x80 >> (x % 8));
            }
        }
    }
    const UniqueBitmap mask(CreateBitmap(size, size, 1, 1, maskBits.data()));
    if (!mask) return nullptr;
    ICONINFO icon{};
    icon.fIcon = TRUE;
    icon.hbmMask = mask.get();
    icon.hbmColor = image.get();
    // The icon holds copies of both bitmaps.
    return UniqueIcon(CreateIconIndirect(&icon));
}

}  // namespace kvztl
