// The base of the program's windows ("forms"). It holds once what every window needs: the
// link from the HWND to its object, the one exception boundary of the window procedure, the
// controls with their colours and DPI, a modal loop, and the load/unload contract. A window
// overrides the typed events it handles and reads as their list.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/controls.h"

namespace kvztl {

class Form {
public:
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    HWND hwnd() const noexcept { return hwnd_; }
    // Shows the window with the focus on its first control in the tab order.
    void Show() noexcept;

    // For the program's message loop: TAB, the arrows, Enter and Esc as a dialog takes them,
    // for a window of the program that is not modal but asked for them; true when taken.
    static bool TranslateDialogKeys(MSG& msg) noexcept;

    // Destroys the window while the whole object still handles its last messages (the
    // unload), then deletes the object.
    struct Destroyer {
        void operator()(Form* form) const noexcept;
    };
    template <typename DerivedForm>
    using Ptr = std::unique_ptr<DerivedForm, Destroyer>;

protected:
    struct Design {
        const wchar_t* className;
        const wchar_t* caption;
        DWORD style;
        DWORD exStyle;
        std::span<const ControlSpec> controls;
    };

    Form() = default;
    virtual ~Form() = default;

    // Creates `form` with its controls at the window's DPI and loads it (hidden); null if the
    // system refused or the load failed: there are no half-built windows.
    template <typename DerivedForm>
    static Ptr<DerivedForm> Create(DerivedForm* form, const Design& design, HWND owner) {
        Ptr<DerivedForm> created(form);
        if (!created->CreateAndLoad(design, owner)) return nullptr;
        return created;
    }

    // Shows the window modally over `owner` and returns once it has been destroyed. The
    // owner takes no input meanwhile; everything else (its timers too) goes on.
    void RunModal(HWND owner);

    ControlSet& controls() noexcept { return controls_; }
    const ControlSet& controls() const noexcept { return controls_; }

    // One error message owned by this window; nothing when there is no text.
    void ShowError(const std::optional<std::wstring>& text) const;

    // Keys as a dialog takes them while the window is open without a modal loop of its own.
    void AcceptDialogKeys();

    // The window's events. QueryUnload comes as soon as the window begins to close (WM_CLOSE)
    // or the session ends; Unload whenever the window closes or the session ends, and only
    // after a load that completed.
    virtual void Form_Load() {}
    virtual void Form_QueryUnload() {}
    virtual void Form_Unload() {}
    virtual void OnCommand(int /*id*/, int /*code*/) {}
    virtual void OnTimer(UINT_PTR /*id*/) {}
    virtual void OnPaint(HDC /*dc*/) {}
    virtual void OnDestroyed() {}
    // The window has moved to a monitor of another scale, its controls made anew at it.
    virtual void OnScaleChanged() {}
    // The window's system menu is about to open.
    virtual void OnSystemMenuOpening(HMENU /*menu*/) {}
    // An item of the system menu was chosen; false leaves it to the system.
    virtual bool OnSystemCommand(UINT /*id*/) { return false; }
    // Any message the events above leave out; nothing leaves it to the system.
    virtual std::optional<LRESULT> OnMessage(UINT /*message*/, WPARAM /*wparam*/, LPARAM /*lparam*/) {
        return std::nullopt;
    }

private:
    bool CreateAndLoad(const Design& design, HWND owner) noexcept;
    static std::vector<HWND>& DialogKeyWindows() noexcept;
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept;
    // Dispatches to the events; may throw, the procedure catches.
    std::optional<LRESULT> Handle(UINT message, WPARAM wparam, LPARAM lparam);
    void Unload();
    // A debugger's line about this window, "KV-ZTL window <class>: <event>: <detail>", with
    // the error code as its detail, or without one (inside a catch) the exception.
    void Trace(const wchar_t* event, std::optional<DWORD> error = std::nullopt) const noexcept;

    HWND hwnd_ = nullptr;
    const wchar_t* className_ = L"";
    ControlSet controls_;
    bool loaded_ = false;
    HWND modalOwner_ = nullptr;  // enabled again before the window goes
    HWND focus_ = nullptr;       // the control that had the focus when the window was left
};

}  // namespace kvztl
