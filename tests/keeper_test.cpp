// The always-on-top keeper of the status window.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "status_window/status_window.h"
#include "support/window_test.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;

class Keeper : public test::WindowTest {
protected:
    static void Tick(StatusWindow& window) { SendMessageW(window.hwnd(), WM_TIMER, StatusWindow::AlwaysOnTopTimer, 0); }

    // Another window of this test, in the foreground and topmost.
    static UniqueWindow OtherInFront() {
        auto other = test::CreatePlainWindow();
        SetWindowPos(other.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(other.get());
        test::PumpFor(50ms);
        return other;
    }
};

TEST_F(Keeper, ATickTakesTopmostFromTheForegroundWindowAndGivesItToTheStrip) {
    auto window = OpenStatus();
    ASSERT_TRUE(window);
    auto other = OtherInFront();
    ASSERT_EQ(GetForegroundWindow(), other.get());
    ASSERT_TRUE(test::IsTopmost(other.get()));
    ASSERT_FALSE(test::IsTopmost(window->hwnd()));

    Tick(*window);
    EXPECT_FALSE(test::IsTopmost(other.get()));
    EXPECT_TRUE(test::IsTopmost(window->hwnd()));
    // The z-order only: the window in front keeps the activation and the keyboard.
    EXPECT_EQ(GetForegroundWindow(), other.get());
    EXPECT_EQ(GetActiveWindow(), other.get());
}

TEST_F(Keeper, AHiddenStripTakesTopmostFromNobody) {
    auto window = OpenStatus();
    ASSERT_TRUE(window);
    ShowWindow(window->hwnd(), SW_HIDE);
    auto other = OtherInFront();
    Tick(*window);
    EXPECT_TRUE(test::IsTopmost(other.get()));
    EXPECT_FALSE(test::IsTopmost(window->hwnd()));
}

TEST_F(Keeper, AHungProgramInFrontHoldsUpNoTick) {
    auto window = OpenStatus();
    ASSERT_TRUE(window);
    // A window of another thread that stops answering messages once it is in front.
    const UniqueHandle inFront(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> answering{false};
    HWND hung = nullptr;
    std::thread program([&] {
        auto other = test::CreatePlainWindow();
        hung = other.get();
        SetWindowPos(hung, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(hung);
        test::PumpFor(50ms);
        SetEvent(inFront.get());
        WaitForSingleObject(release.get(), 10000);  // hung
        answering = true;
        test::PumpUntil([&] { return !test::IsTopmost(hung); }, 2s);
    });
    WaitForSingleObject(inFront.get(), 5000);
    ASSERT_EQ(GetForegroundWindow(), hung);

    Tick(*window);
    EXPECT_FALSE(answering) << "the tick waited for the hung program";
    EXPECT_TRUE(test::IsTopmost(window->hwnd()));
    SetEvent(release.get());
    program.join();
    EXPECT_FALSE(test::IsTopmost(hung)) << "the hung program loses topmost once it answers again";
}

TEST_F(Keeper, WithTheStripInFrontATickChangesNothing) {
    auto window = OpenStatus();
    ASSERT_TRUE(window);
    auto other = test::CreatePlainWindow();
    SetWindowPos(other.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetForegroundWindow(window->hwnd());
    test::PumpFor(50ms);
    ASSERT_EQ(GetForegroundWindow(), window->hwnd());

    Tick(*window);
    EXPECT_TRUE(test::IsTopmost(other.get()));
    EXPECT_FALSE(test::IsTopmost(window->hwnd()));
}

TEST_F(Keeper, TheRunningTimerKeepsTheStripOnTopAndSwitchedOffItStaysTopmost) {
    ASSERT_TRUE(test.store().Save(settings::kAlwaysOnTop, L"1"));
    auto window = OpenStatus();
    ASSERT_TRUE(window);
    auto other = OtherInFront();
    // The real timer ticks within a second.
    EXPECT_TRUE(test::PumpUntil([&] { return test::IsTopmost(window->hwnd()) && !test::IsTopmost(other.get()); }, 10s));

    window->SetKeeperEnabled(false);
    EXPECT_FALSE(KillTimer(window->hwnd(), StatusWindow::AlwaysOnTopTimer)) << "the keeper's timer still ran";
    SetWindowPos(other.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(other.get());
    test::PumpFor(1300ms);
    EXPECT_TRUE(test::IsTopmost(window->hwnd())) << "switching off does not take topmost away";
    EXPECT_TRUE(test::IsTopmost(other.get())) << "no tick ran after switching off";
}

}  // namespace
}  // namespace kvztl
