// A window's stored place and size: four numbers in twips under the window's key prefix
// ("Main" + "Left", "Top", "Width", "Height").
#pragma once

#include <string_view>

#include "platform/dpi.h"
#include "store/settings_store.h"

namespace kvztl {

// Read in the order Left, Top, Width, Height. A value that does not convert, lies outside
// what a window coordinate can be, or is a width or height of 0 or less, yields that key's
// default.
TwipsRect LoadPlace(const SettingsStore& store, std::wstring_view prefix, const TwipsRect& defaults);

// Four separate writes in the order Left, Top, Width, Height.
void SavePlace(const SettingsStore& store, std::wstring_view prefix, const TwipsRect& place);

}  // namespace kvztl
