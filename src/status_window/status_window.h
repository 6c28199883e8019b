// KV_ZTL_MAIN: the strip that shows whether the tracker runs, starts or stops it on a
// double-click, and keeps itself on top when asked.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/controls.h"
#include "platform/window.h"
#include "store/settings_store.h"
#include "tracker/launcher.h"
#include "tracker/process_probe.h"

namespace kvztl {

class StatusWindow final : public Window {
public:
    static constexpr const wchar_t* kClassName = L"KV_ZTL_MAIN";
    static constexpr const wchar_t* kTrackerImage = L"BNBT.exe";

    // Control and timer identifiers, named after the controls.
    enum Control : int { KORVANE_ZTL_TITLE = 101, BNBT_SERVICE_STATUS_LABEL = 102 };
    enum Timer : UINT_PTR { BNBT_SERVICE_CHECKER_TIMER = 1, AlwaysOnTopTimer = 2 };

    struct Services {
        const SettingsStore& store;
        ProcessProbe probe;
        Launcher& launcher;
        std::function<void(StatusWindow&)> openSettings;  // double-click on the title
        std::function<void()> closed;                     // the window has gone
    };

    ~StatusWindow() override { DestroyHwnd(); }

    // Creates and loads the window (hidden); null if the system refused to create it.
    static std::unique_ptr<StatusWindow> Create(Services services);

    void Show() noexcept { ShowWindow(hwnd(), SW_SHOWNORMAL); }

    // The indicator as the rest of the program reads it.
    std::wstring StatusCaption() const { return controls_.Text(BNBT_SERVICE_STATUS_LABEL); }
    COLORREF StatusColor() const noexcept { return *controls_.BackColor(BNBT_SERVICE_STATUS_LABEL); }

    // The always-on-top keeper: switching it off only stops the ticks.
    void SetAlwaysOnTop(bool enabled) noexcept;
    bool AlwaysOnTop() const noexcept { return keeperEnabled_; }

private:
    explicit StatusWindow(Services services);
    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) noexcept override;

    void Form_Load();
    void Form_Unload();
    void BNBT_SERVICE_CHECKER_TIMER_Timer();
    void AlwaysOnTopTimer_Timer() noexcept;
    void BNBT_SERVICE_STATUS_LABEL_DblClick();
    void KORVANE_ZTL_TITLE_DblClick();

    Services services_;
    ControlSet controls_;
    bool loaded_ = false;  // a window that never finished loading stores nothing as it goes
    bool keeperEnabled_ = false;
};

}  // namespace kvztl
