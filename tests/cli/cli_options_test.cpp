#include <gtest/gtest.h>

#include "CliOptions.h"

namespace korbelt {
namespace {

TEST(ParseCommandLine, FlagsShortLongAndBundled) {
    const CliParse parse = ParseCommandLine({"-iyn", "--truncate", "--no-ignore-hjsplit", "a"});
    ASSERT_EQ(parse.error, "");
    EXPECT_TRUE(parse.options.interactive);
    EXPECT_TRUE(parse.options.yes);
    EXPECT_TRUE(parse.options.dryRun);
    EXPECT_EQ(parse.options.truncate, true);
    EXPECT_EQ(parse.options.ignoreHJSplit, false);
    EXPECT_EQ(parse.options.paths, (std::vector<std::string>{"a"}));
}

TEST(ParseCommandLine, OptionsNotGivenStayUnset) {
    const CliParse parse = ParseCommandLine({"a", "b"});
    EXPECT_FALSE(parse.options.truncate.has_value());
    EXPECT_FALSE(parse.options.ignoreHJSplit.has_value());
    EXPECT_FALSE(parse.options.rangeStart.has_value());
    EXPECT_EQ(parse.options.paths.size(), 2u);
}

TEST(ParseCommandLine, RangeBoundsAreInclusiveAtZeroAndFiftyOne) {
    EXPECT_EQ(ParseCommandLine({"--range", "0-51", "a"}).error, "");
    const CliParse parse = ParseCommandLine({"--range=35-49", "a"});
    EXPECT_EQ(parse.options.rangeStart, 35);
    EXPECT_EQ(parse.options.rangeEnd, 49);
    for (const char* bad :
         {"0-52", "5-5", "6-5", "-1-4", "4", "4-", "-4", "x-9", "1-2-3", " 1-2"}) {
        EXPECT_NE(ParseCommandLine({"--range", bad, "a"}).error, "") << bad;
    }
}

TEST(ParseCommandLine, DoubleDashMakesTheRestPaths) {
    const CliParse parse = ParseCommandLine({"--", "-y", "--help"});
    EXPECT_EQ(parse.error, "");
    EXPECT_FALSE(parse.options.yes);
    EXPECT_EQ(parse.options.paths, (std::vector<std::string>{"-y", "--help"}));
}

TEST(ParseCommandLine, HelpAndVersionNeedNoPath) {
    EXPECT_EQ(ParseCommandLine({"--help"}).error, "");
    EXPECT_EQ(ParseCommandLine({"--version"}).error, "");
    EXPECT_EQ(ParseCommandLine({}).error, "no PATH given");
    EXPECT_EQ(ParseCommandLine({"--frob", "a"}).error, "unknown option '--frob'");
    EXPECT_EQ(ParseCommandLine({"-q", "a"}).error, "unknown option '-q'");
}

}  // namespace
}  // namespace korbelt
