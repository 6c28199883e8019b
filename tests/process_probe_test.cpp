#include "tracker/process_probe.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace kvztl {
namespace {

class ProcessProbe : public ::testing::Test {
protected:
    void SetUp() override { test::EndAllTrackers(); }
    void TearDown() override { test::EndAllTrackers(); }
};

TEST_F(ProcessProbe, NoProcessOfThatName) {
    EXPECT_FALSE(IsProcessRunning(L"BNBT.exe"));
    EXPECT_FALSE(IsProcessRunning(L"kvztl-no-such-program.exe"));
    EXPECT_FALSE(IsProcessRunning(L""));
}

TEST_F(ProcessProbe, TwoProcessesCountAsRunningUntilTheLastEnds) {
    auto first = test::StartTracker();
    auto second = test::StartTracker();
    ASSERT_TRUE(first->running() && second->running());
    EXPECT_TRUE(IsProcessRunning(L"BNBT.exe"));
    first->Terminate();
    EXPECT_TRUE(IsProcessRunning(L"BNBT.exe"));
    second->Terminate();
    EXPECT_FALSE(IsProcessRunning(L"BNBT.exe"));
}

TEST_F(ProcessProbe, MatchesTheWholeImageNameInAnyLetterCase) {
    auto upper = test::StartTracker(L"BNBT.EXE");
    ASSERT_TRUE(upper->running());
    EXPECT_TRUE(IsProcessRunning(L"BNBT.exe"));
    upper->Terminate();
    auto tracker = test::StartTracker(L"bnbt.exe");
    ASSERT_TRUE(tracker->running());
    for (const wchar_t* name : {L"BNBT.exe", L"bnbt.exe", L"BnBt.ExE"}) EXPECT_TRUE(IsProcessRunning(name)) << name;
    for (const wchar_t* name : {L"bnbt", L"bnbt.ex", L"bnbt.exe ", L"xbnbt.exe", L"bnbt.exe.exe"}) {
        EXPECT_FALSE(IsProcessRunning(name)) << name;
    }
}

}  // namespace
}  // namespace kvztl
