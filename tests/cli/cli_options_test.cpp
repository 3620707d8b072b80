#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>

#include "TempDir.h"

#include "cli/CliOptions.h"
#include "cli/PathErrors.h"
#include "cli/ReportJson.h"
#include "cli/ReportLines.h"
#include "cli/RunTally.h"
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
    EXPECT_EQ(ParseCommandLine({"-x", "a"}).error, "unknown option '-x'");
}

TEST(ParseCommandLine, QuietAndVerboseTheLastOneGiven) {
    EXPECT_EQ(ParseCommandLine({"a"}).options.verbosity, Verbosity::Normal);
    EXPECT_EQ(ParseCommandLine({"-q", "a"}).options.verbosity, Verbosity::Quiet);
    EXPECT_EQ(ParseCommandLine({"--quiet", "-v", "a"}).options.verbosity, Verbosity::Verbose);
    EXPECT_EQ(ParseCommandLine({"-vq", "a"}).options.verbosity, Verbosity::Quiet);
    EXPECT_EQ(ParseCommandLine({"--verbose", "a"}).options.verbosity, Verbosity::Verbose);
}

// Only well-formed UTF-8 passes as a character, in the terminal's escaping as in the JSON:
// an overlong form, a surrogate, a code point above U+10FFFF or a cut sequence is bytes, and
// its bytes of 0x80 to 0x9F are escaped, so that no overlong CSI reaches the terminal.
TEST(Utf8, OnlyWellFormedSequencesAreCharacters) {
    const std::pair<const char*, std::size_t> sequences[] = {
        {"\xc2\x80", 2},         {"\xdf\xbf", 2},         {"\xe0\xa0\x80", 3},
        {"\xed\x9f\xbf", 3},     {"\xee\x80\x80", 3},     {"\xf0\x90\x80\x80", 4},
        {"\xf4\x8f\xbf\xbf", 4}, {"\xc0\x80", 0},         {"\xc1\xbf", 0},
        {"\xe0\x80\x80", 0},     {"\xe0\x9f\xbf", 0},     {"\xed\xa0\x80", 0},
        {"\xed\xbf\xbf", 0},     {"\xf0\x80\x80\x80", 0}, {"\xf4\x90\x80\x80", 0},
        {"\xf5\x80\x80\x80", 0}, {"\xf8\x88\x80\x80", 0}, {"\xff\xbf", 0},
        {"\xe2\x82", 0},         {"\xf0\x9f\x98", 0},     {"\xe2\x28\xa1", 0}};
    for (const auto& [bytes, length] : sequences) {
        EXPECT_EQ(Utf8SequenceAt(bytes, 0), length) << EscapeForTerminal(bytes);
        EXPECT_EQ(IsUtf8(bytes), length != 0) << EscapeForTerminal(bytes);
    }
    EXPECT_TRUE(IsUtf8("plain \xc3\xa9"));
    EXPECT_EQ(EscapeForTerminal("\xe0\x82\x9b[31m"), "\xe0\\x82\\x9b[31m");
    EXPECT_EQ(EscapeForTerminal("\xc2\x9b\xed\xa0\x80\xf5"), "\\xc2\\x9b\xed\xa0\\x80\xf5");
    EXPECT_EQ(EscapeForTerminal("\xc3\xa9\\\n"), "\xc3\xa9\\\\\\n");
}

// The progress line: the name, the share, the rate and the time left once there is enough
// to go by; a long name shortened between whole characters to leave the figures whole.
TEST(ProgressLine, NameShareRateAndTimeLeftWithinTheWidth) {
    EXPECT_EQ(ProgressLine({"a.avi", 25, 400'000'000, 2.0}, 80), "a.avi  25%  50 MB/s  0:06 left");
    EXPECT_EQ(ProgressLine({"a.avi", 50, 3'000, 1.0}, 80), "a.avi  50%  1.5 kB/s  0:01 left");
    EXPECT_EQ(ProgressLine({"a.avi", 1, 360'000'000'000, 100.0}, 80),
              "a.avi  1%  36 MB/s  2:45:00 left");
    EXPECT_EQ(ProgressLine({"a\nb.avi", 3, 1'000'000, 0.1}, 0),
              "a\\nb.avi  3%  -- B/s  --:-- left");
    const std::string tail = "  50%  1.0 MB/s  0:01 left";
    const std::string shortened = ProgressLine({std::string(100, 'x'), 50, 2'000'000, 1.0}, 40);
    EXPECT_EQ(shortened, std::string(36 - tail.size(), 'x') + "..." + tail);
    EXPECT_EQ(ProgressLine({"\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9xxxxxx", 50, 2'000'000, 1.0}, 36),
              "\xc3\xa9\xc3\xa9\xc3\xa9..." + tail);
}

// The exit status goes by kind: 2 before 1 before 4 before 3 before 0; the summary counts
// each outcome in its group and each error once.
TEST(RunTally, ExitStatusAndGroupsByOutcomeKind) {
    RunTally tally;
    EXPECT_EQ(tally.Status(), ExitStatus::Ok);
    const auto count = [&](FileOutcome outcome, std::int64_t removed = 0) {
        FileReport report;
        report.outcome = outcome;
        report.bytesRemoved = removed;
        tally.Count(report);
    };
    for (const FileOutcome outcome : {FileOutcome::Clean, FileOutcome::Intact, FileOutcome::Ignored,
                                      FileOutcome::AlreadyDone}) {
        count(outcome);
    }
    EXPECT_EQ(tally.Status(), ExitStatus::Ok);
    count(FileOutcome::Busy);
    EXPECT_EQ(tally.Status(), ExitStatus::Busy);
    count(FileOutcome::DamageLeft);
    EXPECT_EQ(tally.Status(), ExitStatus::DamageLeft);
    count(FileOutcome::Busy);
    EXPECT_EQ(tally.Status(), ExitStatus::DamageLeft);
    count(FileOutcome::Repaired, 3);
    count(FileOutcome::NotVerified, 2);
    EXPECT_EQ(tally.Status(), ExitStatus::Failed);
    tally.Count(PathError{"x", "gone", ErrorPhase::Arguments});
    EXPECT_EQ(tally.Status(), ExitStatus::Failed);
    tally.Count(PathError{"y.md5", "gone", ErrorPhase::Checksums});
    EXPECT_EQ(tally.Status(), ExitStatus::Usage);
    EXPECT_EQ(tally.Files(), 9);
    EXPECT_EQ(tally.Files(OutcomeGroup::Repaired), 1);
    EXPECT_EQ(tally.Files(OutcomeGroup::Clean), 2);
    EXPECT_EQ(tally.Files(OutcomeGroup::Left), 4);
    EXPECT_EQ(tally.Files(OutcomeGroup::Failed), 1);
    EXPECT_EQ(tally.Files(OutcomeGroup::Repeated), 1);
    EXPECT_EQ(tally.Errors(), 2);
    EXPECT_EQ(tally.BytesRemoved(), 5);
    EXPECT_EQ(Worse(ExitStatus::DamageLeft, ExitStatus::Busy), ExitStatus::DamageLeft);
    EXPECT_EQ(Worse(ExitStatus::DamageLeft, ExitStatus::Failed), ExitStatus::Failed);
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

// A PATH that cannot be used is told by what the system says of it, or what keeps it from
// being one; the line names the program, the path and, where the reason alone would not say
// it, what was being done.
TEST(PathErrors, ReasonsAndTheirLines) {
    test::TempDir dir;
    mkdir(dir.File(".hidden").c_str(), 0755);
    mkfifo(dir.File("fifo").c_str(), 0644);
    EXPECT_EQ(UnusablePath(dir.File("missing")).reason, "No such file or directory");
    EXPECT_EQ(UnusablePath(dir.File(".hidden")).reason, "Hidden: its name starts with '.'");
    EXPECT_EQ(UnusablePath(dir.File("fifo")).reason, "Not a regular file or directory");
    EXPECT_EQ(UnlistedFolder(dir.File("missing")).reason, "No such file or directory");
    // A folder that opens now failed part way through its listing.
    EXPECT_EQ(UnlistedFolder(dir.Path()).reason, "Its entries could not be read");
    EXPECT_EQ(ErrorLine(UnusablePath("a\nb")), "korbelt-cli: a\\nb: No such file or directory");
    EXPECT_EQ(ErrorLine({"dl", "Permission denied", ErrorPhase::Listing}),
              "korbelt-cli: dl: cannot list the folder: Permission denied");
    EXPECT_EQ(ErrorLine({"x.md5", "Is a directory", ErrorPhase::Checksums}),
              "korbelt-cli: x.md5: cannot read the checksum file: Is a directory");
}

TEST(SummaryLine, ErrorsAreCountedBesideTheFiles) {
    RunTally tally;
    const NumberFormat format;
    tally.Count(PathError{"x", "gone", ErrorPhase::Arguments});
    EXPECT_EQ(
        SummaryLine(tally, false, format)
            .rfind("Summary: 0 repaired, 0 clean, 0 left, 0 failed, 1 error; 0 bytes removed in ",
                   0),
        0u);
    tally.Count(PathError{"y", "gone", ErrorPhase::Listing});
    FileReport repaired;
    repaired.outcome = FileOutcome::Repaired;
    repaired.bytesRemoved = 1234;
    tally.Count(repaired);
    EXPECT_EQ(SummaryLine(tally, true, format)
                  .rfind("Summary (dry run): 1 would be repaired, 0 "
                         "clean, 0 left, 0 failed, 2 errors; 1,234 "
                         "bytes would be removed in ",
                         0),
              0u);
}

}  // namespace
}  // namespace korbelt

namespace korbelt {
namespace {

// Damage at two distances: the record names the main one and the other beside it.
TEST(FileRecordJson, DamageAtSeveralDistancesNamesEach) {
    FileReport report;
    report.name = "a.avi";
    report.outcome = FileOutcome::Repaired;
    PatternVerdict pattern;
    pattern.kind = PatternVerdict::Kind::Damage;
    pattern.markers = 160;
    pattern.distance = 40;
    pattern.matching = 20;
    pattern.seen = 160;
    pattern.chance = 1;
    pattern.rangeStart = 39;
    pattern.rangeEnd = 46;
    pattern.others = {{44, 20, 160}};
    report.pattern = pattern;
    const std::string record = FileRecord(report, false);
    EXPECT_NE(record.find("\"pattern\":{\"verdict\":\"damage\",\"markers\":160,\"distance\":40,"
                          "\"matching\":20,\"of\":160,\"chance\":1,\"inRange\":true,"
                          "\"also\":[{\"distance\":44,\"matching\":20,\"of\":160}]}"),
              std::string::npos)
        << record;
    pattern.others = {{47, 9, 160}};
    report.pattern = pattern;
    EXPECT_NE(FileRecord(report, false).find("\"inRange\":false"), std::string::npos);
}

// What the file's structure decided, and a find it kept, as a script reads them.
TEST(FileRecordJson, TheStructureRecordCountsTheRegionsByWhatDecidedThem) {
    FileReport report;
    report.name = "a.zip";
    report.outcome = FileOutcome::Repaired;
    Decision kept;
    kept.reason = Reason::StructureFitsWithout;
    report.finds = {kept};
    StructureReport structure;
    structure.format = "ZIP";
    structure.proof = "the archive's CRC-32s";
    structure.lengths = "the archive's headers";
    structure.whole = false;
    structure.repairedProven = 2;
    structure.repairedConsistent = 1;
    structure.leftProven = 3;
    structure.noFit = 4;
    structure.undecided = 5;
    report.structure = structure;
    report.slices = SliceReport{3, 1, 2, 4};
    const std::string record = FileRecord(report, false);
    EXPECT_NE(record.find("\"slices\":{\"repaired\":3,\"structureChose\":1,\"left\":2,"
                          "\"unproven\":4}"),
              std::string::npos)
        << record;
    EXPECT_NE(record.find("\"decision\":\"kept\",\"reason\":\"structure fits without it\""),
              std::string::npos)
        << record;
    EXPECT_NE(record.find("\"structure\":{\"format\":\"ZIP\",\"walk\":\"lost track\","
                          "\"proof\":\"the archive's CRC-32s\",\"lengths\":\"the archive's "
                          "headers\",\"repaired\":{\"proven\":2,\"consistent\":1},\"left\":"
                          "{\"proven\":3,\"consistent\":0},\"noFit\":4,\"undecided\":5}"),
              std::string::npos)
        << record;
}

}  // namespace
}  // namespace korbelt
