#include "platform/com.h"

#include <windows.h>
#include <objbase.h>

#include "platform/system_entry.h"

namespace kvztl {
namespace {

bool EnterApartment() noexcept {
    static const auto coInitializeEx = SystemEntry<HRESULT(WINAPI*)(LPVOID, DWORD)>(L"ole32.dll", "CoInitializeEx");
    return coInitializeEx && SUCCEEDED(coInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
}

}  // namespace

void InitializeComOnce() noexcept {
    thread_local bool initialized = false;
    if (initialized) return;
    initialized = true;
    EnterApartment();
}

ComApartment::ComApartment() noexcept : initialized_(EnterApartment()) {}

ComApartment::~ComApartment() {
    static const auto coUninitialize = SystemEntry<void(WINAPI*)()>(L"ole32.dll", "CoUninitialize");
    if (initialized_ && coUninitialize) coUninitialize();
}

}  // namespace kvztl
