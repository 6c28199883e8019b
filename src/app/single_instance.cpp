#include "app/single_instance.h"

#include <atomic>
#include <cstdint>

#include "status_window/status_window.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

constexpr const wchar_t* kSectionName = L"Local\\KV-ZTL.Strip";

// What the section holds: the strip's window once it exists, 0 until then.
using Published = std::atomic<std::uint64_t>;

HWND PublishedStrip(const Published& published) noexcept {
    const HWND strip = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(published.load()));
    wchar_t className[64] = L"";
    if (!strip || !GetClassNameW(strip, className, 64)) return nullptr;
    return lstrcmpW(className, StatusWindow::kClassName) == 0 ? strip : nullptr;
}

void AskToComeForward(const Published& published) noexcept {
    // The first start may still be making its window.
    HWND strip = nullptr;
    for (int attempt = 0; attempt < 50 && !(strip = PublishedStrip(published)); ++attempt) Sleep(100);
    if (!strip) return;
    DWORD processId = 0;
    GetWindowThreadProcessId(strip, &processId);
    // This start has the user's foreground rights; the running one may take them.
    AllowSetForegroundWindow(processId);
    PostMessageW(strip, RegisterWindowMessageW(kBringForwardMessage), 0, 0);
}

}  // namespace

std::unique_ptr<SingleInstance> SingleInstance::ClaimOrHandOver() noexcept {
    UniqueHandle section(
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Published), kSectionName));
    const bool second = GetLastError() == ERROR_ALREADY_EXISTS;
    UniqueView view(section ? MapViewOfFile(section.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(Published))
                            : nullptr);
    if (second) {
        if (view) AskToComeForward(*static_cast<const Published*>(view.get()));
        return nullptr;
    }
    // Without the section the program still runs, only without this guard.
    return std::unique_ptr<SingleInstance>(new (std::nothrow) SingleInstance(std::move(section), std::move(view)));
}

void SingleInstance::Publish(HWND strip) noexcept {
    if (view_) static_cast<Published*>(view_.get())->store(reinterpret_cast<std::uintptr_t>(strip));
}

}  // namespace kvztl
