#include "platform/tooltip.h"

#include <commctrl.h>

#include "platform/dpi.h"
#include "platform/system_entry.h"

namespace kvztl {
namespace {

// Wide enough for a line of the strip's longest text; a longer one wraps.
constexpr int kTipWidth = 420;

TOOLINFOW ToolOf(HWND owner, HWND control, UINT flags) {
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = flags;
    tool.hwnd = owner;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    return tool;
}

UniqueWindow CreateTipWindow(HWND owner) {
    if (!LoadCommonControls(ICC_WIN95_CLASSES)) return nullptr;
    UniqueWindow tip(CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE, TOOLTIPS_CLASSW, nullptr,
                                     WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                                     CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, nullptr, nullptr));
    if (tip) SendMessageW(tip.get(), TTM_SETMAXTIPWIDTH, 0, MulDiv(kTipWidth, static_cast<int>(WindowDpi(owner)), 96));
    return tip;
}

}  // namespace

bool LoadCommonControls(DWORD classes) noexcept {
    static const auto initCommonControls =
        SystemEntry<BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*)>(L"comctl32.dll", "InitCommonControlsEx");
    const INITCOMMONCONTROLSEX wanted{sizeof(wanted), classes};
    return initCommonControls && initCommonControls(&wanted);
}

UniqueWindow CreateTip(HWND owner, HWND control, const std::wstring& text) {
    UniqueWindow tip = CreateTipWindow(owner);
    if (!tip) return nullptr;
    TOOLINFOW tool = ToolOf(owner, control, TTF_IDISHWND | TTF_SUBCLASS);
    tool.lpszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(tip.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    // Long enough to read three lines.
    SendMessageW(tip.get(), TTM_SETDELAYTIME, TTDT_AUTOPOP, 30000);
    return tip;
}

void SetTipText(HWND tip, HWND control, const std::wstring& text) {
    TOOLINFOW tool = ToolOf(GetParent(control), control, TTF_IDISHWND);
    tool.lpszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

}  // namespace kvztl
