// The icon against a notification area as Windows has it at sign-in and when Explorer is in
// trouble, which Wine's never is: calls that hang, adds refused or taken without saying so,
// notifications refused, a taskbar made anew that will not take the icon back. A stand-in for
// Shell_NotifyIconW plays the taskbar.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "notification_icon/notification_icon.h"
#include "platform/balloon.h"
#include "store/choices.h"
#include "support/window_test.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A taskbar as the icon's calls meet it, from the icon's own thread.
class Taskbar {
public:
    struct Call {
        DWORD message;
        UINT flags;
        Clock::time_point at;
    };

    Taskbar() : held_(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

    NotificationIcon::Shell Shell(std::chrono::milliseconds firstPause = 40ms) {
        return {.notify = [this](DWORD message, NOTIFYICONDATAW* data) { return Take(message, *data); },
                .firstPause = firstPause,
                .longestPause = 60s,
                .retryFor = 10min};
    }

    // Every call waits until Release, as a hung Explorer keeps its callers.
    void Hold() { ResetEvent(held_.get()); }
    void Release() { SetEvent(held_.get()); }

    std::vector<Call> Calls() {
        const std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<Call> CallsOf(DWORD message) {
        std::vector<Call> of;
        for (const Call& call : Calls()) {
            if (call.message == message) of.push_back(call);
        }
        return of;
    }
    bool HasIcon() {
        const std::lock_guard lock(mutex_);
        return icon_;
    }

    // Set by the test while the icon's thread calls.
    std::atomic<int> refuseAdds = 0;            // adds (and the change that follows one) refused, then taken
    std::atomic<bool> takeRefusedAdds = false;  // a refused add puts the icon there all the same (a timeout)
    std::atomic<bool> refuseNotifications = false;

private:
    BOOL Take(DWORD message, const NOTIFYICONDATAW& data) {
        WaitForSingleObject(held_.get(), INFINITE);
        const std::lock_guard lock(mutex_);
        calls_.push_back({message, data.uFlags, Clock::now()});
        switch (message) {
        case NIM_ADD:
            if (refuseAdds > 0) {
                icon_ = icon_ || takeRefusedAdds;
                return FALSE;
            }
            if (icon_) return FALSE;  // there already
            return icon_ = true;
        case NIM_MODIFY:
            if (data.uFlags & NIF_INFO) return icon_ && !refuseNotifications;
            if (refuseAdds > 0 && !(data.uFlags & NIF_INFO) && (data.uFlags & NIF_MESSAGE)) {
                --refuseAdds;  // the add's second try: refused too
                return FALSE;
            }
            return icon_;
        case NIM_DELETE:
            return std::exchange(icon_, false);
        case NIM_SETVERSION:
            return icon_;
        default:
            return FALSE;
        }
    }

    UniqueHandle held_;
    std::mutex mutex_;
    std::vector<Call> calls_;
    bool icon_ = false;
};

// What the icon asked of the strip.
struct StripStandIn {
    bool shown = false;
    int revealed = 0, stored = 0, cameForward = 0;
    std::vector<std::wstring> notes;

    NotificationIcon::Host Host(const SettingsStore& store) {
        return {
            .store = store,
            .comeForward = [this] { ++cameForward; },
            .addMenuItems = [](HMENU menu) { AppendMenuW(menu, MF_STRING, 0x10, L"&Start tracker"); },
            .choose = [](UINT) { return true; },
            .stripShown = [this] { return shown; },
            .showStrip =
                [this](bool show) {
                    ++stored;
                    shown = show;
                },
            .revealStrip =
                [this] {
                    ++revealed;
                    shown = true;
                },
            .note = [this](const wchar_t*, const std::wstring& text) { notes.push_back(text); },
            .exit = [] {},
            .waitingOn = []() -> HWND { return nullptr; },
        };
    }
};

class TheIconAtSignIn : public test::WindowTest {
protected:
    void SetUp() override {
        model = TrackerModel::Create(StandIns().tracker);
        ASSERT_TRUE(model);
    }
    std::unique_ptr<NotificationIcon> MakeIcon(NotificationIcon::Shell calls) {
        return NotificationIcon::Create(*model, strip.Host(test.store()), std::move(calls));
    }

    Taskbar taskbar;
    StripStandIn strip;
    std::unique_ptr<TrackerModel> model;
};

TEST_F(TheIconAtSignIn, IsTriedAgainWithAGrowingPauseUntilTakenWhileTheWindowThreadAnswersThroughout) {
    taskbar.refuseAdds = 3;
    taskbar.Hold();
    auto icon = MakeIcon(taskbar.Shell(40ms));
    ASSERT_TRUE(icon);
    // The taskbar holds its first call: the icon's window answers another thread all the same.
    std::atomic<bool> answered = false;
    std::thread asker([&] {
        DWORD_PTR answer = 0;
        answered = SendMessageTimeoutW(icon->hwnd(), WM_NULL, 0, 0, SMTO_BLOCK, 5000, &answer) != 0;
    });
    EXPECT_TRUE(test::PumpUntil([&] { return answered.load(); }, 5s));
    asker.join();
    EXPECT_TRUE(icon->Standing()) << "an add on its way stands for the strip";
    taskbar.Release();

    ASSERT_TRUE(test::PumpUntil([&] { return icon->Shown(); }, 10s));
    const std::vector<Taskbar::Call> adds = taskbar.CallsOf(NIM_ADD);
    ASSERT_EQ(adds.size(), 4u);
    // Each pause at least as long as asked, and twice the last.
    auto pause = 40ms;
    for (size_t i = 1; i < adds.size(); ++i, pause *= 2) {
        EXPECT_GE(adds[i].at - adds[i - 1].at, pause * 9 / 10) << "pause " << i;
    }
    // The hidden strip showed once, for as long as the icon could not stand for it; the user's
    // choice was not touched.
    EXPECT_EQ(strip.revealed, 1);
    EXPECT_EQ(strip.stored, 0);
    EXPECT_EQ(taskbar.CallsOf(NIM_SETVERSION).size(), 1u);

    // Confirmed, it follows the tracker.
    trackerRunning = true;
    model->Poll();
    ASSERT_TRUE(test::PumpUntil([&] { return !taskbar.CallsOf(NIM_MODIFY).empty(); }, 5s));
    EXPECT_TRUE(taskbar.CallsOf(NIM_MODIFY).back().flags & NIF_ICON);

    icon.reset();
    EXPECT_FALSE(taskbar.HasIcon()) << "left in the notification area";
}

TEST_F(TheIconAtSignIn, AnIconTakenWithoutConfirmationIsChangedOnceConfirmedAndRemovedWhateverHappened) {
    // A busy taskbar takes the icon and answers that it timed out, and refuses the change that
    // would confirm it: a grey icon stands. The next try's change confirms it, and it follows
    // the tracker.
    taskbar.refuseAdds = 1;
    taskbar.takeRefusedAdds = true;
    auto icon = MakeIcon(taskbar.Shell());
    ASSERT_TRUE(test::PumpUntil([&] { return icon->Shown(); }, 10s));
    EXPECT_EQ(taskbar.CallsOf(NIM_ADD).size(), 2u);
    trackerRunning = true;
    model->Poll();
    EXPECT_TRUE(test::PumpUntil(
        [&] {
            const auto changes = taskbar.CallsOf(NIM_MODIFY);
            return !changes.empty() && (changes.back().flags & NIF_ICON);
        },
        5s));
    icon.reset();
    EXPECT_FALSE(taskbar.HasIcon());

    // Never confirmed before the program ends (no more tries): removed all the same.
    taskbar.refuseAdds = 100;
    NotificationIcon::Shell once = taskbar.Shell();
    once.retryFor = 0ms;
    icon = MakeIcon(once);
    ASSERT_TRUE(test::PumpUntil([&] { return !icon->Standing(); }, 10s));
    EXPECT_TRUE(taskbar.HasIcon());
    EXPECT_FALSE(icon->Shown());
    icon.reset();
    EXPECT_FALSE(taskbar.HasIcon()) << "a grey icon stays after the program";

    // The program ends while a hung taskbar holds the add and changes wait behind it: the
    // removal goes right after the add, and the icon it took goes.
    taskbar.refuseAdds = 0;
    taskbar.Hold();
    icon = MakeIcon(taskbar.Shell());
    for (int i = 0; i < 5; ++i) {
        trackerRunning = !trackerRunning;
        model->Poll();
    }
    std::thread explorer([&] {
        Sleep(300);
        taskbar.Release();
    });
    icon.reset();
    explorer.join();
    EXPECT_FALSE(taskbar.HasIcon()) << "left behind a hung taskbar";
    EXPECT_EQ(taskbar.Calls().back().message, static_cast<DWORD>(NIM_DELETE));
}

TEST_F(TheIconAtSignIn, KeepsTheNotificationAreasManners) {
    auto icon = MakeIcon(taskbar.Shell());
    ASSERT_TRUE(test::PumpUntil([&] { return icon->Shown(); }, 10s));
    const auto iconEvent = [&](UINT event) {
        POINT anchor{300, 300};
        SendMessageW(icon->hwnd(), WM_APP + 1, MAKEWPARAM(anchor.x, anchor.y), MAKELPARAM(event, 1));
    };

    // A click (or Enter after one) brings the strip forward, as a double-click does.
    iconEvent(NIN_SELECT);
    iconEvent(WM_LBUTTONDBLCLK);
    EXPECT_EQ(strip.cameForward, 2);

    // The menu left with Esc gives the keyboard back to the notification area; left with a
    // click elsewhere, it does not.
    SetForegroundWindow(icon->hwnd());
    const auto leaveMenu = [&](const std::function<void()>& how) {
        std::thread user([&] {
            HWND menu = nullptr;
            for (int i = 0; i < 500 && !(menu = FindWindowW(L"#32768", nullptr)); ++i) Sleep(10);
            if (!(menu && IsWindowVisible(menu))) Sleep(100);
            how();
        });
        iconEvent(WM_CONTEXTMENU);
        user.join();
        test::PumpFor(200ms);  // the calls made on the icon's thread
    };
    leaveMenu([] { test::PressKeys({VK_ESCAPE}); });
    EXPECT_EQ(taskbar.CallsOf(NIM_SETFOCUS).size(), 1u);
    leaveMenu([] { test::ClickAt({5, 1000}); });
    EXPECT_EQ(taskbar.CallsOf(NIM_SETFOCUS).size(), 1u) << "a click elsewhere lost its place";
}

// The real strip and icon, wired as the program wires them, with the stand-in taskbar.
class TheStripBesideAFailingTaskbar : public test::WindowTest {
protected:
    void SetUp() override {
        test::EndAllTrackers();
        ASSERT_TRUE(SetOn(test.store(), choices::kShowStrip, false));
        faces = ProgramFaces::Create(test.store(), nullptr, [this] { return taskbar.Shell(); });
        ASSERT_TRUE(faces);
        faces->Show();
    }
    void TearDown() override {
        faces.reset();
        test::EndAllTrackers();
    }
    static HWND Icon() { return FindWindowW(NotificationIcon::kClassName, nullptr); }
    std::wstring Caption() const {
        return test::TextOf(GetDlgItem(faces->Strip(), StatusWindow::BNBT_SERVICE_STATUS_LABEL));
    }

    // The program's record in a folder of the test's own, not the user's.
    test::ScopedEnvironment localAppData{L"LOCALAPPDATA", test::TempFolder(L"localappdata")};
    Taskbar taskbar;
    std::unique_ptr<ProgramFaces> faces;
};

TEST_F(TheStripBesideAFailingTaskbar, TellsAnUnaskedStopByItsNoteAndShowsWithoutStoringTheChoice) {
    ASSERT_TRUE(test::PumpUntil([&] { return taskbar.HasIcon() && Caption() == status::kStopped; }, 10s));
    EXPECT_FALSE(IsWindowVisible(faces->Strip())) << "the user hid it, and the icon stands for it";

    // Killed while Windows refuses notifications (Explorer restarting): the note tells it.
    taskbar.refuseNotifications = true;
    auto tracker = test::StartTracker();
    ASSERT_TRUE(test::PumpUntil([&] { return Caption() == status::kRunning; }, 10s));
    TerminateProcess(tracker->handle(), 0xC0000005);
    ASSERT_TRUE(test::PumpUntil([&] { return Caption() == status::kStopped; }, 10s));
    EXPECT_TRUE(test::PumpUntil(
        [] {
            const HWND note = FindWindowW(kBalloonClass, nullptr);
            return note && IsWindowVisible(note);
        },
        5s))
        << "a refused notification was told nowhere";
    EXPECT_FALSE(taskbar.CallsOf(NIM_MODIFY).empty());

    // The taskbar made anew will not take the icon back: the strip shows, and the choice to
    // hide it stays stored.
    taskbar.refuseAdds = 100;
    SendMessageW(Icon(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(test::PumpUntil([&] { return IsWindowVisible(faces->Strip()) != FALSE; }, 5s));
    EXPECT_EQ(test.store().Text(settings::kShowStrip), L"0");
}

}  // namespace
}  // namespace kvztl
