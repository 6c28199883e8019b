#include "store/choices.h"

namespace kvztl {

bool IsOn(const SettingsStore& store, const Choice& choice) {
    const std::optional<double> stored = store.Number(choice.key);
    return stored ? *stored == 1.0 : choice.byDefault;
}

bool SetOn(const SettingsStore& store, const Choice& choice, bool on) {
    return store.Save(choice.key, on ? L"1" : L"0");
}

}  // namespace kvztl
