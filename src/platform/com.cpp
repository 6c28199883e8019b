#include "platform/com.h"

#include <windows.h>
#include <objbase.h>

#include "platform/system_entry.h"

namespace kvztl {

void InitializeComOnce() noexcept {
    thread_local bool initialized = false;
    if (initialized) return;
    initialized = true;
    static const auto coInitializeEx = SystemEntry<HRESULT(WINAPI*)(LPVOID, DWORD)>(L"ole32.dll", "CoInitializeEx");
    if (coInitializeEx) coInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
}

}  // namespace kvztl
