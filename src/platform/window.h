// Base for a top-level window object: the HWND finds its object from WM_NCCREATE on and lets
// go of it at WM_NCDESTROY; every message goes through HandleMessage, which must not throw.
#pragma once

#include <windows.h>

#include <string>

namespace kvztl {

class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND hwnd() const noexcept { return hwnd_; }

protected:
    // Destroys the window while the derived object can still handle its last messages (the
    // unload); every derived destructor calls it.
    void DestroyHwnd() noexcept;

    // Registers `className` once per process, for windows with the program's icon.
    static void RegisterWindowClass(const wchar_t* className) noexcept;

    // Creates the window; false when the system refused (hwnd() stays null).
    bool CreateHwnd(const wchar_t* className, const wchar_t* title, DWORD style, DWORD exStyle,
                    HWND owner) noexcept;

    virtual LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) noexcept = 0;
    LRESULT Default(UINT message, WPARAM wparam, LPARAM lparam) noexcept {
        return DefWindowProcW(hwnd_, message, wparam, lparam);
    }

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept;
    HWND hwnd_ = nullptr;
};

// The text (caption) of any window.
std::wstring WindowText(HWND hwnd);

// Registers a window class of this module unless it is registered already.
void RegisterClassOnce(WNDCLASSEXW wc) noexcept;

// The icon of the program's executable at the system's small or large icon size.
HICON ProgramIcon(bool small) noexcept;

}  // namespace kvztl
