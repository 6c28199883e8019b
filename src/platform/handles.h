// RAII owners for the Win32 handle kinds the program holds.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace kvztl {

template <typename Handle, auto Close>
struct CloseWith {
    using pointer = Handle;
    void operator()(Handle handle) const noexcept {
        if (handle) Close(handle);
    }
};

template <typename Handle, auto Close>
using Unique = std::unique_ptr<std::remove_pointer_t<Handle>, CloseWith<Handle, Close>>;

using UniqueHandle = Unique<HANDLE, &::CloseHandle>;
using UniqueKey = Unique<HKEY, &::RegCloseKey>;
using UniqueFont = Unique<HFONT, &::DeleteObject>;
using UniqueBrush = Unique<HBRUSH, &::DeleteObject>;
using UniqueWindow = Unique<HWND, &::DestroyWindow>;
using UniqueServiceHandle = Unique<SC_HANDLE, &::CloseServiceHandle>;
using UniqueView = Unique<void*, &::UnmapViewOfFile>;  // MapViewOfFile
using UniqueMenu = Unique<HMENU, &::DestroyMenu>;
using UniqueDC = Unique<HDC, &::DeleteDC>;  // CreateCompatibleDC
using UniqueBitmap = Unique<HBITMAP, &::DeleteObject>;

// A handle that reports failure as INVALID_HANDLE_VALUE (snapshots, files) becomes empty.
inline UniqueHandle AdoptFileHandle(HANDLE handle) noexcept {
    return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// BeginPaint/EndPaint for the scope of a WM_PAINT handler.
class PaintScope {
public:
    explicit PaintScope(HWND hwnd) noexcept : hwnd_(hwnd), dc_(BeginPaint(hwnd, &ps_)) {}
    ~PaintScope() { EndPaint(hwnd_, &ps_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const noexcept { return dc_; }

private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

// A window's device context (GetDC/ReleaseDC; the screen's for a null window) for a scope.
class WindowDC {
public:
    explicit WindowDC(HWND hwnd = nullptr) noexcept : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
    ~WindowDC() { ReleaseDC(hwnd_, dc_); }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

// An object selected into a device context for a scope; the one it replaced comes back.
class SelectionScope {
public:
    SelectionScope(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(SelectObject(dc, object)) {}
    ~SelectionScope() { SelectObject(dc_, old_); }
    SelectionScope(const SelectionScope&) = delete;
    SelectionScope& operator=(const SelectionScope&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace kvztl
