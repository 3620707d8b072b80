#pragma once

#include <cstdint>
#include <vector>

#include "ports/FileSystem.h"
#include "structure/EvidenceRegion.h"
#include "structure/RegionPlanner.h"
#include "structure/StructureWalker.h"
#include "verify/StretchPlanner.h"

namespace korbelt {

// A find of the scan as the region planner's candidate: a repeated byte, or a wrapper with
// both its possible ends, read from the input (a read that fails sets error and leaves the
// wrapper the end the scan gave it).
Candidate CandidateOfFind(InputFile& input, const Removal& find, std::error_code& error);

// What a file's structure decided of its regions, counted as they are planned. A region
// counts where there was something to decide: extra bytes, or finds of the scan.
struct RegionTally {
    int repairedProven = 0;      // bytes removed, and the region passes its check
    int repairedConsistent = 0;  // bytes removed, and the region has its length (no check)
    int leftProven = 0;          // finds left in place: the region passes its check as it is
    int leftConsistent = 0;      // finds left in place: the region has its length as it is
    int noFit = 0;               // no choice of finds fits: the pattern decided there
    int undecided = 0;           // choices that make other bytes pass its check alike
    bool operator==(const RegionTally&) const = default;
};

// Repairs a file by the regions its structure delimits, in file order: each region, once the
// scan has passed it, is planned from the finds that start in it, and the finds between two
// regions, which no structure covers, go as the pattern says. A MIME wrapper's removal may
// end at either of its two possible ends there, whichever the region's length and check
// prove. The regions come from a walk of the file before the pass.
class RegionGuide : public StretchPlanner {
  public:
    // How far past a region's end the scan must have gone, so that every find starting in the
    // region is known with its length (a wrapper's is known a record later).
    static constexpr std::int64_t kMargin = std::int64_t{64} << 10;

    // The scan looks for a repeated byte rangeStart to rangeEnd (exclusive) after a marker.
    RegionGuide(InputFile& input, std::int64_t length, std::vector<EvidenceRegion> regions,
                StopPredicate stop, int rangeStart, int rangeEnd);

    std::int64_t NeededUpTo() const override;
    bool Done() const override;
    SlicePlan PlanNext(const std::vector<Removal>& finds) override;
    std::vector<SlicePlan::Ignored> Rest(const std::vector<Removal>& finds) override;
    std::size_t Planned() const override { return nextFind_; }
    void Forget(std::size_t count) override { nextFind_ -= std::min(count, nextFind_); }
    std::error_code ReadError() const override;

    const RegionTally& Tally() const { return tally_; }
    // Before this offset only the scan's finds (or other pairs within a marker's reach of
    // them) can be removed: the regions still to plan there have no check to choose other
    // bytes by.
    std::int64_t OnlyFindsBefore();

  private:
    void Count(const RegionPlan& plan, bool hadFinds);

    InputFile& input_;
    std::int64_t length_;
    std::vector<EvidenceRegion> regions_;
    RegionPlanner planner_;
    std::size_t next_ = 0;      // the next region
    std::size_t nextChecked_ = 0;  // the next region with a check, from next_ on
    std::int64_t at_ = 0;       // where the next stretch starts: the end of the last region
    std::size_t nextFind_ = 0;  // the first find not yet planned
    std::error_code readError_;
    RegionTally tally_;
    int rangeStart_;
    int rangeEnd_;
};

}  // namespace korbelt
