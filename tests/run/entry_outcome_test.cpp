// What the input list says of a file's outcome, for the outcomes a run of the window does
// not easily reach: each kind's mark and note from its report alone.
#include <gtest/gtest.h>

#include "run/EntryOutcome.h"

namespace korbelt::test {
namespace {

FileReport Report(FileOutcome outcome, const std::string& failure = "") {
    FileReport report;
    report.name = "/dl/a.avi";
    report.outcome = outcome;
    report.failure = failure;
    return report;
}

FileReport Checked(FileOutcome outcome, ChecksumReport::Verdict verdict, const std::string& file) {
    FileReport report = Report(outcome);
    report.checksums = ChecksumReport{};
    report.checksums->verdict = verdict;
    report.checksums->file = file;
    return report;
}

TEST(EntryOutcome, EachOutcomeHasItsMarkAndNote) {
    FileReport proven =
        Checked(FileOutcome::Repaired, ChecksumReport::Verdict::Verified, "/dl/a.sfv");
    proven.bytesRemoved = 2;
    proven.backupDropped = true;
    FileReport chance = Report(FileOutcome::Ignored);
    chance.pattern = PatternVerdict{};
    chance.pattern->kind = PatternVerdict::Kind::NoPattern;
    FileReport sliced =
        Checked(FileOutcome::NotVerified, ChecksumReport::Verdict::NotVerified, "/dl/a.par2");
    sliced.checksums->slicesMatching = 7;
    sliced.checksums->slicesWere = 5;
    sliced.checksums->sliceCount = 10;
    FileReport outside = Report(FileOutcome::DamageLeft);
    outside.pattern = PatternVerdict{};
    outside.pattern->kind = PatternVerdict::Kind::Damage;
    outside.pattern->distance = 48;
    outside.pattern->rangeStart = 39;
    outside.pattern->rangeEnd = 45;
    outside.bytesRemoved = 2;
    const std::vector<std::tuple<FileReport, OutcomeMark, std::string>> cases = {
        {Checked(FileOutcome::Intact, ChecksumReport::Verdict::Intact, "/dl/a.sfv"),
         OutcomeMark::Verified, "Verified: matches 'a.sfv'; left as it is"},
        {proven, OutcomeMark::Verified,
         "Repaired and verified: 2 bytes removed, the repair matches 'a.sfv'; no backup kept"},
        {chance, OutcomeMark::Skipped,
         "Skipped: its repeated bytes look like chance; left as it is"},
        {Report(FileOutcome::Ignored, "HJSplit file ignored"), OutcomeMark::Skipped,
         "Skipped: HJSplit file ignored"},
        {Report(FileOutcome::AlreadyDone, "already processed in this run"), OutcomeMark::Skipped,
         "Skipped: already processed in this run"},
        {Report(FileOutcome::Busy, "skipped, another Korbelt is repairing it"),
         OutcomeMark::Skipped, "Skipped: another Korbelt is repairing it"},
        {outside, OutcomeMark::DamageLeft,
         "Left with damage: damage at 48 characters, outside the search range 39-45; the range "
         "48-49 would repair it; 2 bytes removed, the original is kept as a.avi.bak"},
        {sliced, OutcomeMark::DamageLeft,
         "Left with damage: does not match 'a.par2'; 7 of 10 slices match, was 5"},
        {Checked(FileOutcome::NotVerified, ChecksumReport::Verdict::NotVerified, "/dl/a.md5"),
         OutcomeMark::DamageLeft, "Left with damage: does not match 'a.md5'"},
        {Report(FileOutcome::NotRepaired, "aborted"), OutcomeMark::Failed, "Failed: aborted"},
        {Report(FileOutcome::NotRepaired), OutcomeMark::Failed, "Failed: not repaired"}};
    for (const auto& [report, mark, note] : cases) {
        EntryOutcome entry(EntryOutcome::Kind::File);
        entry.Add(report);
        EXPECT_EQ(entry.Mark(), mark) << note;
        EXPECT_EQ(entry.Note(), note);
    }
}

TEST(EntryOutcome, ADirectoryShowsItsWorstFileAndCountsThemWorstFirst) {
    EntryOutcome directory(EntryOutcome::Kind::Directory);
    directory.Add(Report(FileOutcome::Clean));
    EXPECT_EQ(directory.Note(), "1 file: 1 clean");
    directory.Add(Report(FileOutcome::Busy));
    directory.Add(Report(FileOutcome::NotVerified));
    directory.Add(Report(FileOutcome::Clean));
    EXPECT_EQ(directory.Mark(), OutcomeMark::DamageLeft);
    EXPECT_EQ(directory.Note(), "4 files: 1 left with damage, 1 skipped, 2 clean");
}

}  // namespace
}  // namespace korbelt::test
