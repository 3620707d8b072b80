#include <gtest/gtest.h>

#include <cstdio>

#include "cli/CliOptions.h"
#include "cli/Terminal.h"
#include "settings/OptionsDisplay.h"

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

TEST(ParseCommandLine, KeepBackupsIsAFlagOfItsOwn) {
    const CliParse parse = ParseCommandLine({"-y", "--keep-backups", "a"});
    ASSERT_EQ(parse.error, "");
    EXPECT_TRUE(parse.options.keepBackups);
    EXPECT_TRUE(parse.options.yes);
    EXPECT_FALSE(ParseCommandLine({"-y", "a"}).options.keepBackups);
}

// A host that reads its answers from an empty input and writes to a file of its own.
class TerminalQuestions : public ::testing::Test {
  protected:
    ~TerminalQuestions() override {
        std::fclose(in);
        std::fclose(err);
    }
    std::string Printed() {
        std::string text(static_cast<std::size_t>(std::ftell(err)), '\0');
        std::rewind(err);
        text.resize(std::fread(text.data(), 1, text.size(), err));
        return text;
    }

    std::FILE* in = std::tmpfile();
    std::FILE* err = std::tmpfile();
    TerminalStatus status{err};
    OptionMarks marks;
    RunState run;
};

// --yes answers by what is asked, never by the wording: every question but a removal is a
// Yes without reading, a removal is read from the input (here: none, so No).
TEST_F(TerminalQuestions, YesAnswersEveryKindButARemovalWhateverTheText) {
    TerminalHost host(status, marks, run, in, err, {.yesToAll = true});
    for (const QuestionKind kind :
         {QuestionKind::AbortProcessing, QuestionKind::ProcessRemainingFiles,
          QuestionKind::ReplaceBackup, QuestionKind::RemoveDeselected, QuestionKind::ClearList}) {
        EXPECT_TRUE(host.Question(kind, "reworded"));
    }
    EXPECT_FALSE(host.Question(QuestionKind::RemoveRepeatedByte, "Abort Processing?"));
    EXPECT_FALSE(host.Question(QuestionKind::RemoveWrapper, "Process remaining files?"));
}

// --keep-backups turns the Yes to replacing an old backup alone into a No, by its kind, and
// prints it; what --yes answers to anything else stays.
TEST_F(TerminalQuestions, KeepBackupsAnswersNoToReplacingABackupAloneAndSaysSo) {
    TerminalHost host(status, marks, run, in, err, {.yesToAll = true, .keepBackups = true});
    EXPECT_FALSE(host.Question(QuestionKind::ReplaceBackup, "Process remaining files?"));
    EXPECT_TRUE(host.Question(QuestionKind::ProcessRemainingFiles, "Backup file 'a.bak'"));
    EXPECT_TRUE(host.Question(QuestionKind::AbortProcessing, ""));
    EXPECT_EQ(Printed(), "Process remaining files? [y/N] n (--keep-backups)\n");
}

}  // namespace
}  // namespace korbelt
