// The user's on-or-off choices as stored: "1" for on, "0" for off, each with its default. Every
// window that reads a choice reads it here, the same way.
#pragma once

#include "store/settings_store.h"
#include "vocabulary.h"

namespace kvztl {

struct Choice {
    const wchar_t* key;
    bool byDefault;
};

namespace choices {

inline constexpr Choice kAlert{settings::kAlertOnUnexpectedStop, true};
inline constexpr Choice kNotificationIcon{settings::kNotificationIcon, true};
inline constexpr Choice kShowStrip{settings::kShowStrip, true};
inline constexpr Choice kKeepRecord{settings::kKeepTrackerRecord, true};

}  // namespace choices

// On when the stored number is 1; the default when nothing (readable) is stored.
bool IsOn(const SettingsStore& store, const Choice& choice);
// Stores "1" or "0"; false when the store refused (the choice holds for this run all the same).
bool SetOn(const SettingsStore& store, const Choice& choice, bool on);

}  // namespace kvztl
