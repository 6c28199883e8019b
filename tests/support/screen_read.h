// What the screen shows, read as a user reads it: the items of a menu that is open.
#pragma once

#include <windows.h>

#include <vector>

namespace kvztl::test {

// One item of an open menu as drawn: in black (enabled) or grey (greyed), with a tick to its
// left or without.
struct ShownItem {
    bool enabled = false;
    bool ticked = false;
};

// The items of the menu drawn in `menu` (a window of class "#32768"), top to bottom, without
// the separators.
std::vector<ShownItem> ReadMenuOnScreen(HWND menu);

}  // namespace kvztl::test
