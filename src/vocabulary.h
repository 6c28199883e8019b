// The program's shared words: its name, the tracker's programs and commands, the indicator's
// texts and colours, and the name, default and key prefix of every stored setting.
#pragma once

#include "platform/colors.h"
#include "platform/dpi.h"

namespace kvztl {

inline constexpr const wchar_t* kProgramName = L"KV-ZTL";  // also its value under the Run key
inline constexpr const wchar_t* kHomepageAddress = L"https://bnbt.example.org/";

// Sent by a second start to the running strip, which then comes forward.
inline constexpr const wchar_t* kBringForwardMessage = L"KV-ZTL.BringForward";

namespace tracker {

inline constexpr const wchar_t* kProcessImage = L"BNBT.exe";  // what the probe looks for, in any case
inline constexpr const wchar_t* kProgram = L"bnbt.exe";
inline constexpr const wchar_t* kConfigurationProgram = L"bnbtfrontend.exe";
inline constexpr const wchar_t* kStart = L"-start";
inline constexpr const wchar_t* kStop = L"-stop";
inline constexpr const wchar_t* kInstall = L"-i";
inline constexpr const wchar_t* kUninstall = L"-u";

}  // namespace tracker

// The indicator: its caption and colour are the one record of the last poll.
namespace status {

inline constexpr const wchar_t* kRunning = L"RUNNING";
inline constexpr const wchar_t* kStopped = L"STOPPED";
inline constexpr COLORREF kRunningColor = kGreen;
inline constexpr COLORREF kStoppedColor = kRed;

}  // namespace status

namespace settings {

// Window places: the prefix followed by "Left", "Top", "Width" and "Height".
inline constexpr const wchar_t* kStatusPlacePrefix = L"Main";
inline constexpr TwipsRect kStatusPlaceDefault{1000, 1000, 2280, 690};
inline constexpr const wchar_t* kSettingsPlacePrefix = L"SETTINGSMain";
inline constexpr TwipsRect kSettingsPlaceDefault{1000, 1000, 9360, 4785};
inline constexpr const wchar_t* kHistoryPlacePrefix = L"HISTORYMain";
inline constexpr TwipsRect kHistoryPlaceDefault{1500, 1500, 12000, 9900};

// The tracker folder as typed.
inline constexpr const wchar_t* kTrackerFolder = L"BNBT_FOLDER_TEXTBOX";
inline constexpr const wchar_t* kTrackerFolderDefault = L"TYPE BNBT FOLDER LOCATION HERE";

// "1" keeps the strip on top, "0" does not.
inline constexpr const wchar_t* kAlwaysOnTop = L"AlwaysOnTopTimer_TICKBOX";
inline constexpr double kAlwaysOnTopDefault = 0;

// Choices stored as "1" (on) or "0" (off); store/choices.h reads them, with their defaults.
// An alert when the tracker stops without being asked to.
inline constexpr const wchar_t* kAlertOnUnexpectedStop = L"AlertOnUnexpectedStop";
// The icon in the notification area, and the strip beside it.
inline constexpr const wchar_t* kNotificationIcon = L"NotificationIcon";
inline constexpr const wchar_t* kShowStrip = L"ShowStrip";
// The tracker's record, kept in %LOCALAPPDATA%\KV-ZTL.
inline constexpr const wchar_t* kKeepTrackerRecord = L"KeepTrackerRecord";

}  // namespace settings
}  // namespace kvztl
