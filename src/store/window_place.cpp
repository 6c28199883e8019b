#include "store/window_place.h"

#include <optional>
#include <string>

namespace kvztl {
namespace {

// Window coordinates are 16-bit on the desktop: 32767 pixels, at 15 twips a pixel.
constexpr double kMaxCoordinateTwips = 32767.0 * 15;

struct Field {
    const wchar_t* name;
    double TwipsRect::*member;
    bool size;  // a width or height: no window is 0 or less wide or high
};

constexpr Field kFields[] = {
    {L"Left", &TwipsRect::left, false},
    {L"Top", &TwipsRect::top, false},
    {L"Width", &TwipsRect::width, true},
    {L"Height", &TwipsRect::height, true},
};

bool Usable(const Field& field, double value) {
    const bool inRange = value >= -kMaxCoordinateTwips && value <= kMaxCoordinateTwips;
    return inRange && (!field.size || value > 0);
}

std::wstring KeyOf(std::wstring_view prefix, const Field& field) { return std::wstring(prefix) + field.name; }

}  // namespace

TwipsRect LoadPlace(const SettingsStore& store, std::wstring_view prefix, const TwipsRect& defaults) {
    TwipsRect place = defaults;
    for (const Field& field : kFields) {
        // Read as a single-precision number, as places have always been stored.
        const std::optional<double> stored = store.Number(KeyOf(prefix, field));
        const double value = stored ? static_cast<float>(*stored) : defaults.*field.member;
        place.*field.member = Usable(field, value) ? value : defaults.*field.member;
    }
    return place;
}

void SavePlace(const SettingsStore& store, std::wstring_view prefix, const TwipsRect& place) {
    for (const Field& field : kFields) store.SaveNumber(KeyOf(prefix, field), place.*field.member);
}

}  // namespace kvztl
