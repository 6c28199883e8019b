#include "settings_window/settings_window.h"

#include <gtest/gtest.h>

#include "platform/placement.h"
#include "store/window_place.h"
#include "support/window_test.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;
using S = SettingsWindow;

// Explorer in the Windows folder, as the system names it.
std::wstring SystemExplorer() {
    wchar_t path[MAX_PATH];
    ExpandEnvironmentStringsW(L"%SystemRoot%\\explorer.exe", path, MAX_PATH);
    return path;
}

class SettingsTest : public test::WindowTest {
public:  // the modal test reaches the fixture from a timer callback
    void SetUp() override {
        status = OpenStatus();
        ASSERT_TRUE(status);
    }
    void Poll() { WindowTest::Poll(*status); }
    Form::Ptr<SettingsWindow> Open() { return OpenSettings(*status); }
    static bool Enabled(const SettingsWindow& window, int id) { return IsWindowEnabled(Item(window, id)) != FALSE; }
    static bool Ticked(const SettingsWindow& window, int id) {
        return SendMessageW(Item(window, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    static void Press(const SettingsWindow& window, int id) { SendMessageW(Item(window, id), BM_CLICK, 0, 0); }
    static void CloseWithCloseButton(Form::Ptr<SettingsWindow>& window) {
        SendMessageW(window->hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(window->hwnd(), nullptr);
        window.reset();
    }
    // Sends a key through the dialog navigation that the modal loop applies.
    static void Key(const SettingsWindow& window, UINT key) {
        MSG msg{GetFocus(), WM_KEYDOWN, key, 0, 0, {}};
        if (!IsDialogMessageW(window.hwnd(), &msg)) DispatchMessageW(&msg);
        msg.message = WM_KEYUP;
        if (window.hwnd() && !IsDialogMessageW(window.hwnd(), &msg)) DispatchMessageW(&msg);
        test::PumpFor(10ms);
    }

    Form::Ptr<StatusWindow> status;
};

TEST_F(SettingsTest, OpensInItsDesignTimeStateAtTheDefaultPlace) {
    auto window = Open();
    ASSERT_TRUE(window);
    EXPECT_EQ(test::TextOf(window->hwnd()), L"KV-ZTL - SETTINGS");
    EXPECT_EQ(GetWindow(window->hwnd(), GW_OWNER), status->hwnd());
    EXPECT_TRUE(GetWindowLongPtrW(window->hwnd(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(GetWindowLongPtrW(window->hwnd(), GWL_STYLE) & WS_THICKFRAME);
    RECT rect{};
    GetWindowRect(window->hwnd(), &rect);
    EXPECT_EQ(rect, TwipsToPixels(TwipsRect{1000, 1000, 9360, 4785}, WindowDpi(window->hwnd())));

    EXPECT_EQ(test::TextOf(Item(*window, S::BNBT_FOLDER_TEXTBOX)), settings::kTrackerFolderDefault);
    EXPECT_FALSE(Ticked(*window, S::AlwaysOnTopTimer_TICKBOX));
    EXPECT_FALSE(Ticked(*window, S::SERVICE_INSTALLATION_MANAGER_TICKBOX));
    EXPECT_FALSE(Enabled(*window, S::INSTALL_BNBT_SERVICE_BUTTON));
    EXPECT_FALSE(Enabled(*window, S::UNINSTALL_BNBT_SERVICE_BUTTON));
    // Before the first poll both start and stop are offered.
    EXPECT_TRUE(Enabled(*window, S::START_BNBT_BUTTON));
    EXPECT_TRUE(Enabled(*window, S::STOP_BNBT_BUTTON));
    EXPECT_EQ(GetFocus(), Item(*window, S::AlwaysOnTopTimer_TICKBOX));
}

TEST_F(SettingsTest, StartAndStopFollowTheIndicatorAsItReadsWhenOpened) {
    trackerRunning = true;
    Poll();
    auto window = Open();
    ASSERT_TRUE(window);
    EXPECT_TRUE(Enabled(*window, S::STOP_BNBT_BUTTON));
    EXPECT_FALSE(Enabled(*window, S::START_BNBT_BUTTON));
    SetWindowTextW(Item(*window, S::BNBT_FOLDER_TEXTBOX), test::StandInFolder().c_str());
    Press(*window, S::STOP_BNBT_BUTTON);
    trackerRunning = false;
    Poll();
    ASSERT_TRUE(Settle(*status));
    EXPECT_EQ(shell.Count(L"-stop"), 1u);
    EXPECT_FALSE(Enabled(*window, S::START_BNBT_BUTTON)) << "set only when the window opens";
    EXPECT_TRUE(Enabled(*window, S::STOP_BNBT_BUTTON));
    CloseWithCloseButton(window);

    window = Open();
    ASSERT_TRUE(window);
    EXPECT_TRUE(Enabled(*window, S::START_BNBT_BUTTON));
    EXPECT_FALSE(Enabled(*window, S::STOP_BNBT_BUTTON));
}

TEST_F(SettingsTest, ServiceManagementTickBoxOnlyEverEnablesInstallAndUninstall) {
    auto window = Open();
    ASSERT_TRUE(window);
    Press(*window, S::SERVICE_INSTALLATION_MANAGER_TICKBOX);
    EXPECT_TRUE(Ticked(*window, S::SERVICE_INSTALLATION_MANAGER_TICKBOX));
    Press(*window, S::SERVICE_INSTALLATION_MANAGER_TICKBOX);
    EXPECT_FALSE(Ticked(*window, S::SERVICE_INSTALLATION_MANAGER_TICKBOX));
    EXPECT_TRUE(Enabled(*window, S::INSTALL_BNBT_SERVICE_BUTTON));
    EXPECT_TRUE(Enabled(*window, S::UNINSTALL_BNBT_SERVICE_BUTTON));
    CloseWithCloseButton(window);

    window = Open();
    ASSERT_TRUE(window);
    EXPECT_FALSE(Enabled(*window, S::INSTALL_BNBT_SERVICE_BUTTON));
    EXPECT_FALSE(Enabled(*window, S::UNINSTALL_BNBT_SERVICE_BUTTON));
}

TEST_F(SettingsTest, AlwaysOnTopTickBoxSwitchesTheKeeperAndStoresAtOnce) {
    auto window = Open();
    ASSERT_TRUE(window);
    Press(*window, S::AlwaysOnTopTimer_TICKBOX);
    EXPECT_TRUE(status->KeeperEnabled());
    EXPECT_EQ(test.store().Text(settings::kAlwaysOnTop), L"1");
    Press(*window, S::AlwaysOnTopTimer_TICKBOX);
    EXPECT_FALSE(status->KeeperEnabled());
    EXPECT_EQ(test.store().Text(settings::kAlwaysOnTop), L"0");
}

TEST_F(SettingsTest, TheStoredChoiceIsReadAsTheStripAndTheTickBoxEachReadIt) {
    // The strip compares the number with 1; the tick box takes it rounded to a 16-bit whole
    // number, half to even, and a change of the box runs its click handler.
    const struct {
        const wchar_t* stored;  // null: absent
        bool keeperAtStart;
        bool ticked;
    } cases[] = {{L"1", true, true},     {L"1.0", true, true},    {L" 1E0 ", true, true}, {L"1.4", false, true},
                 {L"0.5", false, false}, {L"1.5", false, false},  {L"2.5", false, false}, {L"0", false, false},
                 {L"2", false, false},   {nullptr, false, false}, {L"abc", false, false}, {L"40000", false, false}};
    for (const auto& c : cases) {
        const wchar_t* shown = c.stored ? c.stored : L"(absent)";
        RegDeleteTreeW(HKEY_CURRENT_USER, test.subkey().c_str());
        if (c.stored) {
            ASSERT_TRUE(test.store().Save(settings::kAlwaysOnTop, c.stored));
        }
        status = OpenStatus();
        ASSERT_TRUE(status);
        EXPECT_EQ(status->KeeperEnabled(), c.keeperAtStart) << shown;
        auto window = Open();
        ASSERT_TRUE(window);
        EXPECT_EQ(Ticked(*window, S::AlwaysOnTopTimer_TICKBOX), c.ticked) << shown;
        EXPECT_EQ(status->KeeperEnabled(), c.keeperAtStart || c.ticked) << shown;
        // Ticking the box on opening stores "1"; a box left clear stores nothing.
        const std::optional<std::wstring> stored = c.stored ? std::optional<std::wstring>(c.stored) : std::nullopt;
        EXPECT_EQ(test.store().Text(settings::kAlwaysOnTop), c.ticked ? L"1" : stored) << shown;
    }
}

TEST_F(SettingsTest, ClosingByAnyMeansStoresPlaceSizeAndFolderText) {
    const std::wstring folders[] = {L"D:\\BNBT", L"", settings::kTrackerFolderDefault,
                                    L"C:\\Программы\\トラッカー\\ünï", std::wstring(102400, L'f')};
    int x = 40;
    for (const std::wstring& folder : folders) {
        for (bool withOk : {false, true}) {
            auto window = Open();
            ASSERT_TRUE(window);
            x += 10;
            SetWindowPos(window->hwnd(), nullptr, x, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            SetWindowTextW(Item(*window, S::BNBT_FOLDER_TEXTBOX), folder.c_str());
            if (withOk) {
                Press(*window, S::OK_BUTTON);
                EXPECT_EQ(window->hwnd(), nullptr) << "OK closes the window";
            } else {
                CloseWithCloseButton(window);
            }
            EXPECT_EQ(test.store().Text(settings::kTrackerFolder), folder);
            const UINT dpi = SystemDpi();
            EXPECT_EQ(LoadPlace(test.store(), settings::kSettingsPlacePrefix, {}),
                      (TwipsRect{PixelsToTwips(x, dpi), PixelsToTwips(60, dpi), 9360, 4785}));
            // Reopened: the same place and the same text.
            auto reopened = Open();
            ASSERT_TRUE(reopened);
            RECT rect{};
            GetWindowRect(reopened->hwnd(), &rect);
            EXPECT_EQ(rect.left, x);
            EXPECT_EQ(test::TextOf(Item(*reopened, S::BNBT_FOLDER_TEXTBOX)), folder);
        }
    }
}

TEST_F(SettingsTest, EachButtonLaunchesItsRowWithTheSettingsWindowAsOwner) {
    auto window = Open();
    ASSERT_TRUE(window);
    Press(*window, S::SERVICE_INSTALLATION_MANAGER_TICKBOX);
    const std::wstring trackerFolder = test::StandInFolder();
    const struct {
        int button;
        std::wstring folderText, file, parameters;
    } rows[] = {{S::START_BNBT_BUTTON, trackerFolder, trackerFolder + L"\\bnbt.exe", L"-start"},
                {S::STOP_BNBT_BUTTON, trackerFolder, trackerFolder + L"\\bnbt.exe", L"-stop"},
                {S::INSTALL_BNBT_SERVICE_BUTTON, trackerFolder, trackerFolder + L"\\bnbt.exe", L"-i"},
                {S::UNINSTALL_BNBT_SERVICE_BUTTON, trackerFolder, trackerFolder + L"\\bnbt.exe", L"-u"},
                {S::BNBT_CONFIGURATION_APP_BUTTON, trackerFolder, trackerFolder + L"\\bnbtfrontend.exe", L""},
                {S::EXPLORE_BNBT_FOLDER_BUTTON, L"C:\\Трекер files", SystemExplorer(), L"C:\\Трекер files"}};
    for (const auto& row : rows) {
        SetWindowTextW(Item(*window, S::BNBT_FOLDER_TEXTBOX), row.folderText.c_str());
        shell.calls.clear();
        Press(*window, row.button);
        ASSERT_TRUE(Settle(*status));
        ASSERT_EQ(shell.calls.size(), 1u) << row.file << L" " << row.parameters;
        EXPECT_EQ(shell.calls[0].file, row.file);
        EXPECT_EQ(shell.calls[0].parameters, row.parameters);
        EXPECT_EQ(shell.calls[0].verb, L"runas");
        EXPECT_EQ(shell.calls[0].owner, window->hwnd());
    }
    // Nothing else in the window launches anything.
    shell.calls.clear();
    Press(*window, S::AlwaysOnTopTimer_TICKBOX);
    test::DoubleClick(Item(*window, S::KORVANE_ZTL_TITLE_1));
    ASSERT_TRUE(Settle(*status));
    EXPECT_TRUE(shell.calls.empty());
}

TEST_F(SettingsTest, DoubleClickOnTheCreatorShowsTheContactAddress) {
    auto window = Open();
    ASSERT_TRUE(window);
    EXPECT_EQ(test::TextOf(Item(*window, S::KORVANE_ZTL_CREATOR)), L"Created By Pelloran");
    test::Click(Item(*window, S::KORVANE_ZTL_CREATOR));
    EXPECT_EQ(test::TextOf(Item(*window, S::KORVANE_ZTL_CREATOR)), L"Created By Pelloran");
    test::DoubleClick(Item(*window, S::KORVANE_ZTL_CREATOR));
    EXPECT_EQ(test::TextOf(Item(*window, S::KORVANE_ZTL_CREATOR)), L"kv-ztl@example.org");
}

TEST_F(SettingsTest, TabWalksTheTabOrderAndEnterOrEscapeCloseNothing) {
    trackerRunning = true;
    Poll();  // start is disabled, and TAB passes over it
    auto window = Open();
    ASSERT_TRUE(window);
    SetForegroundWindow(window->hwnd());
    SetFocus(Item(*window, S::AlwaysOnTopTimer_TICKBOX));
    const int order[] = {S::STOP_BNBT_BUTTON,
                         S::OK_BUTTON,
                         S::BNBT_CONFIGURATION_APP_BUTTON,
                         S::BNBT_FOLDER_TEXTBOX,
                         S::EXPLORE_BNBT_FOLDER_BUTTON,
                         S::SERVICE_INSTALLATION_MANAGER_TICKBOX,
                         S::BNBT_WEBSITE_ADDRESS_TEXTBOX,
                         S::AlwaysOnTopTimer_TICKBOX};
    for (int id : order) {
        Key(*window, VK_TAB);
        EXPECT_EQ(GetDlgCtrlID(GetFocus()), id);
    }
    // SPACE presses the focused control.
    Key(*window, VK_SPACE);
    EXPECT_TRUE(Ticked(*window, S::AlwaysOnTopTimer_TICKBOX));

    Key(*window, VK_RETURN);
    Key(*window, VK_ESCAPE);
    EXPECT_NE(window->hwnd(), nullptr);
    EXPECT_TRUE(shell.calls.empty());
}

TEST_F(SettingsTest, OpensModallyFromTheTitleWhileTheIndicatorGoesOn) {
    // The real wiring: a double-click on the title opens the window modally.
    status = OpenStatus([this](StatusWindow::Services& services) {
        services.openSettings = [this](StatusWindow& owner) {
            SettingsWindow::ShowModal(SettingsHostFor(owner), test.store());
        };
    });
    ASSERT_TRUE(status);

    // Runs inside the modal loop: checks what the user would see, then closes the window.
    static SettingsTest* self;
    static std::vector<std::wstring> captions;
    static bool ownerDisabled, secondOpened;
    self = this;
    captions.clear();
    ownerDisabled = secondOpened = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) {
        HWND settings = FindWindowW(SettingsWindow::kClassName, nullptr);
        if (!settings) return;
        ownerDisabled = !IsWindowEnabled(self->status->hwnd());
        self->trackerRunning = !self->trackerRunning;  // the status timer keeps polling meanwhile
        captions.push_back(self->status->StatusCaption());
        if (captions.size() < 12) return;
        KillTimer(nullptr, id);
        // A second opening while one is open shows no second window.
        SettingsWindow::ShowModal(SettingsHostFor(*self->status), self->test.store());
        secondOpened = FindWindowExW(nullptr, settings, SettingsWindow::kClassName, nullptr) != nullptr;
        PostMessageW(settings, WM_CLOSE, 0, 0);
    });
    test::DoubleClick(Item(*status, StatusWindow::KORVANE_ZTL_TITLE));  // returns once closed
    KillTimer(nullptr, timer);

    EXPECT_TRUE(ownerDisabled);
    EXPECT_FALSE(secondOpened);
    EXPECT_NE(std::find(captions.begin(), captions.end(), status::kRunning), captions.end());
    EXPECT_NE(std::find(captions.begin(), captions.end(), status::kStopped), captions.end());
    EXPECT_TRUE(IsWindowEnabled(status->hwnd()));
    EXPECT_EQ(FindWindowW(SettingsWindow::kClassName, nullptr), nullptr);
    EXPECT_TRUE(test.store().Text(L"SETTINGSMainLeft"));
}

TEST_F(SettingsTest, ButtonsDriveTheTrackerServiceFromTheTypedFolder) {
    const test::TrackerService service;
    test::LaunchLog log;
    // The real shell, and the probe that leaves out the commands.
    status = OpenStatus([](StatusWindow::Services& services) {
        services.tracker.launcher = Launcher();
        services.tracker.probe = [](std::wstring_view name, const ProcessFilter& ignore) {
            return FindProcesses(name, ignore);
        };
    });
    ASSERT_TRUE(status);
    auto window = SettingsWindow::Create(SettingsHostFor(*status), test.store());
    ASSERT_TRUE(window);
    const std::wstring folder = test::StandInFolder();
    SetWindowTextW(Item(*window, S::BNBT_FOLDER_TEXTBOX), folder.c_str());
    Press(*window, S::SERVICE_INSTALLATION_MANAGER_TICKBOX);
    // Each command finishes before the next; the service control manager carries them out.
    const struct {
        int button;
        const wchar_t* arguments;
        DWORD state;  // of the service once the command is done; 0: not installed
    } steps[] = {{S::INSTALL_BNBT_SERVICE_BUTTON, L"-i", SERVICE_STOPPED},
                 {S::START_BNBT_BUTTON, L"-start", SERVICE_RUNNING},
                 {S::STOP_BNBT_BUTTON, L"-stop", SERVICE_STOPPED},
                 {S::UNINSTALL_BNBT_SERVICE_BUTTON, L"-u", 0}};
    for (size_t i = 0; i < std::size(steps); ++i) {
        Press(*window, steps[i].button);
        ASSERT_GE(log.WaitFor(i + 1).size(), i + 1) << steps[i].arguments;
        EXPECT_TRUE(test::PumpUntil([&] { return test::TrackerService::State() == steps[i].state; }, 10s))
            << steps[i].arguments << ": state " << test::TrackerService::State();
        // The service process comes and goes with the service; the commands do not count.
        const bool running = steps[i].state == SERVICE_RUNNING;
        EXPECT_TRUE(test::PumpUntil(
            [&] {
                Poll();
                return status->StatusCaption() == (running ? status::kRunning : status::kStopped);
            },
            10s))
            << steps[i].arguments;
    }
    Press(*window, S::BNBT_CONFIGURATION_APP_BUTTON);
    const auto entries = log.WaitFor(std::size(steps) + 1);
    test::EndAll(L"bnbtfrontend.exe");

    ASSERT_EQ(entries.size(), std::size(steps) + 1);
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::wstring program = i < std::size(steps) ? L"bnbt.exe" : L"bnbtfrontend.exe";
        const std::wstring arguments = i < std::size(steps) ? std::wstring(L" ") + steps[i].arguments : L"";
        EXPECT_EQ(entries[i].commandLine, L"\"" + folder + L"\\" + program + L"\"" + arguments);
        EXPECT_EQ(entries[i].directory, folder);
    }
}

}  // namespace
}  // namespace kvztl
