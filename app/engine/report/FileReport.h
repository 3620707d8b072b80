#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ports/RunState.h"

namespace korbelt {

// What a pass finds: bytes the pattern, or a slice checksum, says were slipped in.
enum class FindKind {
    RepeatedByte,  // one of two equal bytes a short way after CR LF '-'
    Wrapper,       // a MIME wrapper: CR CR LF, dashes, header lines
    SlippedByte,   // a byte no pattern points at, found by its slice's checksums
    StructureByte, // a repeated byte no marker points at, found by the file's structure
};

struct Find {
    FindKind kind = FindKind::RepeatedByte;
    std::int64_t offset = 0;    // 0-based, of the first byte it removes
    std::int64_t length = 1;    // bytes it removes: a wrapper's reach to where the data resumes
    std::int64_t position = 0;  // 1-based, where it was seen: its marker's, or the byte's own
    std::vector<std::uint8_t> shown;  // the bytes its line lists
};

// Why a find was removed or left in the file.
enum class Reason {
    Found,                 // removed: the pattern (or the checksums, for a slipped byte) says so
    Declined,              // left: the user said No
    SliceVerifiesWithout,  // left: its slice matches its checksums without it
    SliceDoesNotVerify,    // left: no choice of finds made its slice match
    StructureFitsWithout,  // left: the file's structure (its region's length and check) fits
                           // without it
    CopyDropped,           // decided for removal, but the repaired copy was not kept
};

struct Decision {
    Find find;
    bool removed = false;
    Reason reason = Reason::Found;
};

// What the checksums said of a file, when any named it.
struct ChecksumReport {
    enum class Verdict {
        None,         // no entry could be checked: the checksum files could not be read
        Intact,       // the file matches, and was left as it is
        Verified,     // the repaired copy matches
        NotVerified,  // nothing matches
    };
    Verdict verdict = Verdict::None;
    std::string file;                            // the checksum file the verdict names first
    std::vector<std::string> disagreeing;        // checksum files whose entries do not match
    std::optional<std::int64_t> slicesMatching;  // of the copy, when slices were counted
    std::optional<std::int64_t> slicesWere;      // of the input
    std::int64_t sliceCount = 0;
    std::vector<std::string> unread;  // checksum files that could not be read
    int unchecked = 0;
};

// What the pairs after the file's CR LF '-' markers say, without any checksum.
struct PatternVerdict {
    enum class Kind {
        Undecided,  // too few markers to tell damage from chance
        NoPattern,  // pairs no more often at any distance than chance puts them
        Damage,     // far more pairs at one distance than chance gives: slipped-in bytes
    };
    // A distance damage shows at: the markers with a pair there of those it was seen after.
    struct Distance {
        int distance = 0;
        std::int64_t matching = 0;
        std::int64_t seen = 0;
    };
    Kind kind = Kind::Undecided;
    std::int64_t markers = 0;  // CR LF '-' markers counted
    // Damage: the distance from a marker's CR to the first byte of its pair, the markers with
    // that pair of those the distance was seen after, and what chance would give there.
    int distance = 0;
    std::int64_t matching = 0;
    std::int64_t seen = 0;
    std::int64_t chance = 0;
    // Damage at more than one distance: the others, in the order of the distance.
    std::vector<Distance> others;
    double score = 1;    // the chance of as many pairs, corrected for the distances tried
    int rangeStart = 0;  // the search range in force
    int rangeEnd = 0;
    bool InRange(int at) const { return at >= rangeStart && at < rangeEnd; }
    bool Flags(int at) const {
        if (kind != Kind::Damage) {
            return false;
        }
        for (const Distance& other : others) {
            if (other.distance == at) {
                return true;
            }
        }
        return at == distance;
    }
    // Whether the search range repairs every distance damage shows at.
    bool InRange() const {
        for (const Distance& other : others) {
            if (!InRange(other.distance)) {
                return false;
            }
        }
        return InRange(distance);
    }
};

// What a file's own structure decided, where its format is known and no checksum guided the
// repair: of the regions its headers delimit, those there was something to decide in.
struct StructureReport {
    std::string format;   // "ZIP"
    std::string proof;    // what proves a region whose check passes: "the archive's CRC-32s"
    std::string lengths;  // what gives a region its length: "the archive's headers"
    bool whole = true;    // the walk followed the structure to the end of the file
    int repairedProven = 0;
    int repairedConsistent = 0;
    int leftProven = 0;  // regions whose finds were left, the region as it is passing its check
    int leftConsistent = 0;
    int noFit = 0;  // regions no choice of finds fits, decided by the pattern
    int undecided = 0;  // regions several choices pass alike, decided by the pattern
};

// What a PAR 2.0 set's slices decided, where they guided the repair: of the slices there was
// something to decide in (finds, or a byte the checksums found).
struct SliceReport {
    int repaired = 0;        // bytes removed, and the slice matches its checksums
    int structureChose = 0;  // of those, removals the file's structure chose
    int left = 0;            // finds left in place, and the slice matches as it is
    int unproven = 0;        // no choice matches: the pattern decided there
    bool operator==(const SliceReport&) const = default;
};

// What came of one file, as data: the window and the command line show it as text, a
// script reads it from korbelt-cli --json.
struct FileReport {
    std::string name;
    FileOutcome outcome = FileOutcome::NotRepaired;
    // Every find with its decision; of a file with more finds than the engine holds
    // (FindLog::kHeld), only those not yet passed on to the report's sink, which come after
    // the ones passed on.
    std::vector<Decision> finds;
    std::int64_t findsPassedOn = 0;
    // The finds passed on that were decided for removal were not removed after all: the
    // copy was not kept (as Reason::CopyDropped says of each find still held).
    bool passedOnUndone = false;
    std::int64_t bytesRead = 0;
    std::int64_t bytesWritten = 0;  // to the repaired copy, kept or not
    std::int64_t bytesRemoved = 0;
    std::optional<ChecksumReport> checksums;
    std::optional<PatternVerdict> pattern;  // of a file whose bytes were scanned
    std::optional<StructureReport> structure;
    std::optional<SliceReport> slices;
    bool backupDropped = false;             // the repair was proven and NAME.bak deleted
    std::string copyName;  // where the copy was written, when NAME.$$$ was taken and kept
    std::string failure;  // what failed, as the file's status line says after its name
};

}  // namespace korbelt
