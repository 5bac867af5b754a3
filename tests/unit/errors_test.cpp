#include <gtest/gtest.h>

#include "runtime/error_box.h"
#include "runtime/errors.h"
#include "runtime/process.h"
#include "runtime/text_file.h"
#include "tests/fake_platform.h"

namespace {

class ErrorsTest : public testing::Test {
protected:
    void SetUp() override { StartRuntime(); }

    // Runs `report` to its end; the status it ended with.
    template <typename F>
    uint32_t EndsWith(F report) {
        try {
            report();
        } catch (const FakeExit& exit) {
            return exit.Status;
        }
        ADD_FAILURE() << "did not end the process";
        return 0;
    }

    FakePlatform fake;
    platform::ScopedPlatform installed_{fake};
};

struct ReportCase {
    uint16_t Number;
    const char* SecondLine;
};

class Reports : public ErrorsTest, public testing::WithParamInterface<ReportCase> {};

TEST_P(Reports, ShowTheirFourLinesInOneBox) {
    uint32_t status =
        EndsWith([] { ReportUnhandled(NumberedError(GetParam().Number, 0x004A1B2C)); });
    EXPECT_EQ(status, 217u);
    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_EQ(fake.Boxes[0].Caption, "Error");
    EXPECT_EQ(fake.Boxes[0].Text,
              std::string("An unhandled exception occurred at 0x004A1B2C :\r\n") +
                  GetParam().SecondLine + "\r\n  0x004A1B2C\r\n\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Errors, Reports,
    testing::Values(ReportCase{2, "EINOUTERROR : File not found"},
                    ReportCase{3, "EINOUTERROR : Invalid filename"},
                    ReportCase{5, "EINOUTERROR : Access denied"},
                    ReportCase{101, "EINOUTERROR : Disk Full"},
                    ReportCase{103, "EINOUTERROR : File not open"},
                    ReportCase{106, "EINOUTERROR : Invalid input"},
                    ReportCase{150, "EXCEPTION : Unknown Run-Time error : 150"},
                    ReportCase{53, "EXCEPTION : Unknown Run-Time error : 053"},
                    ReportCase{1117, "EXCEPTION : Unknown Run-Time error : 1117"},
                    ReportCase{123, "EXCEPTION : Unknown Run-Time error : 123"},
                    ReportCase{206, "EOVERFLOW : Floating point underflow"},
                    ReportCase{205, "EOVERFLOW : Floating point overflow"},
                    ReportCase{1, "EOUTOFMEMORY : Out of memory"},
                    ReportCase{203, "EOUTOFMEMORY : Out of memory"},
                    ReportCase{216, "EACCESSVIOLATION : Access violation"},
                    ReportCase{202, "EXCEPTION : Unknown Run-Time error : 202"}),
    [](const testing::TestParamInfo<ReportCase>& info) {
        return "Number" + std::to_string(info.param.Number);
    });

TEST_F(ErrorsTest, AnAddressIsEightUpperCaseDigits) {
    EndsWith([] { ReportUnhandled(NumberedError(2, 0xABCDEF)); });
    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_EQ(fake.Boxes[0].Text.substr(0, 48),
              "An unhandled exception occurred at 0x00ABCDEF :\r");
}

TEST_F(ErrorsTest, IoCheckRaisesThePendingNumberAndClearsIt) {
    PendingIoError = 0;
    EXPECT_NO_THROW(IoCheck());
    PendingIoError = 5;
    try {
        IoCheck();
        FAIL() << "no error raised";
    } catch (const FatalError& error) {
        EXPECT_STREQ(error.KindName, "EINOUTERROR");
        EXPECT_STREQ(error.Message, "Access denied");
        EXPECT_NE(error.Address, 0u);
    }
    EXPECT_EQ(PendingIoError, 0);
}

TEST_F(ErrorsTest, AReportWritesOutOpenFilesFirst) {
    TextFile file;
    file.Bind("f");
    file.CreateForWriting();
    file.WriteLine("accepted");
    EndsWith([] { ReportUnhandled(NumberedError(101, 0)); });
    EXPECT_EQ(fake.Files["f"], "accepted\r\n");
    EXPECT_TRUE(fake.OpenHandles.empty());
}

TEST_F(ErrorsTest, ProcessorFaultsBecomeTheirErrors) {
    struct Case {
        uint32_t Code;
        uint16_t Number;
    };
    for (Case c : std::vector<Case>{{0xC0000005, 216},
                                    {0xC0000094, 200},
                                    {0xC00000FD, 202},
                                    {0xC0000093, 206},
                                    {0xC0000091, 205},
                                    {0xC000008C, 201},
                                    {0x80000004, 217},
                                    {0xC0000095, 215},
                                    {0xC0000090, 207},
                                    {0xC0000096, 217},
                                    {0x40010005, 0},
                                    {0xC0000135, 0}}) {
        EXPECT_EQ(FaultNumber(c.Code), c.Number) << std::hex << c.Code;
    }
}

TEST_F(ErrorsTest, TheFaultFilterReportsAnAccessViolation) {
    ASSERT_NE(fake.FaultFilter, nullptr);
    platform::FaultHandler filter = fake.FaultFilter;
    EXPECT_FALSE(filter(0x40010005, 0x10));  // not a fault the program reports
    uint32_t status = EndsWith([filter] { filter(0xC0000005, 0x1234); });
    EXPECT_EQ(status, 217u);
    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_NE(fake.Boxes[0].Text.find("EACCESSVIOLATION : Access violation\r\n  0x00001234"),
              std::string::npos);
    EXPECT_EQ(fake.FaultFilter, nullptr);  // removed on the way out
}

TEST_F(ErrorsTest, EndProcessPassesTheWholeStatusAndShowsNothingWhenNothingIsPending) {
    EXPECT_EQ(EndsWith([] { EndProcess(256); }), 256u);
    EXPECT_TRUE(fake.Boxes.empty());
}

TEST_F(ErrorsTest, ErrorBoxShowsAtABlankLineOrAtClose) {
    ErrorBox::WriteLine("one");
    ErrorBox::WriteLine("two");
    EXPECT_TRUE(fake.Boxes.empty());
    ErrorBox::WriteLine("");
    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_EQ(fake.Boxes[0].Text, "one\r\ntwo\r\n\r\n");
    ErrorBox::Write("tail");
    ErrorBox::Close();
    ASSERT_EQ(fake.Boxes.size(), 2u);
    EXPECT_EQ(fake.Boxes[1].Text, "tail");
}

TEST_F(ErrorsTest, ErrorBoxShowsAFullBoxAndTheRestInALaterOne) {
    ErrorBox::Write(std::string(1034, 'a'));
    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_EQ(fake.Boxes[0].Text, std::string(1024, 'a'));
    ErrorBox::Close();
    ASSERT_EQ(fake.Boxes.size(), 2u);
    EXPECT_EQ(fake.Boxes[1].Text, std::string(10, 'a'));
}

TEST_F(ErrorsTest, ErrorBoxLosesThePartOfAChunkThatOverflows) {
    // Text reaches the box in chunks of up to 256 characters; after a short
    // line, the fourth full chunk crosses 1024 and loses its last five.
    ErrorBox::WriteLine("abc");
    ErrorBox::Write(std::string(1024, 'x'));
    ErrorBox::Close();
    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_EQ(fake.Boxes[0].Text, "abc\r\n" + std::string(1019, 'x'));
}

}  // namespace
