#include <gtest/gtest.h>

#include "driver/command_line.h"

namespace {

struct SplitCase {
    const char* Name;
    const char* CommandLine;
    std::vector<std::string> Tokens;
};

const std::vector<SplitCase> SplitCases = {
    {"NoTokenAtAll", "", {}},
    {"OnlySeparators", " \t\x01 ", {}},
    {"ProgramOnly", "formsplit.exe", {"formsplit.exe"}},
    {"FurtherArgumentsKept", "p a.xml b.xml", {"p", "a.xml", "b.xml"}},
    {"ControlBytesSeparate",
     "p\ta\x1f"
     "b",
     {"p", "a", "b"}},
    {"DoubleQuotedSpaces", "p \"C:\\My Forms\\batch.xml\"", {"p", "C:\\My Forms\\batch.xml"}},
    {"QuotesInsideAToken", "p a\"b c\"d", {"p", "ab cd"}},
    {"ApostropheQuotesTheRest", "p C:\\it's here\\x.xml' y", {"p", "C:\\its here\\x.xml", "y"}},
    {"ApostropheInsideDoubleQuotes", "p \"it's.xml\"", {"p", "it's.xml"}},
    {"DoubleQuoteInsideApostrophes", "p 'say \"hi\".xml'", {"p", "say \"hi\".xml"}},
    {"EmptyDoubleQuoted", "p \"\"", {"p", ""}},
    {"EmptyApostrophes", "p ''", {"p", ""}},
    {"QuoteLeftOpen", "p \"open ended.xml", {"p", "open ended.xml"}},
    {"BackslashIsOrdinary", "p a\\\"b c", {"p", "a\\b c"}},
    {"QuotedProgramName",
     "\"C:\\Program Files\\formsplit.exe\" b.xml",
     {"C:\\Program Files\\formsplit.exe", "b.xml"}},
};

class SplitWithEitherQuoteTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitWithEitherQuoteTest, GivesTheTokens) {
    EXPECT_EQ(SplitWithEitherQuote(GetParam().CommandLine), GetParam().Tokens);
}

INSTANTIATE_TEST_SUITE_P(CommandLine, SplitWithEitherQuoteTest, testing::ValuesIn(SplitCases),
                         [](const testing::TestParamInfo<SplitCase>& info) {
                             return info.param.Name;
                         });

}  // namespace
