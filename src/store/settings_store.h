// The per-user settings of the program: one REG_SZ value per key under
// HKCU\Software\VB and VBA Program Settings\KV_ZTL\Settings, where the per-user
// application-settings service keeps them, so values of earlier installations are read as
// they are.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kvztl {

class SettingsStore {
public:
    static constexpr const wchar_t* kApplicationKey = L"Software\\VB and VBA Program Settings\\KV_ZTL\\Settings";

    // `subkey` names the section's key below `root`; tests pass their own.
    explicit SettingsStore(HKEY root = HKEY_CURRENT_USER, std::wstring subkey = kApplicationKey);

    // The stored text of `key` as stored (%VARIABLES% unexpanded); nothing when the key (or
    // its section) does not exist. Never creates anything. The caller applies its default.
    // A text this store could not save is answered as if saved, for the rest of the run.
    std::optional<std::wstring> Text(std::wstring_view key) const;

    // The stored number of `key` (see ParseNumber); nothing when the key does not exist or
    // its text is not a number.
    std::optional<double> Number(std::wstring_view key) const;

    // Stores `text` under `key`, creating the section as needed; a value stored as
    // REG_EXPAND_SZ keeps that type. False when the registry refused: the failure is traced
    // for a debugger and handed to the failure handler.
    bool Save(std::wstring_view key, std::wstring_view text) const;

    using FailureHandler = std::function<void(std::wstring_view key, LSTATUS error)>;
    void ReportFailuresTo(FailureHandler handler);

    // Stores `value` in the store's number form (see FormatNumber).
    bool SaveNumber(std::wstring_view key, double value) const;

private:
    LSTATUS Write(std::wstring_view key, std::wstring_view text) const;

    HKEY root_;
    std::wstring subkey_;
    FailureHandler onFailure_;
    mutable std::map<std::wstring, std::wstring, std::less<>> unsaved_;  // by key
};

// Number <-> text in the store's form: decimal, no leading blank, whole numbers without a
// point, at most seven significant digits ("1000", "1234.5", "-15").
std::wstring FormatNumber(double value);
// Accepts surrounding blanks, and `decimalSeparator` for the point ("1234,5" where the user
// writes a decimal comma; the store passes the user's); rejects empty text, trailing junk,
// and values that are not finite or do not fit a single-precision number.
std::optional<double> ParseNumber(std::wstring_view text, std::wstring_view decimalSeparator = L".");

}  // namespace kvztl
