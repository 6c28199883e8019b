#include "platform/window.h"

#include "platform/resource_ids.h"

namespace kvztl {
namespace {

// The icon of the program's executable at the system's small or large icon size.
HICON ProgramIcon(bool small) noexcept {
    const int size = GetSystemMetrics(small ? SM_CXSMICON : SM_CXICON);
    return static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, size, size, LR_SHARED));
}

bool g_sessionEnding = false;  // only the window thread reads and writes it

}  // namespace

std::wstring WindowText(HWND hwnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

void RegisterClassOnce(WNDCLASSEXW wc) noexcept {
    wc.cbSize = sizeof(wc);
    wc.hInstance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (!GetClassInfoExW(wc.hInstance, wc.lpszClassName, &existing)) RegisterClassExW(&wc);
}

void RegisterFormClass(const wchar_t* className, WNDPROC procedure) noexcept {
    WNDCLASSEXW wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = procedure;
    wc.hIcon = ProgramIcon(false);
    wc.hIconSm = ProgramIcon(true);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = className;
    RegisterClassOnce(wc);
}

void ShowErrorMessage(HWND owner, const std::wstring& text) {
    if (SessionEnding()) return;
    const std::wstring caption = WindowText(GetAncestor(owner, GA_ROOTOWNER));
    MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

void SetSessionEnding(bool ending) noexcept { g_sessionEnding = ending; }

bool SessionEnding() noexcept { return g_sessionEnding; }

void DrawAttention(HWND hwnd) noexcept {
    FLASHWINFO flash{};
    flash.cbSize = sizeof(flash);
    flash.hwnd = hwnd;
    flash.dwFlags = FLASHW_ALL | FLASHW_TIMERNOFG;
    FlashWindowEx(&flash);
    MessageBeep(MB_ICONWARNING);
}

}  // namespace kvztl
