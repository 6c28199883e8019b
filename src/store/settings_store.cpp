#include "store/settings_store.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cwchar>

#include "platform/handles.h"

namespace kvztl {
namespace {

void Trace(const wchar_t* what, std::wstring_view key, LSTATUS status) {
    wchar_t line[256];
    swprintf(line, 256, L"KV-ZTL settings: %ls \"%.*ls\" failed with error %ld\n", what,
             static_cast<int>(key.size()), key.data(), static_cast<long>(status));
    OutputDebugStringW(line);
}

template <typename T>
T NumberOr(const SettingsStore& store, std::wstring_view key, int fallback, double low, double high) {
    const std::optional<double> value = ParseNumber(store.Text(key, std::to_wstring(fallback)));
    if (!value || *value < low || *value > high) return static_cast<T>(fallback);
    return static_cast<T>(*value);
}

}  // namespace

SettingsStore::SettingsStore(HKEY root, std::wstring subkey) : root_(root), subkey_(std::move(subkey)) {}

std::wstring SettingsStore::Text(std::wstring_view key, std::wstring_view fallback) const {
    const std::wstring name(key);
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root_, subkey_.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) {
        return std::wstring(fallback);
    }
    const UniqueKey section(opened);
    // The value may change size between the two calls; try again until it fits.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD bytes = 0;
        LSTATUS status = RegGetValueW(section.get(), nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
        if (status != ERROR_SUCCESS) break;
        std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        status = RegGetValueW(section.get(), nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, text.data(), &bytes);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) break;
        text.resize(wcsnlen(text.c_str(), text.size()));
        return text;
    }
    return std::wstring(fallback);
}

bool SettingsStore::Save(std::wstring_view key, std::wstring_view text) const {
    const std::wstring name(key);
    const std::wstring value(text);
    HKEY created = nullptr;
    LSTATUS status = RegCreateKeyExW(root_, subkey_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                     nullptr, &created, nullptr);
    if (status != ERROR_SUCCESS) {
        Trace(L"opening the settings key for", key, status);
        return false;
    }
    const UniqueKey section(created);
    status = RegSetValueExW(section.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) {
        Trace(L"writing", key, status);
        return false;
    }
    return true;
}

float SettingsStore::Single(std::wstring_view key, int fallback) const {
    return NumberOr<float>(*this, key, fallback, -FLT_MAX, FLT_MAX);
}

double SettingsStore::Double(std::wstring_view key, int fallback) const {
    return NumberOr<double>(*this, key, fallback, -FLT_MAX, FLT_MAX);
}

short SettingsStore::Integer(std::wstring_view key, int fallback) const {
    // A 16-bit integer rounds half to even, as the settings service's readers do.
    const std::optional<double> value = ParseNumber(Text(key, std::to_wstring(fallback)));
    if (!value) return static_cast<short>(fallback);
    const double rounded = std::nearbyint(*value);
    if (rounded < -32768 || rounded > 32767) return static_cast<short>(fallback);
    return static_cast<short>(rounded);
}

bool SettingsStore::SaveNumber(std::wstring_view key, double value) const {
    return Save(key, FormatNumber(value));
}

std::wstring FormatNumber(double value) {
    const float single = static_cast<float>(value);
    wchar_t text[64];
    swprintf(text, 64, L"%.7G", static_cast<double>(single));
    std::wstring result(text);
    if (result == L"-0") result = L"0";
    return result;
}

std::optional<double> ParseNumber(std::wstring_view text) {
    // Plain decimal only: no hexadecimal, no "inf" or "nan" spelled out.
    if (text.find_first_not_of(L" \t+-.0123456789eE") != std::wstring_view::npos) return std::nullopt;
    std::wstring copy(text);
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
