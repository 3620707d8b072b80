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
#include "ports/Failure.h"
#include "structure/RegionGuide.h"
#include "structure/StructureWalker.h"
#include "verify/BackgroundCheck.h"
#include "verify/EvidenceCheck.h"
#include "verify/GuidedPlan.h"
#include "verify/SliceProof.h"

namespace korbelt {

class HeldStartInput;
class ReadAheadInput;

// A file operation went wrong: what the file's status line says after the name, the warning
// that explains it, and whether the original is still under its own name.
inline Failure FileFailure(const std::string& line, const std::string& warning,
                           bool leftAsItWas = true) {
    return Failure(FailureKind::FileOperation, warning, line, leftAsItWas);
}

// "Unable to <action> '<name>'", then any further lines, then the system's reason: the shape
// of every warning about a file operation that failed.
inline Failure Unable(const std::string& what, const std::string& action,
                      const std::string& name, const std::string& reason,
                      const std::string& more = "", bool leftAsItWas = true) {
    return FileFailure(
        what, "Unable to " + action + " '" + name + "'" + more + RepairEngine::kCrLf + reason,
        leftAsItWas);
}

inline Failure Unable(const std::string& what, const std::string& action,
                      const std::string& name, const std::error_code& error,
                      const std::string& more = "", bool leftAsItWas = true) {
    return Unable(what, action, name, error.message(), more, leftAsItWas);
}

inline Failure InputChanged(const std::string& filename, const char* how = "changed") {
    return FileFailure("input file changed during processing",
                       "Input file '" + filename + "'" + RepairEngine::kCrLf + how +
                           " while it was being repaired; it was left as it is");
}

// What the end of a pass does with its copy, and what it says about the file.
struct RepairEngine::CopyFate {
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
    HeldStartInput* start = nullptr;   // the input under the window, its first bytes in memory
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
    Guide(InputFile& input, std::int64_t length, const Expectation& expected,
          std::pair<int, int> reach)
        : proof(std::make_unique<SliceProof>(expected)) {
        auto guided = std::make_unique<GuidedPlanner>(input, length, expected, reach);
        slices = guided.get();
        planner = std::move(guided);
    }
    // By the file's structure, which removes none but the scan's finds.
    Guide(std::unique_ptr<RegionGuide> guide, EvidenceNames names, WalkEnd end,
          std::unique_ptr<InputFile> reader)
        : reader(std::move(reader)), regions(guide.get()), planner(std::move(guide)),
          names(names), walkEnd(end) {}

    std::unique_ptr<InputFile> reader;  // the input as the structure's planner reads it
    RegionGuide* regions = nullptr;     // the planner, when the structure guides
    GuidedPlanner* slices = nullptr;    // the planner, when slice checksums guide
    std::unique_ptr<StretchPlanner> planner;
    std::unique_ptr<SliceProof> proof;  // none when the structure guides
    EvidenceNames names{};  // of the structure, when it guides
    WalkEnd walkEnd = WalkEnd::Whole;
    std::vector<Find> finds;
    std::vector<Removal> removals;  // what each find would remove
    std::int64_t written = 0;       // the input is written to the copy up to here
    std::vector<std::uint8_t> unheld;  // bytes the read window no longer holds, read again
    bool declined = false;             // a removal the evidence made was declined
    SliceReport sliceTally;            // by slice checksums: what they decided
};

// Where the scan's finds go; the record loop hands each find, each wrapper's end and each
// record's end to the route of the pass and asks it nothing else.
class RepairEngine::FindRoute {
  public:
    virtual ~FindRoute() = default;
    // A find of the scan: whether the record leaves it out now.
    virtual bool Found(const Find& find) = 0;
    // A wrapper the record loop cut ends before resume (0-based).
    virtual void WrapperEnds(std::int64_t resume) = 0;
    // After each record, and once at the end: false when the user stops the file.
    virtual bool Advance(Pass& pass, bool atEnd) = 0;
    // Whether the records' kept bytes are written as they are scanned.
    virtual bool RecordsWritten() const = 0;
    // Whether the copy so far differs from the input read so far.
    virtual bool CopyChanged() const = 0;
};

// Each find decided as it comes: removed as the pattern says, or as the user answers; the
// copy written record by record.
class RepairEngine::DecidedRoute : public FindRoute {
  public:
    explicit DecidedRoute(RepairEngine& engine) : engine_(engine) {}
    bool Found(const Find& find) override {
        const Decision decision = engine_.Decide(find);
        return engine_.Tell(decision, decision.removed && find.kind == FindKind::Wrapper);
    }
    void WrapperEnds(std::int64_t resume) override {
        if (Find* wrapper = engine_.finds_.OpenWrapper()) {
            wrapper->length = resume - wrapper->offset;
            engine_.finds_.WrapperEnded();
        }
    }
    bool Advance(Pass&, bool) override { return true; }
    bool RecordsWritten() const override { return true; }
    bool CopyChanged() const override { return engine_.readpos != engine_.writepos; }

  private:
    RepairEngine& engine_;
};

// Each find gathered for the guide's evidence to decide a stretch at a time; the scan goes on
// as the pattern alone would have it, and the guide writes the copy behind it.
class RepairEngine::GuidedRoute : public FindRoute {
  public:
    explicit GuidedRoute(RepairEngine& engine) : engine_(engine) {}
    bool Found(const Find& find) override {
        Guide& guide = *engine_.guide_;
        guide.finds.push_back(find);
        guide.removals.push_back({find.offset, find.length});
        return true;
    }
    void WrapperEnds(std::int64_t resume) override {
        Guide& guide = *engine_.guide_;
        if (!guide.finds.empty() && guide.finds.back().kind == FindKind::Wrapper) {
            guide.finds.back().length = resume - guide.finds.back().offset;
            guide.removals.back().length = guide.finds.back().length;
        }
    }
    bool Advance(Pass& pass, bool atEnd) override { return engine_.AdvanceGuide(pass, atEnd); }
    bool RecordsWritten() const override { return false; }
    bool CopyChanged() const override {
        return engine_.guide_->written != engine_.writepos - 1;
    }

  private:
    RepairEngine& engine_;
};

}  // namespace korbelt
