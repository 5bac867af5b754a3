// Files of the Linux platform: a file made for writing, new or replaced,
// is a regular file held for this run alone, as Windows' share mode 0 holds
// it; a folder is refused.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "platform/platform.h"
#include "tests/scratch_folder.h"

namespace {

using platform::Handle;
using platform::OpenMode;

struct CreateCase {
    const char* Name;
    bool Exists;  // a file of the name holds text before the run
};

class CreatedFiles : public testing::TestWithParam<CreateCase> {};

TEST_P(CreatedFiles, AreEmptyRegularAndHeldForTheRunAlone) {
    platform::Platform& p = platform::SystemPlatform();
    ScratchFolder folder;
    std::string name = folder / "f.Xml";
    if (GetParam().Exists) folder.Write("f.Xml", "old text");
    Handle file = p.CreateFileA(name.c_str(), OpenMode::Write);
    ASSERT_NE(file, platform::InvalidHandle);
    EXPECT_EQ(p.GetFileType(file), platform::FileType::Disk);
    EXPECT_EQ(std::ifstream(name).peek(), EOF);  // empty
    for (OpenMode again : {OpenMode::Write, OpenMode::Read}) {
        EXPECT_EQ(p.CreateFileA(name.c_str(), again), platform::InvalidHandle);
        EXPECT_EQ(p.GetLastError(), platform::ErrorSharingViolation);
    }
    EXPECT_TRUE(p.CloseHandle(file));
    Handle reopened = p.CreateFileA(name.c_str(), OpenMode::Read);
    EXPECT_NE(reopened, platform::InvalidHandle);
    p.CloseHandle(reopened);
}

INSTANTIATE_TEST_SUITE_P(PosixFiles, CreatedFiles,
                         testing::Values(CreateCase{"New", false}, CreateCase{"Replaced", true}),
                         [](const testing::TestParamInfo<CreateCase>& info) {
                             return info.param.Name;
                         });

TEST(PosixFiles, AFolderCannotBeCreatedForWriting) {
    platform::Platform& p = platform::SystemPlatform();
    ScratchFolder folder;
    EXPECT_EQ(p.CreateFileA(folder.Path().c_str(), OpenMode::Write), platform::InvalidHandle);
    EXPECT_EQ(p.GetLastError(), platform::ErrorAccessDenied);
}

}  // namespace
