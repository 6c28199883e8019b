#include "store/settings_store.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cwchar>

#include "platform/debug_trace.h"
#include "platform/handles.h"

namespace kvztl {
namespace {

// Text values as stored: a REG_EXPAND_SZ value keeps its %VARIABLES% unexpanded.
constexpr DWORD kTextTypes = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;

void Trace(std::wstring_view key, LSTATUS status) {
    DebugTrace(L"settings: storing \"" + std::wstring(key) + L"\" failed with error " + std::to_wstring(status));
}

// The user's decimal separator, which versions that wrote numbers in the user's form used.
std::wstring UserDecimalSeparator() {
    wchar_t separator[8] = L".";
    if (!GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8)) return L".";
    return separator;
}

}  // namespace

SettingsStore::SettingsStore(HKEY root, std::wstring subkey) : root_(root), subkey_(std::move(subkey)) {}

void SettingsStore::ReportFailuresTo(FailureHandler handler) { onFailure_ = std::move(handler); }

std::optional<std::wstring> SettingsStore::Text(std::wstring_view key) const {
    if (const auto unsaved = unsaved_.find(key); unsaved != unsaved_.end()) return unsaved->second;
    const std::wstring name(key);
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root_, subkey_.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return std::nullopt;
    const UniqueKey section(opened);
    // The value may change size between the two calls; try again until it fits.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD bytes = 0;
        LSTATUS status = RegGetValueW(section.get(), nullptr, name.c_str(), kTextTypes, nullptr, nullptr, &bytes);
        if (status != ERROR_SUCCESS) break;
        std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        status = RegGetValueW(section.get(), nullptr, name.c_str(), kTextTypes, nullptr, text.data(), &bytes);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) break;
        text.resize(wcsnlen(text.c_str(), text.size()));
        return text;
    }
    return std::nullopt;
}

std::optional<double> SettingsStore::Number(std::wstring_view key) const {
    const std::optional<std::wstring> text = Text(key);
    return text ? ParseNumber(*text, UserDecimalSeparator()) : std::nullopt;
}

bool SettingsStore::Save(std::wstring_view key, std::wstring_view text) const {
    const LSTATUS status = Write(key, text);
    if (status == ERROR_SUCCESS) {
        if (const auto unsaved = unsaved_.find(key); unsaved != unsaved_.end()) unsaved_.erase(unsaved);
        return true;
    }
    // The choice holds for this run all the same.
    unsaved_.insert_or_assign(std::wstring(key), std::wstring(text));
    Trace(key, status);
    if (onFailure_) onFailure_(key, status);
    return false;
}

LSTATUS SettingsStore::Write(std::wstring_view key, std::wstring_view text) const {
    const std::wstring name(key);
    const std::wstring value(text);
    HKEY created = nullptr;
    const LSTATUS status = RegCreateKeyExW(root_, subkey_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                           KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &created, nullptr);
    if (status != ERROR_SUCCESS) return status;
    const UniqueKey section(created);
    // A value stored with %VARIABLES% to expand keeps that type.
    DWORD type = REG_SZ;
    if (RegQueryValueExW(section.get(), name.c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS ||
        type != REG_EXPAND_SZ) {
        type = REG_SZ;
    }
    return RegSetValueExW(section.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

bool SettingsStore::SaveNumber(std::wstring_view key, double value) const { return Save(key, FormatNumber(value)); }

std::wstring FormatNumber(double value) {
    const auto single = static_cast<float>(value);
    wchar_t text[64];
    swprintf(text, 64, L"%.7G", static_cast<double>(single));
    std::wstring result(text);
    if (result == L"-0") result = L"0";
    return result;
}

std::optional<double> ParseNumber(std::wstring_view text, std::wstring_view decimalSeparator) {
    std::wstring copy(text);
    // The user's separator stands for the point, unless the text has a point of its own.
    if (!decimalSeparator.empty() && decimalSeparator != L"." && copy.find(L'.') == std::wstring::npos) {
        if (const size_t at = copy.find(decimalSeparator); at != std::wstring::npos) {
            copy.replace(at, decimalSeparator.size(), L".");
        }
    }
    // Plain decimal only: no hexadecimal, no "inf" or "nan" spelled out.
    if (copy.find_first_not_of(L" \t+-.0123456789eE") != std::wstring::npos) return std::nullopt;
    const wchar_t* begin = copy.c_str();
    while (*begin == L' ' || *begin == L'\t') ++begin;
    if (*begin == L'\0') return std::nullopt;
    wchar_t* end = nullptr;
    const double value = std::wcstod(begin, &end);
    if (end == begin) return std::nullopt;
    while (*end == L' ' || *end == L'\t') ++end;
    if (*end != L'\0' || !std::isfinite(value) || std::fabs(value) > FLT_MAX) return std::nullopt;
    return value;
}

}  // namespace kvztl
