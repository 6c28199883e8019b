// The icon's picture: a round indicator in the strip's colours, drawn at the size the
// notification area asks for, so that it is crisp at any DPI.
#pragma once

#include <windows.h>

#include "platform/handles.h"

namespace kvztl {

using UniqueIcon = Unique<HICON, &::DestroyIcon>;

// A disc of `color` with a darker rim on a transparent square of `size` pixels, its edges
// smoothed by the alpha channel. Null if the system refused.
UniqueIcon DrawIndicator(COLORREF color, int size) noexcept;

}  // namespace kvztl
