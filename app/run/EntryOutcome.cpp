#include "run/EntryOutcome.h"

#include <numeric>

namespace korbelt {
namespace {

std::string Counted(std::int64_t count, const std::string& thing) {
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string KeptAs(const FileReport& report) {
    return "the original is kept as " + BaseName(report.name) + ".bak";
}

std::string Quoted(const std::string& path) {
    // Built by appending: GCC 12 warns of an overlap that cannot be in "'" + a temporary.
    std::string quoted = "'";
    quoted += BaseName(path);
    quoted += '\'';
    return quoted;
}

ChecksumReport::Verdict VerdictOf(const FileReport& report) {
    return report.checksums ? report.checksums->verdict : ChecksumReport::Verdict::None;
}

std::string RepairedNote(const FileReport& report) {
    const std::string kept = report.backupDropped ? "no backup kept" : KeptAs(report);
    const std::string removed = Counted(report.bytesRemoved, "byte") + " removed";
    if (VerdictOf(report) == ChecksumReport::Verdict::Verified) {
        return "Repaired and verified: " + removed + ", the repair matches " +
               Quoted(report.checksums->file) + "; " + kept;
    }
    return "Repaired: " + removed + "; " + kept;
}

// Damage the markers show outside the search range, and what else the pass removed.
std::string DamageLeftNote(const FileReport& report) {
    std::string note = "Left with damage";
    if (report.pattern && report.pattern->kind == PatternVerdict::Kind::Damage) {
        const PatternVerdict& verdict = *report.pattern;
        note += ": damage at " + std::to_string(verdict.distance) +
                " characters, outside the search range " + std::to_string(verdict.rangeStart) +
                "-" + std::to_string(verdict.rangeEnd) + "; the range " +
                std::to_string(verdict.distance) + "-" + std::to_string(verdict.distance + 1) +
                " would repair it";
    }
    if (report.bytesRemoved > 0) {
        note += "; " + Counted(report.bytesRemoved, "byte") + " removed, " + KeptAs(report);
    }
    return note;
}

std::string NotVerifiedNote(const FileReport& report) {
    std::string note = "Left with damage: does not match ";
    note += report.checksums ? Quoted(report.checksums->file) : "its checksums";
    if (report.checksums && report.checksums->slicesMatching && report.checksums->slicesWere) {
        note += "; " + std::to_string(*report.checksums->slicesMatching) + " of " +
                Counted(report.checksums->sliceCount, "slice") + " match, was " +
                std::to_string(*report.checksums->slicesWere);
    }
    return note;
}

std::string IntactNote(const FileReport& report) {
    return "Verified: matches " +
           (report.checksums ? Quoted(report.checksums->file) : std::string("its checksums")) +
           "; left as it is";
}

std::string IgnoredNote(const FileReport& report) {
    if (report.pattern && report.pattern->kind == PatternVerdict::Kind::NoPattern) {
        return "Skipped: its repeated bytes look like chance; left as it is";
    }
    return "Skipped: " + report.failure;
}

std::string FailedNote(const FileReport& report) {
    return "Failed: " + (report.failure.empty() ? std::string("not repaired") : report.failure);
}

// How a directory's count names the files of each mark.
const char* CountWord(OutcomeMark mark) {
    switch (mark) {
        case OutcomeMark::Clean:
            return "clean";
        case OutcomeMark::Verified:
            return "verified";
        case OutcomeMark::Repaired:
            return "repaired";
        case OutcomeMark::Skipped:
            return "skipped";
        case OutcomeMark::DamageLeft:
            return "left with damage";
        case OutcomeMark::Failed:
            return "failed";
    }
    return "";
}

}  // namespace

// The one place a file's outcome becomes a mark and its note.
Judged JudgeOf(const FileReport& report) {
    switch (report.outcome) {
        case FileOutcome::Repaired:
            return {VerdictOf(report) == ChecksumReport::Verdict::Verified ? OutcomeMark::Verified
                                                                           : OutcomeMark::Repaired,
                    RepairedNote(report)};
        case FileOutcome::Intact:
            return {OutcomeMark::Verified, IntactNote(report)};
        case FileOutcome::Clean:
            return {OutcomeMark::Clean, "Clean: nothing to remove; left as it is"};
        case FileOutcome::Ignored:
            return {OutcomeMark::Skipped, IgnoredNote(report)};
        case FileOutcome::DamageLeft:
            return {OutcomeMark::DamageLeft, DamageLeftNote(report)};
        case FileOutcome::AlreadyDone:
            return {OutcomeMark::Skipped, "Skipped: " + report.failure};
        case FileOutcome::Busy:
            return {OutcomeMark::Skipped, "Skipped: another Korbelt is repairing it"};
        case FileOutcome::NotVerified:
            return {OutcomeMark::DamageLeft, NotVerifiedNote(report)};
        case FileOutcome::NotRepaired:
            return {OutcomeMark::Failed, FailedNote(report)};
    }
    return {OutcomeMark::Failed, FailedNote(report)};
}

void EntryOutcome::Add(const FileReport& report) {
    ++counts_[static_cast<std::size_t>(JudgeOf(report).mark)];
    last_ = report;
}

int EntryOutcome::Files() const {
    return std::accumulate(counts_.begin(), counts_.end(), 0);
}

OutcomeMark EntryOutcome::Mark() const {
    for (int mark = kOutcomeMarks - 1; mark > 0; --mark) {
        if (counts_[static_cast<std::size_t>(mark)] > 0) {
            return static_cast<OutcomeMark>(mark);
        }
    }
    return OutcomeMark::Clean;
}

std::string EntryOutcome::Note() const {
    if (kind_ == Kind::File) {
        return last_ ? JudgeOf(*last_).note : std::string();
    }
    if (Files() == 0) {
        return "No files";
    }
    std::string note = Counted(Files(), "file") + ":";
    const char* separator = " ";
    for (int mark = kOutcomeMarks - 1; mark >= 0; --mark) {
        if (const int count = counts_[static_cast<std::size_t>(mark)]; count > 0) {
            note +=
                separator + std::to_string(count) + " " + CountWord(static_cast<OutcomeMark>(mark));
            separator = ", ";
        }
    }
    return note;
}

}  // namespace korbelt
