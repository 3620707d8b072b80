#include <gtest/gtest.h>

#include <cstdio>

#include "cli/CliOptions.h"
#include "cli/Terminal.h"
#include "settings/OptionsDisplay.h"

namespace korbelt {
namespace {

TEST(ParseCommandLine, FlagsShortLongAndBundled) {
    const CliParse parse =
        ParseCommandLine({"-iyn", "--truncate", "--no-ignore-hjsplit", "--keep-backups", "a"});
    ASSERT_EQ(parse.error, "");
    EXPECT_TRUE(parse.options.interactive);
    EXPECT_TRUE(parse.options.yes);
    EXPECT_TRUE(parse.options.keepBackups);
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
    EXPECT_FALSE(parse.options.keepBackups);
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

// --yes answers by what is asked, never by the wording: every question but a removal is a
// Yes without reading, a removal is read from the input (here: none, so No). --keep-backups
// turns the Yes to replacing an old backup alone into a No.
TEST(TerminalQuestions, YesAndKeepBackupsAnswerByKindWhateverTheText) {
    std::FILE* in = std::tmpfile();
    std::FILE* err = std::tmpfile();
    TerminalStatus status(err);
    const RunOptions options;
    RunState run;
    TerminalHost host(status, options, run, in, err, {.yesToAll = true});
    for (const QuestionKind kind :
         {QuestionKind::AbortProcessing, QuestionKind::ProcessRemainingFiles,
          QuestionKind::ReplaceBackup, QuestionKind::RemoveDeselected, QuestionKind::ClearList}) {
        EXPECT_TRUE(host.Question(kind, "reworded"));
    }
    EXPECT_FALSE(host.Question(QuestionKind::RemoveRepeatedByte, "Abort Processing?"));
    EXPECT_FALSE(host.Question(QuestionKind::RemoveWrapper, "Process remaining files?"));
    TerminalHost keeping(status, options, run, in, err, {.yesToAll = true, .keepBackups = true});
    EXPECT_FALSE(keeping.Question(QuestionKind::ReplaceBackup, "Process remaining files?"));
    EXPECT_TRUE(keeping.Question(QuestionKind::ProcessRemainingFiles, "Backup file 'a.bak'"));
    std::fclose(in);
    std::fclose(err);
}

}  // namespace
}  // namespace korbelt
