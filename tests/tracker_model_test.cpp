// The tracker's model as its observers hear it, and the icon's picture: each poll told to
// each observer, an unasked stop told once, a stop asked for not at all, a failure with what
// failed; the words of the state at each step; a disc in the strip's colours at every size.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "notification_icon/indicator.h"
#include "support/window_test.h"
#include "tracker/tracker_model.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;

struct Heard final : TrackerObserver {
    int polls = 0;
    int unaskedStops = 0;
    std::vector<TrackerAction> failures;
    std::function<void()> onPoll;

    void OnTrackerPolled(const TrackerModel&) override {
        ++polls;
        if (onPoll) onPoll();
    }
    void OnTrackerStoppedUnasked(const TrackerModel&) override { ++unaskedStops; }
    void OnTrackerFailed(const TrackerFailure& failure) override { failures.push_back(failure.action); }
};

size_t Lines(const std::wstring& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), L'\n')) + 1; }

using TrackerModelTest = test::WindowTest;

TEST_F(TrackerModelTest, TellsEachObserverEachPollAnUnaskedStopOnceAndEachFailureInOneSetOfWords) {
    const auto model = TrackerModel::Create(StandIns().tracker);
    ASSERT_TRUE(model);
    Heard first, second;
    model->Observe(&first);
    model->Observe(&second);
    EXPECT_EQ(model->State(), TrackerState::Unknown);
    EXPECT_EQ(model->StatusText(), L"");
    EXPECT_EQ(model->Summary(), kProgramName) << "before the first poll";

    trackerRunning = true;
    model->Poll();
    EXPECT_EQ(model->StatusText(), status::kRunning);
    EXPECT_TRUE(model->Summary().starts_with(L"BNBT: RUNNING\nRunning since ")) << model->Summary();
    EXPECT_EQ(Lines(model->Summary()), 2u);

    // Killed: told once, however often it is polled after; the summary keeps to two lines of
    // a longer description.
    trackerRunning = false;
    model->Poll();
    model->Poll();
    EXPECT_EQ(first.unaskedStops, 1);
    EXPECT_EQ(second.unaskedStops, 1);
    EXPECT_EQ(first.polls, 3);
    EXPECT_TRUE(model->Summary().starts_with(L"BNBT: STOPPED\nStopped at ")) << model->Summary();
    EXPECT_EQ(Lines(model->Summary()), 2u);
    EXPECT_NE(model->Description().find(L"\nUnexpected stops since KV-ZTL started: 1"), std::wstring::npos);
    EXPECT_EQ(model->Summary().find(L"Unexpected stops"), std::wstring::npos) << model->Summary();

    // Asked to stop: no alert.
    trackerRunning = true;
    model->Poll();
    model->Run(TrackerAction::Stop, nullptr, test::StandInFolder());
    ASSERT_TRUE(test::PumpUntil([&] { return !model->LaunchesUnderWay(); }, 10s));
    trackerRunning = false;
    model->Poll();
    EXPECT_EQ(first.unaskedStops, 1);
    EXPECT_EQ(shell.Count(tracker::kStop), 1u);

    // A start the shell refuses: each observer hears what failed, once.
    shell.result = FALSE;
    shell.error = ERROR_ACCESS_DENIED;
    model->Run(TrackerAction::Start, nullptr, test::StandInFolder());
    EXPECT_TRUE(test::PumpUntil([&] { return !second.failures.empty(); }, 10s));
    test::PumpFor(200ms);
    EXPECT_EQ(first.failures, std::vector<TrackerAction>{TrackerAction::Start});
    EXPECT_EQ(second.failures, std::vector<TrackerAction>{TrackerAction::Start});

    // An observer that goes while another is told hears nothing more.
    first.onPoll = [&] { model->Forget(&second); };
    const int heard = second.polls;
    model->Poll();
    EXPECT_EQ(second.polls, heard);
    model->Forget(&first);
}

TEST_F(TrackerModelTest, TakesNoSnapshotWhileAHeldTrackerRunsAndOneAtOnceWhenItEnds) {
    test::EndAllTrackers();
    int snapshots = 0;
    TrackerModel::Services services = StandIns().tracker;
    services.serviceLocator = nullptr;  // whose answers would poll besides
    services.probe = [&snapshots](std::wstring_view name, const ProcessFilter& ignore) {
        ++snapshots;
        return FindProcesses(name, ignore);
    };
    const auto model = TrackerModel::Create(services);
    ASSERT_TRUE(model);
    Heard heard;
    model->Observe(&heard);
    auto tracker = test::StartTracker();
    model->Poll();
    ASSERT_EQ(model->State(), TrackerState::Running);
    EXPECT_EQ(snapshots, 1);

    // Each poll is told and the state written, without a snapshot.
    for (int i = 0; i < 5; ++i) model->Poll();
    EXPECT_EQ(heard.polls, 6);
    EXPECT_EQ(model->State(), TrackerState::Running);
    EXPECT_EQ(snapshots, 1);

    // Its end is heard at once, and the next answer comes from a snapshot.
    TerminateProcess(tracker->handle(), 3);
    EXPECT_TRUE(test::PumpUntil([&] { return model->State() == TrackerState::Stopped; }, 5s));
    EXPECT_EQ(snapshots, 2);
    model->Poll();
    EXPECT_EQ(snapshots, 3);
    model->Forget(&heard);
}

// The colour of the icon's pixel at (x, y) with its alpha, read back from the system's icon.
struct Pixel {
    COLORREF colour;
    int alpha;
};
std::vector<Pixel> PixelsOf(HICON icon, int size) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return {};
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<DWORD> bits(static_cast<size_t>(size * size));
    const WindowDC screen;
    GetDIBits(screen.get(), info.hbmColor, 0, static_cast<UINT>(size), bits.data(), &format, DIB_RGB_COLORS);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    std::vector<Pixel> pixels;
    pixels.reserve(bits.size());
    for (DWORD bgra : bits) {
        pixels.push_back({RGB((bgra >> 16) & 0xFF, (bgra >> 8) & 0xFF, bgra & 0xFF), static_cast<int>(bgra >> 24)});
    }
    return pixels;
}

TEST(Indicator, IsADiscOfTheStripsColourWithSmoothEdgesAtEverySize) {
    for (const int size : {16, 20, 24, 32, 48}) {
        for (const COLORREF colour : {status::kRunningColor, status::kStoppedColor}) {
            const UniqueIcon icon = DrawIndicator(colour, size);
            ASSERT_TRUE(icon) << size;
            const std::vector<Pixel> pixels = PixelsOf(icon.get(), size);
            ASSERT_EQ(pixels.size(), static_cast<size_t>(size * size));
            const auto half = static_cast<size_t>(size / 2);
            const Pixel centre = pixels[half * static_cast<size_t>(size) + half];
            EXPECT_EQ(centre.colour, colour) << size;
            EXPECT_EQ(centre.alpha, 255) << size;
            EXPECT_EQ(pixels[0].alpha, 0) << "a corner shows at " << size;
            EXPECT_TRUE(
                std::any_of(pixels.begin(), pixels.end(), [](const Pixel& p) { return p.alpha > 0 && p.alpha < 255; }))
                << "no smooth edge at " << size;
        }
    }
    EXPECT_FALSE(DrawIndicator(status::kRunningColor, 0));
}

}  // namespace
}  // namespace kvztl
