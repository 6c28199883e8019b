// An entry point of a system DLL, looked up at run time: for functions that older Windows
// versions lack, and for DLLs loaded only when first needed.
#pragma once

#include <windows.h>

namespace kvztl {

// Loads `dll` from the system folder if it is not loaded yet; null if it has no `name`.
template <typename Fn>
Fn SystemEntry(const wchar_t* dll, const char* name) noexcept {
    HMODULE module = GetModuleHandleW(dll);
    if (!module) module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

}  // namespace kvztl
