// A short soak: kv-ztl.exe while the tracker service is started and stopped by double-clicks
// and the settings window opens and closes between them. The long one is `make soak`.
#include <gtest/gtest.h>

#include "support/program.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using namespace std::chrono_literals;
using Smoke = test::ProgramTest;

TEST_F(Smoke, TheIndicatorFollowsEveryDoubleClickWhileTheSettingsWindowComesAndGoes) {
    const test::TrackerService& service = Service();
    service.Install();
    {
        const test::StandInOnPath path;
        ASSERT_TRUE(Start());
    }
    ASSERT_TRUE(program.WaitForCaption(status::kStopped));
    test::Exercise exercise;
    for (int round = 0; round < 9; ++round) exercise.Round(program, 10s, 3);
    EXPECT_EQ(exercise.followed, exercise.rounds);
    EXPECT_EQ(exercise.settingsOpened, exercise.rounds / 3);
    ASSERT_TRUE(program.process->running());
    Close();
}

}  // namespace
}  // namespace kvztl
