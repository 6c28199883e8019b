#include "settings_window/settings_window.h"

#include <commctrl.h>

#include <cmath>

#include "platform/placement.h"
#include "platform/tooltip.h"
#include "store/window_place.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using S = SettingsWindow;

constexpr Look kHeading{.font = LabelFont(12), .back = kBlack, .text = kGreen};

// In tab order, which is the order of creation.
const ControlSpec kControls[] = {
    TickBox(S::AlwaysOnTopTimer_TICKBOX, L"Always On Top", {4920, 3720, 1455, 375}),
    Button(S::START_BNBT_BUTTON, L"START BNBT SERVICE", {2760, 3000, 1575, 615}),
    Button(S::STOP_BNBT_BUTTON, L"STOP BNBT SERVICE", {2760, 3720, 1575, 615}),
    Button(S::OK_BUTTON, L"OK", {6960, 3600, 1935, 615}),
    Label(S::KORVANE_ZTL_TITLE_2, L"BNBT EasyTracker - Zentrel", {3480, 120, 5655, 480}, kHeading),
    Label(S::KORVANE_ZTL_VERSION, L"Version 1.0", {120, 720, 1935, 465}, kHeading),
    Label(S::KORVANE_ZTL_TITLE_1, L"KORVANE - ZTL", {120, 120, 3255, 480}, kHeading),
    Label(S::KORVANE_ZTL_CREATOR, L"Created By Pelloran", {2160, 720, 4335, 450}, kHeading),
    Button(S::BNBT_CONFIGURATION_APP_BUTTON, L"BNBT SERVER CONFIGURATION", {4560, 2640, 2175, 735}),
    TextBox(S::BNBT_FOLDER_TEXTBOX, settings::kTrackerFolderDefault, {240, 2040, 8775, 375}),
    Button(S::EXPLORE_BNBT_FOLDER_BUTTON, L"EXPLORE BNBT SERVER FOLDER", {6840, 2640, 2175, 735}),
    Button(S::INSTALL_BNBT_SERVICE_BUTTON, L"INSTALL BNBT SERVICE", {240, 3240, 2295, 375}, Initially::Disabled),
    Button(S::UNINSTALL_BNBT_SERVICE_BUTTON, L"UNINSTALL BNBT SERVICE", {240, 3840, 2295, 375}, Initially::Disabled),
    TickBox(S::SERVICE_INSTALLATION_MANAGER_TICKBOX, L"ENABLE SERVICE INSTALLATION MANAGEMENT", {240, 2640, 4215, 255}),
    TextBox(S::BNBT_WEBSITE_ADDRESS_TEXTBOX, kHomepageAddress, {3960, 1320, 5055, 465},
            {.font = LabelFont(12), .back = kGreen}, Editing::ReadOnlyCentred),
    Label(S::BNBT_WEBSITE_ADDRESS_LABEL, L"BNBT EasyTracker Homepage", {240, 1320, 3615, 495},
          {.font = LabelFont(9.75), .back = kGreen}),
};

// The rule under the heading block.
constexpr TwipsRect kLine1{240, 1920, 8760, 0};

// What each of these buttons asks of the tracker.
struct TrackerCommand {
    int button;
    TrackerAction action;
};

constexpr TrackerCommand kTrackerCommands[] = {
    {S::START_BNBT_BUTTON, TrackerAction::Start},
    {S::STOP_BNBT_BUTTON, TrackerAction::Stop},
    {S::INSTALL_BNBT_SERVICE_BUTTON, TrackerAction::Install},
    {S::UNINSTALL_BNBT_SERVICE_BUTTON, TrackerAction::Uninstall},
    {S::BNBT_CONFIGURATION_APP_BUTTON, TrackerAction::Configure},
    {S::EXPLORE_BNBT_FOLDER_BUTTON, TrackerAction::Explore},
};

// The stored always-on-top choice as the tick box takes it: a 16-bit whole number, rounded
// half to even as the settings service's readers round; none when it does not fit.
std::optional<short> AsTickBoxValue(std::optional<double> stored) {
    if (!stored) return std::nullopt;
    const double rounded = std::nearbyint(*stored);
    if (rounded < -32768 || rounded > 32767) return std::nullopt;
    return static_cast<short>(rounded);
}

SettingsWindow* g_open = nullptr;  // the one settings window shown modally, if any

}  // namespace

Form::Ptr<SettingsWindow> SettingsWindow::Create(Host host, const SettingsStore& store) {
    // The common controls (with visual styles, as the manifest asks) are loaded only once
    // the settings window is wanted: the status strip has no use for them.
    LoadCommonControls(ICC_STANDARD_CLASSES);
    const HWND owner = host.owner;
    auto window = Form::Create(new SettingsWindow(std::move(host), store),
                               {kClassName, L"KV-ZTL - SETTINGS", WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                                WS_EX_TOOLWINDOW | WS_EX_CONTROLPARENT, kControls},
                               owner);
    // The folder may hold any text the user can type or paste, however long.
    if (window) SendMessageW(window->controls().Get(BNBT_FOLDER_TEXTBOX), EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
    return window;
}

void SettingsWindow::ShowModal(Host host, const SettingsStore& store) {
    if (g_open) {
        SetForegroundWindow(g_open->hwnd());
        return;
    }
    const HWND owner = host.owner;
    const auto window = Create(std::move(host), store);
    if (!window) return;
    g_open = window.get();
    window->RunModal(owner);
    g_open = nullptr;
}

void SettingsWindow::OnCommand(int id, int code) {
    if (code == STN_DBLCLK && id == KORVANE_ZTL_CREATOR) return KORVANE_ZTL_CREATOR_DblClick();
    if (code != BN_CLICKED) return;
    switch (id) {
    case AlwaysOnTopTimer_TICKBOX:
        return AlwaysOnTopTimer_TICKBOX_Click();
    case SERVICE_INSTALLATION_MANAGER_TICKBOX:
        return SERVICE_INSTALLATION_MANAGER_TICKBOX_Click();
    case OK_BUTTON:
        return OK_BUTTON_Click();
    default:
        return RunTrackerCommand(id);
    }
}

void SettingsWindow::OnPaint(HDC dc) {
    const UINT dpi = WindowDpi(hwnd());
    const RECT line = TwipsToPixels(kLine1, dpi);
    const RECT rule{line.left, line.top, line.right, line.top + MulDiv(1, static_cast<int>(dpi), 96)};
    FillRect(dc, &rule, GetSysColorBrush(COLOR_WINDOWTEXT));
}

bool SettingsWindow::OnSystemCommand(UINT id) {
    if (id != HistoryItem || !host_.openHistory) return false;
    host_.openHistory();
    return true;
}

void SettingsWindow::Form_Load() {
    if (host_.openHistory) {
        const HMENU menu = GetSystemMenu(hwnd(), FALSE);
        InsertMenuW(menu, 0, MF_BYPOSITION | MF_STRING, HistoryItem, L"Tracker &history...");
        InsertMenuW(menu, 1, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    }
    PlaceWindowTwips(hwnd(), LoadPlace(store_, settings::kSettingsPlacePrefix, settings::kSettingsPlaceDefault));
    controls().SetText(BNBT_FOLDER_TEXTBOX,
                       store_.Text(settings::kTrackerFolder).value_or(settings::kTrackerFolderDefault));

    // Setting the tick box's value runs its click handler when the value changes.
    const bool ticked = AsTickBoxValue(store_.Number(settings::kAlwaysOnTop)).value_or(0) == 1;
    if (ticked != controls().Checked(AlwaysOnTopTimer_TICKBOX)) {
        controls().SetChecked(AlwaysOnTopTimer_TICKBOX, ticked);
        AlwaysOnTopTimer_TICKBOX_Click();
    }

    // Start and stop follow the indicator as it reads now; before the first poll both stay
    // enabled.
    if (host_.statusCaption() == status::kRunning) {
        controls().Enable(STOP_BNBT_BUTTON, true);
        controls().Enable(START_BNBT_BUTTON, false);
    }
    if (host_.statusCaption() == status::kStopped) {
        controls().Enable(START_BNBT_BUTTON, true);
        controls().Enable(STOP_BNBT_BUTTON, false);
    }
}

void SettingsWindow::Form_Unload() { StorePlaceAndFolder(); }

void SettingsWindow::AlwaysOnTopTimer_TICKBOX_Click() {
    const bool ticked = controls().Checked(AlwaysOnTopTimer_TICKBOX);
    host_.setKeeperEnabled(ticked);
    store_.Save(settings::kAlwaysOnTop, ticked ? L"1" : L"0");
}

void SettingsWindow::SERVICE_INSTALLATION_MANAGER_TICKBOX_Click() {
    controls().Enable(INSTALL_BNBT_SERVICE_BUTTON, true);
    controls().Enable(UNINSTALL_BNBT_SERVICE_BUTTON, true);
}

void SettingsWindow::RunTrackerCommand(int button) {
    for (const TrackerCommand& command : kTrackerCommands) {
        if (command.button == button) host_.run(command.action, hwnd(), controls().Text(BNBT_FOLDER_TEXTBOX));
    }
}

void SettingsWindow::OK_BUTTON_Click() {
    StorePlaceAndFolder();
    SendMessageW(hwnd(), WM_CLOSE, 0, 0);
}

void SettingsWindow::KORVANE_ZTL_CREATOR_DblClick() { controls().SetText(KORVANE_ZTL_CREATOR, kContactAddress); }

void SettingsWindow::StorePlaceAndFolder() {
    SavePlace(store_, settings::kSettingsPlacePrefix, WindowPlaceTwips(hwnd()));
    store_.Save(settings::kTrackerFolder, controls().Text(BNBT_FOLDER_TEXTBOX));
}

}  // namespace kvztl
