// The names, defaults and key prefixes of every stored setting.
#pragma once

#include "platform/dpi.h"

namespace kvztl::settings {

// Window places: the prefix followed by "Left", "Top", "Width" and "Height".
inline constexpr const wchar_t* kStatusPlacePrefix = L"Main";
inline constexpr TwipsRect kStatusPlaceDefault{1000, 1000, 2280, 690};
inline constexpr const wchar_t* kSettingsPlacePrefix = L"SETTINGSMain";
inline constexpr TwipsRect kSettingsPlaceDefault{1000, 1000, 9360, 4785};

// The tracker folder as typed.
inline constexpr const wchar_t* kTrackerFolder = L"BNBT_FOLDER_TEXTBOX";
inline constexpr const wchar_t* kTrackerFolderDefault = L"TYPE BNBT FOLDER LOCATION HERE";

// "1" keeps the strip on top, "0" does not.
inline constexpr const wchar_t* kAlwaysOnTop = L"AlwaysOnTopTimer_TICKBOX";
inline constexpr int kAlwaysOnTopDefault = 0;

}  // namespace kvztl::settings
