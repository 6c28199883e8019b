#include "app/single_instance.h"

#include <atomic>
#include <chrono>
#include <cstdint>

#include "status_window/status_window.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

constexpr const wchar_t* kSectionName = L"Local\\KV-ZTL.Strip";

// How long a start waits for a strip that is still being made, or for the process of one
// that has closed to end.
constexpr auto kPatience = std::chrono::seconds(10);
constexpr DWORD kRetryMilliseconds = 50;

// What the section holds.
struct Shared {
    std::atomic<std::uint32_t> owner;  // the process id of the strip's program, 0 for none
    std::atomic<std::uint64_t> strip;  // its window once made, 0 before and after
};

HWND AsWindow(std::uint64_t value) noexcept { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(value)); }

DWORD WindowProcess(HWND window) noexcept {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

// A strip window, made by `processId` when that is not 0.
bool IsStrip(HWND window, DWORD processId) noexcept {
    wchar_t className[64] = L"";
    if (!window || !GetClassNameW(window, className, 64) || lstrcmpW(className, StatusWindow::kClassName) != 0) {
        return false;
    }
    return processId == 0 || WindowProcess(window) == processId;
}

void AskToComeForward(HWND strip) noexcept {
    // This start has the user's foreground rights; the running one may take them.
    AllowSetForegroundWindow(WindowProcess(strip));
    PostMessageW(strip, RegisterWindowMessageW(kBringForwardMessage), 0, 0);
}

// False once the process has ended (or its id names no process).
bool StillRuns(DWORD processId) noexcept {
    const UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!process) {
        if (GetLastError() != ERROR_ACCESS_DENIED) return false;
        Sleep(kRetryMilliseconds);  // it runs, with rights that hide it from this start
        return true;
    }
    return WaitForSingleObject(process.get(), kRetryMilliseconds) == WAIT_TIMEOUT;
}

// The section is there: hands over to its live strip (true), or takes it over once its
// owner has gone or has had its time (false).
bool HandOverOrTakeOver(Shared& shared) noexcept {
    const auto giveUp = std::chrono::steady_clock::now() + kPatience;
    for (;;) {
        std::uint32_t owner = shared.owner.load();
        if (const HWND strip = AsWindow(shared.strip.load()); IsStrip(strip, owner)) {
            AskToComeForward(strip);
            return true;
        }
        const bool ownerGone = owner == 0 || !StillRuns(owner);
        if (ownerGone || std::chrono::steady_clock::now() >= giveUp) {
            // Of two starts that find it so, one takes over; the other finds the new owner.
            if (shared.owner.compare_exchange_strong(owner, GetCurrentProcessId())) {
                shared.strip.store(0);
                return false;
            }
        }
        if (owner == 0) Sleep(kRetryMilliseconds);
    }
}

// The section belongs to a strip of higher rights (one run elevated): its window is found
// by its class.
bool HandOverToElevatedStrip() noexcept {
    const auto giveUp = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < giveUp) {
        if (const HWND strip = FindWindowW(StatusWindow::kClassName, nullptr)) {
            AskToComeForward(strip);
            return true;
        }
        Sleep(kRetryMilliseconds);
    }
    return false;
}

}  // namespace

std::unique_ptr<SingleInstance> SingleInstance::ClaimOrHandOver() noexcept {
    UniqueHandle section(
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Shared), kSectionName));
    const DWORD error = GetLastError();
    if (!section && error == ERROR_ACCESS_DENIED && HandOverToElevatedStrip()) return nullptr;
    UniqueView view(section ? MapViewOfFile(section.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(Shared))
                            : nullptr);
    if (view) {
        auto& shared = *static_cast<Shared*>(view.get());
        if (error != ERROR_ALREADY_EXISTS) {
            shared.owner.store(GetCurrentProcessId());
        } else if (HandOverOrTakeOver(shared)) {
            return nullptr;
        }
    }
    // Without the section the program still runs, only without this guard.
    return std::unique_ptr<SingleInstance>(new (std::nothrow) SingleInstance(std::move(section), std::move(view)));
}

void SingleInstance::Publish(HWND strip) noexcept {
    if (view_) static_cast<Shared*>(view_.get())->strip.store(reinterpret_cast<std::uintptr_t>(strip));
}

void SingleInstance::Withdraw() noexcept {
    if (view_) static_cast<Shared*>(view_.get())->strip.store(0);
}

}  // namespace kvztl
