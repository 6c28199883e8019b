// One strip per user session. The first start holds a named section that tells which
// process owns the strip and where its window is; a later start asks that strip to come
// forward, and ends. A strip that is closing withdraws its window, so that a start meanwhile
// waits for the old process to end and becomes the strip itself.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/handles.h"

namespace kvztl {

class SingleInstance {
public:
    // The instance for this start, or none once the running strip has been asked to come
    // forward. Without a section (none can be made) the program runs unguarded.
    static std::unique_ptr<SingleInstance> ClaimOrHandOver() noexcept;

    // Tells later starts which window is the strip.
    void Publish(HWND strip) noexcept;
    // The strip has gone; this process is ending.
    void Withdraw() noexcept;

private:
    SingleInstance(UniqueHandle section, UniqueView view) noexcept
        : section_(std::move(section)), view_(std::move(view)) {}

    UniqueHandle section_;
    UniqueView view_;
};

}  // namespace kvztl
