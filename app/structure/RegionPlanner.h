#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <system_error>
#include <vector>

#include "ports/FileSystem.h"
#include "structure/EvidenceRegion.h"
#include "structure/StructureWalker.h"
#include "verify/GuidedPlan.h"
#include "verify/MarkerPairs.h"

namespace korbelt {

// A removal the scan's finds propose: where it starts, and how many bytes it may take out,
// the scan's own count first. A repeated byte takes one; a MIME wrapper ends two or three
// bytes after the CR of its second CR LF, the scan's choice by the byte there, the other
// possible all the same.
struct Candidate {
    std::int64_t offset = 0;
    std::vector<std::int64_t> lengths{1};
};

Candidate RepeatedByteCandidate(std::int64_t offset);
// A wrapper whose removal starts at offset and, as the scan decided, is length bytes long;
// secondCr is where the CR of the CR LF pair that ends its header lines lies.
Candidate WrapperCandidate(std::int64_t offset, std::int64_t length, std::int64_t secondCr);

// What a region's evidence decided of the candidates in it.
enum class RegionStanding {
    Proven,      // the removals chosen give the region its length and pass its check
    Consistent,  // they give it its length; it has no check (or, with no candidates, nothing
                 // to check), and others in alternatives may give it too
    NoFit,       // no choice tried gives it its length (and passes its check): plain decisions
};

struct RegionPlan {
    EvidenceRegion region;
    RegionStanding standing = RegionStanding::NoFit;
    std::vector<Removal> removed;  // the choice, in file order
    std::vector<Removal> left;     // the candidates of the region it leaves in the file
    // Consistent: other choices that fit as well (a few), for the markers' verdict to decide.
    std::vector<std::vector<Removal>> alternatives;
    // NoFit: some choices gave the region its length, and none passed its check.
    bool checkFailed = false;
    // NoFit: choices that make different bytes pass its check alike, which it cannot tell
    // apart.
    bool ambiguous = false;
    // The work allowed for the region ran out, or the stop predicate said so, before every
    // choice was tried.
    bool cutShort = false;
    // Proven by a choice among the markers' every pair (PlanByPattern), which need not be
    // the scan's finds.
    bool fromPairs = false;
};

// Plans the removals of a file region by region from its structure's evidence: within each,
// the choices of its candidates are tried all kept first, then none, then one fewer, two
// fewer ..., those that give it its length checked, within a fixed amount of work a region.
// A region whose check is a plain CRC-32 and that is one byte too long has every one-byte
// removal tried in a single pass over it.
class RegionPlanner {
  public:
    RegionPlanner(InputFile& input, std::int64_t length, StopPredicate stop);

    // candidates: those whose removal starts in the region, in file order.
    RegionPlan Plan(const EvidenceRegion& region, const std::vector<Candidate>& candidates);
    // Every region (in file order) with the candidates that start in it.
    std::vector<RegionPlan> PlanAll(const std::vector<EvidenceRegion>& regions,
                                    const std::vector<Candidate>& candidates);
    // Every region as the repair pass plans it (PlanWithPairs).
    std::vector<RegionPlan> PlanAllWithPairs(const std::vector<EvidenceRegion>& regions,
                                             const std::vector<Candidate>& candidates,
                                             int rangeStart, int rangeEnd);
    // A region with a check that no choice of the scan's candidates passes, planned again
    // from every pair its markers have at a distance from rangeStart to rangeEnd (exclusive):
    // damage repeats a byte at one distance after each marker it hits, while the scan keeps one
    // pair a marker, which chance may have put later in its reach. Tried: one pair where the
    // region is one byte too long; else, distance by distance, the pairs at it with the
    // wrappers among the candidates; where the region's parts have lengths of their own, by
    // each part's choices, a part with none among its finds choosing among its every pair of
    // equal bytes. Proven, or NoFit; a removal may then be a pair of no marker.
    RegionPlan PlanByPattern(const EvidenceRegion& region, const std::vector<Candidate>& candidates,
                             int rangeStart, int rangeEnd);
    // The plan the repair pass makes of a region: Plan, and where the region has a check
    // that no choice of the candidates passes, PlanByPattern, taken where it proves one.
    RegionPlan PlanWithPairs(const EvidenceRegion& region, const std::vector<Candidate>& candidates,
                             int rangeStart, int rangeEnd);
    std::error_code ReadError() const { return readError_; }

  private:
    std::vector<RegionPlan> PlanEach(
        const std::vector<EvidenceRegion>& regions, const std::vector<Candidate>& candidates,
        const std::function<RegionPlan(const EvidenceRegion&, const std::vector<Candidate>&)>&
            plan);
    std::vector<MarkerPair> PairsOf(const EvidenceRegion& region, int rangeStart, int rangeEnd);
    std::vector<Candidate> WithEveryPair(const EvidenceRegion& part,
                                         std::vector<Candidate> candidates);
    std::optional<std::uint32_t> CrcWithout(const EvidenceRegion& region,
                                            const std::vector<Removal>& removed);
    bool SolveParts(const EvidenceRegion& region, const std::vector<Candidate>& candidates,
                    const std::vector<MarkerPair>& pairs,
                    const std::function<bool(std::vector<Removal>)>& passes, RegionPlan& plan);
    static RegionPlan Settled(RegionPlan plan);
    bool IsRival(const EvidenceRegion& region, const std::vector<Removal>& chosen,
                 std::vector<Removal> other);
    bool MeetOnPairs(const EvidenceRegion& region, const std::vector<Candidate>& candidates,
                     const std::vector<MarkerPair>& pairs, std::int64_t repeats,
                     const std::function<bool(std::vector<Removal>)>& passes, RegionPlan& plan);
    void TryMarkers(const std::vector<MarkerPair>& pairs,
                    const std::vector<Removal>& wrappers, std::int64_t repeats,
                    const std::function<bool(std::vector<Removal>)>& passes, RegionPlan& plan);
    bool Passes(const EvidenceRegion& region, const std::vector<Removal>& removed);
    bool TryEveryByte(const EvidenceRegion& region, const std::vector<Candidate>& candidates,
                      RegionPlan& plan);
    bool TryParts(const EvidenceRegion& region, const std::vector<Candidate>& candidates,
                  RegionPlan& plan);
    void TryChoices(const EvidenceRegion& region, const std::vector<Candidate>& candidates,
                    RegionPlan& plan);
    void ChooseByLengthAlone(const EvidenceRegion& region,
                             const std::vector<Candidate>& candidates, RegionPlan& plan);
    bool Canonical(std::vector<Removal>& removed, std::int64_t floor);

    InputFile& input_;
    std::int64_t length_;
    StopPredicate stop_;
    std::error_code readError_;
    std::int64_t checkWork_ = 0;  // bytes checked for the region being planned
    std::vector<std::uint8_t> buffer_;
    // The bytes last read for a region, from heldStart_ on.
    const std::uint8_t* Held(std::int64_t at, std::size_t count);
    std::vector<std::uint8_t> held_;
    std::int64_t heldStart_ = 0;
};

}  // namespace korbelt
