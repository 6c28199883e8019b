// The form layer under the program's windows: one unload per load, however the session and
// the window end, and a debugger's line for everything it drops.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "platform/form.h"
#include "platform/window.h"
#include "support/test_support.h"

namespace kvztl {
namespace {

constexpr int kThrowingCommand = 42;

// A bare form that counts its unloads and throws where it is told to.
class CountingForm final : public Form {
public:
    static Ptr<CountingForm> Open(int& unloads, HWND owner = nullptr, bool loadFails = false) {
        return Create(new CountingForm(unloads, loadFails),
                      {L"KVZTL_TEST_FORM", L"form test", WS_OVERLAPPEDWINDOW, 0, {}}, owner);
    }
    std::function<void()> duringUnload;

private:
    CountingForm(int& unloads, bool loadFails) : unloads_(unloads), loadFails_(loadFails) {}
    void Form_Load() override {
        if (loadFails_) throw std::runtime_error("no settings to load");
    }
    void Form_Unload() override {
        ++unloads_;
        if (duringUnload) duringUnload();
    }
    void OnCommand(int id, int) override {
        if (id == kThrowingCommand) throw std::runtime_error("the handler gave up");
    }

    int& unloads_;
    bool loadFails_;
};

void EndSession(HWND window, bool ending) { SendMessageW(window, WM_ENDSESSION, ending, ENDSESSION_LOGOFF); }

TEST(FormLayer, UnloadsOnceWhicheverOfTheSessionsEndAndTheWindowsComesFirst) {
    struct Order {
        const char* name;
        std::function<void(CountingForm&)> before;  // then the window is destroyed
        bool sessionEnds;
    };
    const Order orders[] = {
        {"the session ends, then the window", [](CountingForm& form) { EndSession(form.hwnd(), true); }, true},
        {"the session ends twice",
         [](CountingForm& form) {
             EndSession(form.hwnd(), true);
             EndSession(form.hwnd(), true);
         },
         true},
        {"a logoff called off, then the window", [](CountingForm& form) { EndSession(form.hwnd(), false); }, false},
        {"the session's end while the window unloads",
         [](CountingForm& form) { form.duringUnload = [&form] { EndSession(form.hwnd(), true); }; }, true},
    };
    for (const Order& order : orders) {
        SCOPED_TRACE(order.name);
        int unloads = 0;
        auto form = CountingForm::Open(unloads);
        ASSERT_TRUE(form);
        order.before(*form);
        form.reset();
        EXPECT_EQ(unloads, 1);
        EXPECT_EQ(SessionEnding(), order.sessionEnds);
        SetSessionEnding(false);
    }
}

TEST(FormLayer, LeavesADebuggerLineForWhatItDrops) {
    const test::DebugTraces traces;
    int unloads = 0;

    // An exception stops at the window procedure: the message is dropped, the window lives on.
    auto form = CountingForm::Open(unloads);
    ASSERT_TRUE(form);
    SendMessageW(form->hwnd(), WM_COMMAND, kThrowingCommand, 0);
    EXPECT_NE(
        test::DebugTraces::All().find("KV-ZTL window KVZTL_TEST_FORM: message 0x0111 dropped: the handler gave up"),
        std::string::npos)
        << test::DebugTraces::All();
    EXPECT_TRUE(IsWindow(form->hwnd()));
    form.reset();
    EXPECT_EQ(unloads, 1);

    // A load that throws leaves no window, and nothing to unload.
    EXPECT_FALSE(CountingForm::Open(unloads, nullptr, true));
    EXPECT_NE(test::DebugTraces::All().find("KV-ZTL window KVZTL_TEST_FORM: loading failed: no settings to load"),
              std::string::npos)
        << test::DebugTraces::All();
    EXPECT_EQ(unloads, 1);

    // A window the system will not make: an owner that is no window.
    EXPECT_FALSE(CountingForm::Open(unloads, reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x7FFF0))));
    EXPECT_NE(
        test::DebugTraces::All().find("KV-ZTL window KVZTL_TEST_FORM: the window could not be created: error 1400"),
        std::string::npos)
        << test::DebugTraces::All();
}

}  // namespace
}  // namespace kvztl
