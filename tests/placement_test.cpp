#include "platform/placement.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace kvztl {
namespace {

// A 96-DPI monitor of 1920 pixels with a 144-DPI one to its right, as a per-monitor aware
// program sees them.
UINT DpiAt(POINT at) { return at.x >= 1920 ? 144 : 96; }

TEST(Placement, APlaceIsOneDesktopPositionWhicheverMonitorItIsOn) {
    const struct {
        RECT window;  // on screen, in pixels
        UINT windowDpi;
        UINT systemDpi;
        TwipsRect stored;
    } cases[] = {
        // On the 144-DPI monitor right of the 96-DPI primary.
        {{2500, 100, 2728, 169}, 144, 96, {37500, 1500, 2280, 690}},
        // On the primary.
        {{300, 200, 452, 246}, 96, 96, {4500, 3000, 2280, 690}},
        // A primary at 144 DPI: the desktop scale is 10 twips to a pixel.
        {{2500, 100, 2728, 169}, 144, 144, {25000, 1000, 2280, 690}},
        {{-152, 0, 0, 46}, 96, 96, {-2280, 0, 2280, 690}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PlaceToTwips(c.window, c.systemDpi, c.windowDpi), c.stored) << ::testing::PrintToString(c.window);
        // Restored where it was: the position at the desktop scale, the size at the DPI of
        // the monitor the position lies on.
        EXPECT_EQ(PlaceToPixels(c.stored, c.systemDpi, DpiAt), c.window) << ::testing::PrintToString(c.window);
    }
    // A place that a version unaware of DPI stored at 15 twips a pixel comes back at that
    // desktop point, sized for the monitor it lands on.
    EXPECT_EQ(PlaceToPixels({30000, 1500, 2280, 690}, 96, DpiAt), (RECT{2000, 100, 2228, 169}));
}

}  // namespace
}  // namespace kvztl
