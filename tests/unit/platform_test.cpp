// The platform switch and the forwarding base that test wrappers build on.
#include <gtest/gtest.h>

#include "platform/platform_wrapper.h"
#include "tests/run_in_process.h"

namespace {

TEST(ScopedPlatform, PutsBackThePlatformInForceBeforeIt) {
    platform::Platform& system = platform::SystemPlatform();
    ASSERT_EQ(&platform::Current(), &system);
    {
        FakePlatform outer;
        platform::ScopedPlatform outerGuard(outer);
        EXPECT_EQ(&platform::Current(), &outer);
        {
            FakePlatform inner;
            platform::ScopedPlatform innerGuard(inner);
            EXPECT_EQ(&platform::Current(), &inner);
        }
        EXPECT_EQ(&platform::Current(), &outer);
    }
    EXPECT_EQ(&platform::Current(), &system);
}

TEST(ScopedPlatform, AWholeRunLeavesNoFakeInForce) {
    {
        FakePlatform fake;
        EXPECT_EQ(RunInProcess(fake, {"formsplit"}), 0u);
    }
    EXPECT_EQ(&platform::Current(), &platform::SystemPlatform());
}

// A run with a launch and one with a failing write, so that the calls with
// results, out-parameters and error numbers all pass through.
struct WrappedRunCase {
    const char* Name;
    int FailingWrite;  // 0: none
};

const WrappedRunCase WrappedRunCases[] = {
    {"LaunchesTheFormProgram", 0},
    {"EndsOnAFailingWrite", 1},
};

class WrappedRun : public testing::TestWithParam<WrappedRunCase> {
protected:
    // Sets up a fake for a whole run of a one-form batch.
    void Prepare(FakePlatform& fake) {
        fake.Files["b.xml"] = "<x>\r\n<nyomtatvany>\r\n<a/>\r\n</nyomtatvany>\r\n</x>\r\n";
        fake.KeyExists = true;
        fake.Values["SetupPath"] = {platform::RegSz, std::string("C:\\Ormu\\\0", 9)};
        fake.Files["C:\\Ormu\\Ormu.Exe"] = "";
        fake.ProgramExitCode = 7;
        if (GetParam().FailingWrite != 0)
            fake.FailCall("WriteFile", GetParam().FailingWrite, platform::ErrorDiskFull);
    }
};

TEST_P(WrappedRun, ThroughAWrapperThatOverridesNothingIsTheRunWithoutIt) {
    FakePlatform direct;
    Prepare(direct);
    const uint32_t directStatus = RunInProcess(direct, {"formsplit", "b.xml"});

    FakePlatform wrapped;
    Prepare(wrapped);
    platform::PlatformWrapper wrapper(wrapped);
    EXPECT_EQ(RunInProcess(wrapper, {"formsplit", "b.xml"}), directStatus);

    EXPECT_EQ(wrapped.Log, direct.Log);
    EXPECT_EQ(wrapped.Files, direct.Files);
    ASSERT_EQ(wrapped.Boxes.size(), direct.Boxes.size());
    for (size_t i = 0; i < direct.Boxes.size(); ++i)
        EXPECT_EQ(wrapped.Boxes[i].Text, direct.Boxes[i].Text);
    EXPECT_EQ(wrapped.StartedCommandLines, direct.StartedCommandLines);
}

INSTANTIATE_TEST_SUITE_P(Platform, WrappedRun, testing::ValuesIn(WrappedRunCases),
                         [](const testing::TestParamInfo<WrappedRunCase>& info) {
                             return info.param.Name;
                         });

}  // namespace
