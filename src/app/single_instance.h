// One strip per user session. The first start holds a named section that tells where its
// strip is; a later start asks that strip to come forward, and ends.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/handles.h"

namespace kvztl {

class SingleInstance {
public:
    // The first start in the session gets the instance. A later start gets none, once it has
    // asked the running strip to come forward.
    static std::unique_ptr<SingleInstance> ClaimOrHandOver() noexcept;

    // Tells later starts which window is the strip.
    void Publish(HWND strip) noexcept;

private:
    explicit SingleInstance(UniqueHandle section, UniqueView view) noexcept
        : section_(std::move(section)), view_(std::move(view)) {}

    UniqueHandle section_;
    UniqueView view_;
};

}  // namespace kvztl
