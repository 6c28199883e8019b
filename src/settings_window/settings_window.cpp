#include "settings_window/settings_window.h"

#include <commctrl.h>

#include "platform/label.h"
#include "platform/placement.h"
#include "platform/system_entry.h"
#include "store/settings_keys.h"
#include "store/window_place.h"

namespace kvztl {
namespace {

// The rule under the heading block, in twips.
constexpr TwipsRect kLine1{240, 1920, 8760, 0};

using S = SettingsWindow;
constexpr DWORD kButton = BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP;
constexpr DWORD kTickBox = BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr DWORD kHeading = WS_BORDER;
constexpr FontSpec kSystemFont{};
constexpr FontSpec kHeadingFont = LabelFont(12);

// In tab order, which is the order of creation.
const ControlSpec kControls[] = {
    {S::AlwaysOnTopTimer_TICKBOX, WC_BUTTONW, L"Always On Top", kTickBox, 0, {4920, 3720, 1455, 375}, kSystemFont},
    {S::START_BNBT_BUTTON, WC_BUTTONW, L"START BNBT SERVICE", kButton, 0, {2760, 3000, 1575, 615}, kSystemFont},
    {S::STOP_BNBT_BUTTON, WC_BUTTONW, L"STOP BNBT SERVICE", kButton, 0, {2760, 3720, 1575, 615}, kSystemFont},
    {S::OK_BUTTON, WC_BUTTONW, L"OK", kButton, 0, {6960, 3600, 1935, 615}, kSystemFont},
    {S::KORVANE_ZTL_TITLE_2, kLabelClass, L"BNBT EasyTracker - Zentrel", kHeading, 0, {3480, 120, 5655, 480},
     kHeadingFont, kBlack, kGreen},
    {S::KORVANE_ZTL_VERSION, kLabelClass, L"Version 1.0", kHeading, 0, {120, 720, 1935, 465}, kHeadingFont, kBlack,
     kGreen},
    {S::KORVANE_ZTL_TITLE_1, kLabelClass, L"KORVANE - ZTL", kHeading, 0, {120, 120, 3255, 480}, kHeadingFont, kBlack,
     kGreen},
    {S::KORVANE_ZTL_CREATOR, kLabelClass, L"Created By Pelloran", kHeading, 0, {2160, 720, 4335, 450}, kHeadingFont,
     kBlack, kGreen},
    {S::BNBT_CONFIGURATION_APP_BUTTON, WC_BUTTONW, L"BNBT SERVER CONFIGURATION", kButton, 0,
     {4560, 2640, 2175, 735}, kSystemFont},
    {S::BNBT_FOLDER_TEXTBOX, WC_EDITW, settings::kTrackerFolderDefault, ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
     {240, 2040, 8775, 375}, kSystemFont},
    {S::EXPLORE_BNBT_FOLDER_BUTTON, WC_BUTTONW, L"EXPLORE BNBT SERVER FOLDER", kButton, 0, {6840, 2640, 2175, 735},
     kSystemFont},
    {S::INSTALL_BNBT_SERVICE_BUTTON, WC_BUTTONW, L"INSTALL BNBT SERVICE", kButton | WS_DISABLED, 0,
     {240, 3240, 2295, 375}, kSystemFont},
    {S::UNINSTALL_BNBT_SERVICE_BUTTON, WC_BUTTONW, L"UNINSTALL BNBT SERVICE", kButton | WS_DISABLED, 0,
     {240, 3840, 2295, 375}, kSystemFont},
    {S::SERVICE_INSTALLATION_MANAGER_TICKBOX, WC_BUTTONW, L"ENABLE SERVICE INSTALLATION MANAGEMENT", kTickBox, 0,
     {240, 2640, 4215, 255}, kSystemFont},
    {S::BNBT_WEBSITE_ADDRESS_TEXTBOX, WC_EDITW, S::kHomepageAddress,
     ES_CENTER | ES_AUTOHSCROLL | ES_READONLY | WS_TABSTOP, WS_EX_CLIENTEDGE, {3960, 1320, 5055, 465},
     kHeadingFont, kGreen},
    {S::BNBT_WEBSITE_ADDRESS_LABEL, kLabelClass, L"BNBT EasyTracker Homepage", WS_BORDER, 0,
     {240, 1320, 3615, 495}, LabelFont(9.75), kGreen},
};

// The tracker program and command each launch button runs.
struct LaunchRow {
    int button;
    const wchar_t* program;
    const wchar_t* parameters;
};

constexpr LaunchRow kLaunchRows[] = {
    {S::START_BNBT_BUTTON, L"bnbt.exe", L"-start"},
    {S::STOP_BNBT_BUTTON, L"bnbt.exe", L"-stop"},
    {S::INSTALL_BNBT_SERVICE_BUTTON, L"bnbt.exe", L"-i"},
    {S::UNINSTALL_BNBT_SERVICE_BUTTON, L"bnbt.exe", L"-u"},
    {S::BNBT_CONFIGURATION_APP_BUTTON, L"bnbtfrontend.exe", L""},
};

SettingsWindow* g_open = nullptr;  // the one settings window shown modally, if any

}  // namespace

SettingsWindow::SettingsWindow(Host host, const SettingsStore& store, Launcher& launcher)
    : host_(std::move(host)), store_(store), launcher_(launcher) {}

std::unique_ptr<SettingsWindow> SettingsWindow::Create(Host host, const SettingsStore& store,
                                                       Launcher& launcher) {
    // The common controls (with visual styles, as the manifest asks) are loaded only once
    // the settings window is wanted: the status strip has no use for them.
    static const auto initCommonControls =
        SystemEntry<BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*)>(L"comctl32.dll", "InitCommonControlsEx");
    const INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_STANDARD_CLASSES};
    if (initCommonControls) initCommonControls(&classes);
    RegisterWindowClass(kClassName);
    std::unique_ptr<SettingsWindow> window(new SettingsWindow(std::move(host), store, launcher));
    const HWND owner = window->host_.owner;
    if (!window->CreateHwnd(kClassName, L"KV-ZTL - SETTINGS", WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                            WS_EX_TOOLWINDOW | WS_EX_CONTROLPARENT, owner)) {
        return nullptr;
    }
    if (!window->controls_.Create(window->hwnd(), kControls, WindowDpi(window->hwnd()))) return nullptr;
    // The folder may hold any text the user can type or paste, however long.
    SendMessageW(window->controls_.Get(BNBT_FOLDER_TEXTBOX), EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
    window->Form_Load();
    return window;
}

void SettingsWindow::ShowModal(Host host, const SettingsStore& store, Launcher& launcher) {
    if (g_open) {
        SetForegroundWindow(g_open->hwnd());
        return;
    }
    const HWND owner = host.owner;
    const std::unique_ptr<SettingsWindow> window = Create(std::move(host), store, launcher);
    if (!window) return;
    g_open = window.get();
    EnableWindow(owner, FALSE);
    window->Show();
    MSG msg{};
    bool quit = false;
    while (window->hwnd()) {
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
            quit = true;
            break;
        }
        if (!IsDialogMessageW(window->hwnd(), &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    EnableWindow(owner, TRUE);
    g_open = nullptr;
    // The program is ending: the window closes (and stores) as the pointer goes, and the
    // outer loop must see the request too.
    if (quit) PostQuitMessage(static_cast<int>(msg.wParam));
}

void SettingsWindow::Show() noexcept {
    ShowWindow(hwnd(), SW_SHOWNORMAL);
    SetFocus(controls_.Get(AlwaysOnTopTimer_TICKBOX));
}

LRESULT SettingsWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    try {
        switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wparam), HIWORD(wparam));
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
            if (HBRUSH brush = controls_.OnCtlColor(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam))) {
                return reinterpret_cast<LRESULT>(brush);
            }
            break;
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wparam) == WA_INACTIVE) {
                focus_ = GetFocus();
            } else if (focus_ && IsChild(hwnd(), focus_)) {
                SetFocus(focus_);
                return 0;
            }
            break;
        case WM_DPICHANGED:
            controls_.OnDpiChanged(hwnd(), wparam, lparam);
            return 0;
        case WM_CLOSE:
            // The owner takes input again before this window goes, so it is the one activated.
            EnableWindow(host_.owner, TRUE);
            DestroyWindow(hwnd());
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            // The process may end as soon as this returns: store what closing would.
            if (wparam) Form_Unload();
            return 0;
        case WM_DESTROY:
            Form_Unload();
            return 0;
        }
    } catch (...) {
        // Nothing may unwind through the window procedure; the event is dropped.
    }
    return Default(message, wparam, lparam);
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
    case EXPLORE_BNBT_FOLDER_BUTTON:
        return EXPLORE_BNBT_FOLDER_BUTTON_Click();
    default:
        return LaunchButton_Click(id);
    }
}

void SettingsWindow::OnPaint() noexcept {
    PaintScope paint(hwnd());
    const UINT dpi = WindowDpi(hwnd());
    const RECT line = TwipsToPixels(kLine1, dpi);
    const RECT rule{line.left, line.top, line.right, line.top + MulDiv(1, static_cast<int>(dpi), 96)};
    FillRect(paint.dc(), &rule, GetSysColorBrush(COLOR_WINDOWTEXT));
}

void SettingsWindow::Form_Load() {
    PlaceWindowTwips(hwnd(), LoadPlace(store_, settings::kSettingsPlacePrefix, settings::kSettingsPlaceDefault));
    controls_.SetText(BNBT_FOLDER_TEXTBOX, store_.Text(settings::kTrackerFolder, settings::kTrackerFolderDefault));

    // Setting the tick box's value runs its click handler when the value changes.
    const bool ticked = store_.Integer(settings::kAlwaysOnTop, settings::kAlwaysOnTopDefault) == 1;
    if (ticked != controls_.Checked(AlwaysOnTopTimer_TICKBOX)) {
        SendMessageW(controls_.Get(AlwaysOnTopTimer_TICKBOX), BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
        AlwaysOnTopTimer_TICKBOX_Click();
    }

    // Start and stop follow the indicator as it reads now; before the first poll both stay
    // enabled.
    if (host_.statusCaption() == L"RUNNING") {
        controls_.Enable(STOP_BNBT_BUTTON, true);
        controls_.Enable(START_BNBT_BUTTON, false);
    }
    if (host_.statusCaption() == L"STOPPED") {
        controls_.Enable(START_BNBT_BUTTON, true);
        controls_.Enable(STOP_BNBT_BUTTON, false);
    }
    loaded_ = true;
}

void SettingsWindow::Form_Unload() {
    if (loaded_) SaveState();
}

void SettingsWindow::SaveState() {
    SavePlace(store_, settings::kSettingsPlacePrefix, WindowPlaceTwips(hwnd()));
    store_.Save(settings::kTrackerFolder, controls_.Text(BNBT_FOLDER_TEXTBOX));
}

void SettingsWindow::AlwaysOnTopTimer_TICKBOX_Click() {
    const bool ticked = controls_.Checked(AlwaysOnTopTimer_TICKBOX);
    host_.setAlwaysOnTop(ticked);
    store_.Save(settings::kAlwaysOnTop, ticked ? L"1" : L"0");
}

void SettingsWindow::SERVICE_INSTALLATION_MANAGER_TICKBOX_Click() {
    controls_.Enable(INSTALL_BNBT_SERVICE_BUTTON, true);
    controls_.Enable(UNINSTALL_BNBT_SERVICE_BUTTON, true);
}

void SettingsWindow::LaunchButton_Click(int id) {
    for (const LaunchRow& row : kLaunchRows) {
        if (row.button != id) continue;
        launcher_.RunTrackerProgram(hwnd(), row.program, row.parameters, controls_.Text(BNBT_FOLDER_TEXTBOX));
    }
}

void SettingsWindow::EXPLORE_BNBT_FOLDER_BUTTON_Click() { launcher_.Explore(hwnd(), controls_.Text(BNBT_FOLDER_TEXTBOX)); }

void SettingsWindow::OK_BUTTON_Click() {
    SaveState();
    SendMessageW(hwnd(), WM_CLOSE, 0, 0);
}

void SettingsWindow::KORVANE_ZTL_CREATOR_DblClick() { controls_.SetText(KORVANE_ZTL_CREATOR, kContactAddress); }

}  // namespace kvztl
