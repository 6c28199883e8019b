// KV-ZTL: shows whether the BNBT tracker runs and starts or stops it.
#include <windows.h>

#include "app/single_instance.h"
#include "app/wiring.h"
#include "platform/signal_wait.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Nothing is ever loaded from the current folder or the search path.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    // A second start brings the running strip forward instead.
    const auto instance = kvztl::SingleInstance::ClaimOrHandOver();
    if (!instance) return 0;

    kvztl::SettingsStore store;
    store.ReportFailuresTo(&kvztl::TellStoreFailureOnce);
    const auto faces = kvztl::ProgramFaces::Create(store, instance.get());
    if (!faces) return 1;
    instance->Publish(faces->Strip());
    faces->Show();

    MSG msg{};
    while (kvztl::NextMessage(msg)) {
        if (kvztl::Form::TranslateDialogKeys(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
