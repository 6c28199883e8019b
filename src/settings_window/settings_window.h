// KV_ZTL_SETTINGS: the tracker's service buttons, its folder, and the always-on-top choice.
// Opened modally over the status window; every opening starts from the design-time state.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "platform/form.h"
#include "store/settings_store.h"
#include "tracker/tracker_control.h"

namespace kvztl {

class SettingsWindow final : public Form {
public:
    static constexpr const wchar_t* kClassName = L"KV_ZTL_SETTINGS";
    static constexpr const wchar_t* kContactAddress = L"kv-ztl@example.org";

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
        std::function<void(bool)> setKeeperEnabled;
        // Carries out a tracker action for this window, with the tracker folder as typed.
        std::function<void(TrackerAction, HWND owner, const std::wstring& trackerFolder)> run;
        // The tracker's history, from the window's own menu; none: no such item.
        std::function<void()> openHistory;
    };

    // The item of the window's own menu (Alt+Space) beside the system's.
    enum MenuItem : UINT { HistoryItem = 0xC0 };

    // Creates and loads the window (hidden); null if the system refused.
    static Ptr<SettingsWindow> Create(Host host, const SettingsStore& store);

    // Opens the window modally over host.owner and returns once it has closed. At most one
    // is open at a time.
    static void ShowModal(Host host, const SettingsStore& store);

private:
    SettingsWindow(Host host, const SettingsStore& store) : host_(std::move(host)), store_(store) {}

    void OnCommand(int id, int code) override;
    void OnPaint(HDC dc) override;
    bool OnSystemCommand(UINT id) override;

    void Form_Load() override;
    void Form_Unload() override;
    void AlwaysOnTopTimer_TICKBOX_Click();
    void SERVICE_INSTALLATION_MANAGER_TICKBOX_Click();
    void RunTrackerCommand(int button);  // START, STOP, INSTALL, UNINSTALL, CONFIGURATION, EXPLORE
    void OK_BUTTON_Click();
    void KORVANE_ZTL_CREATOR_DblClick();

    void StorePlaceAndFolder();

    Host host_;
    const SettingsStore& store_;
};

}  // namespace kvztl
