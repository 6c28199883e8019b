// KV_ZTL_SETTINGS: the tracker's service buttons, its folder, and the always-on-top choice.
// Opened modally over the status window; every opening starts from the design-time state.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/controls.h"
#include "platform/window.h"
#include "store/settings_store.h"
#include "tracker/launcher.h"

namespace kvztl {

class SettingsWindow final : public Window {
public:
    static constexpr const wchar_t* kClassName = L"KV_ZTL_SETTINGS";
    static constexpr const wchar_t* kContactAddress = L"kv-ztl@example.org";
    static constexpr const wchar_t* kHomepageAddress = L"https://bnbt.example.org/";

    // Control identifiers, named after the controls (none is IDOK or IDCANCEL, so ENTER and
    // ESC close nothing).
    enum Control : int {
        AlwaysOnTopTimer_TICKBOX = 201,
        START_BNBT_BUTTON,
        STOP_BNBT_BUTTON,
        OK_BUTTON,
        KORVANE_ZTL_TITLE_2,
        KORVANE_ZTL_VERSION,
        KORVANE_ZTL_TITLE_1,
        KORVANE_ZTL_CREATOR,
        BNBT_CONFIGURATION_APP_BUTTON,
        BNBT_FOLDER_TEXTBOX,
        EXPLORE_BNBT_FOLDER_BUTTON,
        INSTALL_BNBT_SERVICE_BUTTON,
        UNINSTALL_BNBT_SERVICE_BUTTON,
        SERVICE_INSTALLATION_MANAGER_TICKBOX,
        BNBT_WEBSITE_ADDRESS_TEXTBOX,
        BNBT_WEBSITE_ADDRESS_LABEL,
    };

    // What the settings window reaches in the status window that owns it.
    struct Host {
        HWND owner;
        std::function<std::wstring()> statusCaption;
        std::function<void(bool)> setAlwaysOnTop;
    };

    ~SettingsWindow() override { DestroyHwnd(); }

    // Creates and loads the window (hidden); null if the system refused.
    static std::unique_ptr<SettingsWindow> Create(Host host, const SettingsStore& store, Launcher& launcher);

    // Opens the window modally over host.owner and returns once it has closed. The owner
    // takes no input meanwhile, but its timers keep running. At most one is open at a time.
    static void ShowModal(Host host, const SettingsStore& store, Launcher& launcher);

    void Show() noexcept;
    void Close() noexcept { PostMessageW(hwnd(), WM_CLOSE, 0, 0); }
    const ControlSet& controls() const noexcept { return controls_; }

private:
    SettingsWindow(Host host, const SettingsStore& store, Launcher& launcher);
    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) noexcept override;
    void OnCommand(int id, int code);
    void OnPaint() noexcept;

    void Form_Load();
    void Form_Unload();
    void SaveState();
    void AlwaysOnTopTimer_TICKBOX_Click();
    void SERVICE_INSTALLATION_MANAGER_TICKBOX_Click();
    void LaunchButton_Click(int id);
    void EXPLORE_BNBT_FOLDER_BUTTON_Click();
    void OK_BUTTON_Click();
    void KORVANE_ZTL_CREATOR_DblClick();

    Host host_;
    const SettingsStore& store_;
    Launcher& launcher_;
    ControlSet controls_;
    bool loaded_ = false;  // a window that never finished loading stores nothing as it goes
    HWND focus_ = nullptr;  // restored when the window is activated again
};

}  // namespace kvztl
