#pragma once

// What one pass of the repair engine holds, shared by the files that make up the engine.
// Not for use outside app/engine.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <system_error>

#include "engine/RepairEngine.h"
#include "verify/BackgroundCheck.h"
#include "verify/EvidenceCheck.h"
#include "verify/GuidedPlan.h"
#include "verify/SliceProof.h"
#include "structure/RegionGuide.h"
#include "structure/StructureWalker.h"

namespace korbelt {

class ReadAheadInput;

// Something went wrong with a file operation: what the file's status line says after the
// name, and the warning that explains it.
struct PassFailure {
    std::string what;
    std::string warning;
    bool leftAsItWas = true;  // false once the original is no longer under its own name
};

// "Unable to <action> '<name>'", then any further lines, then the system's reason: the shape
// of every warning about a file operation that failed.
inline PassFailure Unable(const std::string& what, const std::string& action,
                          const std::string& name, const std::string& reason,
                          const std::string& more = "") {
    return {what, "Unable to " + action + " '" + name + "'" + more + RepairEngine::kCrLf + reason,
            true};
}

inline PassFailure Unable(const std::string& what, const std::string& action,
                          const std::string& name, const std::error_code& error,
                          const std::string& more = "") {
    return Unable(what, action, name, error.message(), more);
}

inline PassFailure InputChanged(const std::string& filename, const char* how = "changed") {
    return {"input file changed during processing",
            "Input file '" + filename + "'" + RepairEngine::kCrLf + how +
                " while it was being repaired; it was left as it is",
            true};
}

// What the end of a pass does with its copy, and what it says about the file.
struct RepairEngine::Verdict {
    bool keepCopy = true;  // the copy, if it differs from the input, takes the file's name
    std::string line;      // a last line for the file, if any
    FileOutcome outcome = FileOutcome::Clean;
};

struct RepairEngine::Pass {
    std::string filename;
    std::string tempname;
    std::string bakname;
    FileOutcome outcome = FileOutcome::NotRepaired;
    std::optional<FileIdentity> agreedBackup;  // the old backup the user agreed to delete
    std::string postedBackup;  // the checksum file naming NAME.bak, which is then kept
    int progressline = 0;
    std::unique_ptr<InputFile> input;  // open, and locked, until the pass ends
    FileIdentity identity;             // of the input when it was opened
    std::unique_ptr<InputFile> copy;   // NAME.$$$ held open and locked while it is written
    FileIdentity copyIdentity;
    std::int32_t outhandle = -1;
    bool tempCreated = false;
    bool copying = false;  // the records are being copied: readpos and writepos are this file's
    int lastpct = -1;
    int reccount = 0;
    ReadAheadInput* window = nullptr;  // the input, when it is read ahead
    // Kept bytes are written straight from the read-ahead window, one call per run of them.
    bool gathered = false;
    std::int64_t runStart = 0;  // 0-based input offset of the kept bytes not yet written
    std::int64_t runLength = 0;
    std::int64_t writebackFrom = 1;          // writepos when the disk was last asked to write
    Evidence evidence;                       // what the checksum files say the file must be
    std::unique_ptr<EvidenceCheck> written;  // the copy, checked as it is written
};

// A pass guided by evidence (slice checksums, or the file's own structure): the scan's finds
// not yet planned, in input order, as the pattern alone would remove them, the planner that
// decides them a stretch at a time, and how far the copy is written.
struct RepairEngine::Guide {
    // By slice checksums: every slice the copy is written as planned is proven by its MD5.
    Guide(InputFile& input, std::int64_t length, const Expectation& expected)
        : planner(std::make_unique<GuidedPlanner>(input, length, expected)),
          proof(std::make_unique<SliceProof>(expected)) {}
    // By the file's structure, which removes none but the scan's finds.
    Guide(std::unique_ptr<RegionGuide> guide, const StructureWalker& walker, WalkEnd end)
        : regions(guide.get()), planner(std::move(guide)), walker(&walker), walkEnd(end) {}

    RegionGuide* regions = nullptr;  // the planner, when the structure guides
    std::unique_ptr<StretchPlanner> planner;
    std::unique_ptr<SliceProof> proof;  // none when the structure guides
    const StructureWalker* walker = nullptr;
    WalkEnd walkEnd = WalkEnd::Whole;
    std::vector<Find> finds;
    std::vector<Removal> removals;  // what each find would remove
    std::int64_t written = 0;       // the input is written to the copy up to here
    std::vector<std::uint8_t> unheld;  // bytes the read window no longer holds, read again
    bool declined = false;             // a removal the evidence made was declined
};

}  // namespace korbelt
