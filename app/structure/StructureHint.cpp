#include "structure/StructureHint.h"

#include <algorithm>

#include "structure/PieceWalk.h"
#include "structure/RegionGuide.h"
#include "structure/SplitPieces.h"

namespace korbelt {

StructureHint::StructureHint(FileSystem& fs, const Walkers& walkers, std::string name,
                             InputFile& input, std::int64_t length, StopPredicate stop,
                             int rangeStart, int rangeEnd)
    : fs_(fs),
      walkers_(walkers),
      name_(std::move(name)),
      input_(input),
      length_(length),
      stop_(stop),
      planner_(input, length, std::move(stop)),
      rangeStart_(rangeStart),
      rangeEnd_(rangeEnd) {}

std::error_code StructureHint::ReadError() const {
    return readError_ ? readError_ : planner_.ReadError();
}

std::vector<Removal> StructureHint::Within(std::int64_t start, std::int64_t end,
                                           const std::vector<Removal>& finds,
                                           std::int64_t known) {
    if (!regions_) {
        regions_.emplace();
        // A piece of a split file is walked with its set, as the part of the whole it is.
        const std::vector<Piece> others = PiecesBeside(fs_, name_);
        std::optional<PieceEvidence> piece =
            others.empty() ? std::nullopt
                           : WalkAcrossPieces(fs_, walkers_, name_, others, input_, length_, stop_);
        if (piece) {
            regions_ = std::move(piece->regions);
        } else if (const StructureWalker* walker = walkers_.For(input_, length_, name_)) {
            WalkEnd how = WalkEnd::Whole;
            regions_ = WalkRegions(*walker, input_, length_, stop_, &how);
            if (how == WalkEnd::ReadFailed && !readError_) {
                readError_ = std::make_error_code(std::errc::io_error);
            }
        }
    }
    std::vector<Removal> removed;
    // The first region that ends in the slice or after it, and may have begun before it.
    const auto first = std::lower_bound(
        regions_->begin(), regions_->end(), start,
        [](const EvidenceRegion& region, std::int64_t at) { return region.end <= at; });
    for (auto region = first; region != regions_->end() && region->start < end; ++region) {
        if (region->end > known || region->end > length_) {
            break;  // the scan's finds are not all known there
        }
        std::vector<Candidate> candidates;
        for (const Removal& find : finds) {
            if (find.offset >= region->start && find.offset < region->end) {
                candidates.push_back(CandidateOfFind(input_, find, readError_));
            }
        }
        if (region->Excess() == 0 && candidates.empty()) {
            continue;
        }
        const RegionPlan plan = planner_.PlanWithPairs(*region, candidates, rangeStart_, rangeEnd_);
        if (plan.standing != RegionStanding::NoFit) {
            removed.insert(removed.end(), plan.removed.begin(), plan.removed.end());
        }
    }
    std::sort(removed.begin(), removed.end(),
              [](const Removal& a, const Removal& b) { return a.offset < b.offset; });
    return removed;
}

}  // namespace korbelt
