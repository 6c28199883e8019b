// The always-on-top keeper of the status window.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "status_window/status_window.h"
#include "support/test_support.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;

bool Topmost(HWND hwnd) { return (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

class Keeper : public ::testing::Test {
protected:
    std::unique_ptr<StatusWindow> Open() {
        auto window = StatusWindow::Create({test.store(), [](std::wstring_view) { return false; }, launcher, {}, {}});
        if (window) window->Show();
        return window;
    }
    static void Tick(StatusWindow& window) { SendMessageW(window.hwnd(), WM_TIMER, StatusWindow::AlwaysOnTopTimer, 0); }

    // Another window of this test, in the foreground and topmost.
    UniqueWindow OtherInFront() {
        auto other = test::CreateOwnerWindow();
        SetWindowPos(other.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(other.get());
        test::PumpFor(50ms);
        return other;
    }

    test::TestStore test;
    Launcher launcher{[](SHELLEXECUTEINFOW&) { return TRUE; }};
};

TEST_F(Keeper, OnAtStartOnlyWhenTheStoredChoiceIsOne) {
    const struct {
        const wchar_t* stored;  // null: absent
        bool on;
    } cases[] = {{L"1", true}, {L"1.0", true}, {L"0", false}, {L"2", false}, {nullptr, false}, {L"abc", false}};
    for (const auto& c : cases) {
        RegDeleteTreeW(HKEY_CURRENT_USER, test.subkey().c_str());
        if (c.stored) {
            ASSERT_TRUE(test.store().Save(L"AlwaysOnTopTimer_TICKBOX", c.stored));
        }
        auto window = Open();
        ASSERT_TRUE(window);
        EXPECT_EQ(window->AlwaysOnTop(), c.on) << (c.stored ? c.stored : L"(absent)");
    }
}

TEST_F(Keeper, ATickTakesTopmostFromTheForegroundWindowAndGivesItToTheStrip) {
    auto window = Open();
    ASSERT_TRUE(window);
    auto other = OtherInFront();
    ASSERT_EQ(GetForegroundWindow(), other.get());
    ASSERT_TRUE(Topmost(other.get()));
    ASSERT_FALSE(Topmost(window->hwnd()));

    Tick(*window);
    EXPECT_FALSE(Topmost(other.get()));
    EXPECT_TRUE(Topmost(window->hwnd()));
    // The z-order only: the window in front keeps the activation and the keyboard.
    EXPECT_EQ(GetForegroundWindow(), other.get());
    EXPECT_EQ(GetActiveWindow(), other.get());
}

TEST_F(Keeper, AHungProgramInFrontHoldsUpNoTick) {
    auto window = Open();
    ASSERT_TRUE(window);
    // A window of another thread that stops answering messages once it is in front.
    const UniqueHandle inFront(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> answering{false};
    HWND hung = nullptr;
    std::thread program([&] {
        auto other = test::CreateOwnerWindow();
        hung = other.get();
        SetWindowPos(hung, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(hung);
        test::PumpFor(50ms);
        SetEvent(inFront.get());
        WaitForSingleObject(release.get(), 10000);  // hung
        answering = true;
        test::PumpUntil([&] { return !Topmost(hung); }, 2s);
    });
    WaitForSingleObject(inFront.get(), 5000);
    ASSERT_EQ(GetForegroundWindow(), hung);

    Tick(*window);
    EXPECT_FALSE(answering) << "the tick waited for the hung program";
    EXPECT_TRUE(Topmost(window->hwnd()));
    SetEvent(release.get());
    program.join();
    EXPECT_FALSE(Topmost(hung)) << "the hung program loses topmost once it answers again";
}

TEST_F(Keeper, WithTheStripInFrontATickChangesNothing) {
    auto window = Open();
    ASSERT_TRUE(window);
    auto other = test::CreateOwnerWindow();
    SetWindowPos(other.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetForegroundWindow(window->hwnd());
    test::PumpFor(50ms);
    ASSERT_EQ(GetForegroundWindow(), window->hwnd());

    Tick(*window);
    EXPECT_TRUE(Topmost(other.get()));
    EXPECT_FALSE(Topmost(window->hwnd()));
}

TEST_F(Keeper, TheRunningTimerKeepsTheStripOnTopAndSwitchedOffItStaysTopmost) {
    ASSERT_TRUE(test.store().Save(L"AlwaysOnTopTimer_TICKBOX", L"1"));
    auto window = Open();
    ASSERT_TRUE(window);
    auto other = OtherInFront();
    // The real timer ticks within a second.
    EXPECT_TRUE(test::PumpUntil([&] { return Topmost(window->hwnd()) && !Topmost(other.get()); }, 1500ms));

    window->SetAlwaysOnTop(false);
    EXPECT_FALSE(window->AlwaysOnTop());
    SetWindowPos(other.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(other.get());
    test::PumpFor(1300ms);
    EXPECT_TRUE(Topmost(window->hwnd())) << "switching off does not take topmost away";
    EXPECT_TRUE(Topmost(other.get())) << "no tick ran after switching off";
}

}  // namespace
}  // namespace kvztl
