#include "engine/report/ReportText.h"

#include <algorithm>

#include "engine/RepairEngine.h"

namespace korbelt {
namespace {

// The line up to what became of the find.
std::string Seen(const Find& find, const NumberFormat& format) {
    std::string line = "  @" + format.Grouped(find.position) + " found ";
    switch (find.kind) {
        case FindKind::RepeatedByte:
            for (const std::uint8_t byte : find.shown) {
                line += NumberFormat::ThreeDigits(byte) + " ";
            }
            return line;
        case FindKind::Wrapper:
            return line + "Mime Wrapper";
        case FindKind::SlippedByte:
            return line + NumberFormat::ThreeDigits(find.shown.empty() ? 0 : find.shown[0]) +
                   " slipped in, by its slice";
        case FindKind::StructureByte:
            return line + NumberFormat::ThreeDigits(find.shown.empty() ? 0 : find.shown[0]) +
                   " slipped in, by the file's structure";
    }
    return line;
}

const char* Outcome(Reason reason) {
    switch (reason) {
        case Reason::Found:
            return " removed";
        case Reason::Declined:
            return " ignored";
        case Reason::SliceVerifiesWithout:
            return " ignored: its slice verifies without it";
        case Reason::SliceDoesNotVerify:
            return " ignored: its slice does not verify";
        case Reason::StructureFitsWithout:
            return " ignored: the file's structure fits without it";
        case Reason::CopyDropped:
            return " not removed";
    }
    return "";
}

}  // namespace

std::string FindLine(const Decision& decision, const NumberFormat& format, bool dryRun) {
    // Only a dry run has a find that is only to be removed; the window never makes one.
    if (dryRun && decision.reason == Reason::Found) {
        return Seen(decision.find, format) + " would be removed";
    }
    return Seen(decision.find, format) + Outcome(decision.reason);
}

std::string BytesLine(std::int64_t removed, std::int64_t read, std::int64_t written,
                      const NumberFormat& format, bool dryRun) {
    return "  " + NumberFormat::Plain(removed) +
           (dryRun ? " bytes would be removed, " : " bytes removed, ") + format.Grouped(read) +
           " bytes read, " + format.Grouped(written) +
           (dryRun ? " bytes would be written." : " bytes written.");
}

std::string RemovalsNotMadeLine(std::int64_t removals, const NumberFormat& format, bool dryRun) {
    const std::string count = " (" + format.Grouped(removals) + " in all): ";
    return dryRun ? "  none of the removals above would be made" + count +
                        "the copy would not be kept"
                  : "  none of the removals above was made" + count + "the copy was not kept";
}

std::string FindQuestion(const Find& find, const NumberFormat& format) {
    const char* what = find.kind == FindKind::RepeatedByte ? "Shall I remove the repeated byte?"
                       : find.kind == FindKind::Wrapper    ? "Shall I remove the Wrapper?"
                                                           : "Shall I remove the slipped-in byte?";
    return Seen(find, format) + RepairEngine::kCrLf + what;
}

}  // namespace korbelt

namespace korbelt {

std::string PatternLine(const PatternVerdict& verdict, std::int64_t removedRepeats,
                        PatternFate fate, const NumberFormat& format) {
    switch (verdict.kind) {
        case PatternVerdict::Kind::Undecided:
            return "";
        case PatternVerdict::Kind::NoPattern:
            if (removedRepeats == 0) {
                return "";
            }
            return "  no damage pattern: " + format.Grouped(removedRepeats) + " of " +
                   format.Grouped(verdict.markers) + " markers, as chance gives" +
                   (fate == PatternFate::LeftAlone  ? "; the file was left as it is"
                    : fate == PatternFate::Repaired ? "; removed all the same"
                                                    : "");
        case PatternVerdict::Kind::Damage:
            break;
    }
    const std::string d = NumberFormat::Plain(verdict.distance);
    std::string line = "  damage at " + d + " characters: " + format.Grouped(verdict.matching) +
                       " of " + format.Grouped(verdict.seen) + " markers, chance would give " +
                       format.Grouped(verdict.chance);
    int first = verdict.distance;
    int last = verdict.distance;
    for (const PatternVerdict::Distance& other : verdict.others) {
        line += "; and at " + NumberFormat::Plain(other.distance) + ": " +
                format.Grouped(other.matching) + " of " + format.Grouped(other.seen);
        first = std::min(first, other.distance);
        last = std::max(last, other.distance);
    }
    if (!verdict.InRange()) {
        // The range that repairs every distance named, and no more than it must.
        const bool one = verdict.others.empty();
        const int start = one ? first : std::min(first, std::max(verdict.rangeStart, 0));
        const int end = one ? last + 1 : std::max(last + 1, verdict.rangeEnd);
        line += "; outside the search range " + NumberFormat::Plain(verdict.rangeStart) + "-" +
                NumberFormat::Plain(verdict.rangeEnd) + ", the range " +
                NumberFormat::Plain(start) + "-" + NumberFormat::Plain(end) + " would repair it";
    }
    return line;
}

}  // namespace korbelt

namespace korbelt {
namespace {

std::string Regions(int count, const NumberFormat& format) {
    return format.Grouped(count) + (count == 1 ? " region " : " regions ");
}

std::string Slices(int count, const NumberFormat& format) {
    return format.Grouped(count) + (count == 1 ? " slice " : " slices ");
}

}  // namespace

std::string StructureLine(const StructureReport& structure, const NumberFormat& format) {
    std::string line = "  structure (" + structure.format + "): ";
    std::string parts;
    const auto add = [&](int count, const std::string& what) {
        if (count > 0) {
            parts += (parts.empty() ? "" : "; ") + Regions(count, format) + what;
        }
    };
    add(structure.repairedProven, "repaired, proven by " + structure.proof);
    add(structure.repairedConsistent, "repaired, consistent with " + structure.lengths);
    add(structure.leftProven, "left as found, proven by " + structure.proof);
    add(structure.leftConsistent, "left as found, consistent with " + structure.lengths);
    add(structure.noFit, "fit no choice of finds: the pattern decided there");
    add(structure.undecided, "fit several choices of finds alike: the pattern decided there");
    if (parts.empty()) {
        parts = "nothing to repair, consistent with " + structure.lengths;
    }
    line += parts;
    if (!structure.whole) {
        line += "; the rest of the file does not follow its structure: the pattern decided there";
    }
    return line;
}

std::string SliceLine(const SliceReport& slices, const NumberFormat& format) {
    std::string parts;
    const auto add = [&](int count, const std::string& what) {
        if (count > 0) {
            parts += (parts.empty() ? "" : "; ") + Slices(count, format) + what;
        }
    };
    add(slices.repaired - slices.structureChose, "repaired, proven by the par2 set");
    add(slices.structureChose, "repaired as the file's structure chose, proven by the par2 set");
    add(slices.left, "left as found, proven by the par2 set");
    add(slices.unproven, "fit no choice of finds: the pattern decided there");
    return "  slices (PAR 2.0): " + parts;
}

}  // namespace korbelt
