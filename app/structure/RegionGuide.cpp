#include "structure/RegionGuide.h"

#include <algorithm>
#include <array>

namespace korbelt {

RegionGuide::RegionGuide(InputFile& input, std::int64_t length,
                         std::vector<EvidenceRegion> regions, StopPredicate stop,
                         int rangeStart, int rangeEnd)
    : input_(input), length_(length), regions_(std::move(regions)),
      planner_(input, length, std::move(stop)), rangeStart_(rangeStart), rangeEnd_(rangeEnd) {
    // A region the file cannot hold, or one that goes back over an earlier one, gives
    // nothing the pass can follow in order.
    std::int64_t end = 0;
    std::erase_if(regions_, [&](const EvidenceRegion& region) {
        const bool usable = region.start >= end && region.end > region.start &&
                            region.end <= length_;
        if (usable) {
            end = region.end;
        }
        return !usable;
    });
}

std::int64_t RegionGuide::NeededUpTo() const {
    return Done() ? length_ : std::min(length_, regions_[next_].end + kMargin);
}

bool RegionGuide::Done() const {
    return next_ >= regions_.size() || static_cast<bool>(ReadError());
}

std::int64_t RegionGuide::OnlyFindsBefore() {
    nextChecked_ = std::max(nextChecked_, next_);
    while (nextChecked_ < regions_.size() && !regions_[nextChecked_].check) {
        ++nextChecked_;
    }
    return nextChecked_ < regions_.size() ? regions_[nextChecked_].start : length_;
}

std::error_code RegionGuide::ReadError() const {
    return readError_ ? readError_ : planner_.ReadError();
}

// The scan removes a wrapper up to two bytes after the CR of the CR LF that closes its
// header lines, or three where a LF follows: both ends are candidates.
Candidate CandidateOfFind(InputFile& input, const Removal& find, std::error_code& error) {
    if (find.length == 1) {
        return RepeatedByteCandidate(find.offset);
    }
    const std::int64_t resume = find.offset + find.length;
    std::array<std::uint8_t, 5> last{};
    std::error_code readError;
    if (resume - 5 < find.offset ||
        input.ReadAt(resume - 5, last.data(), last.size(), readError) != last.size()) {
        if (readError) {
            error = readError;
        }
        return Candidate{find.offset, {find.length}};
    }
    const bool late = last[3] == '\n' && last[0] == '\r' && last[1] == '\n';
    return WrapperCandidate(find.offset, find.length, resume - (late ? 5 : 4));
}

SlicePlan RegionGuide::PlanNext(const std::vector<Removal>& finds) {
    const EvidenceRegion& region = regions_[next_];
    SlicePlan plan;
    plan.index = static_cast<std::int64_t>(next_++);
    plan.start = at_;
    plan.end = region.end;
    at_ = region.end;
    // Before the region, the pattern's finds stand as found.
    while (nextFind_ < finds.size() && finds[nextFind_].offset < region.start) {
        plan.removed.push_back(finds[nextFind_++]);
    }
    std::vector<Removal> inside;
    std::vector<Candidate> candidates;
    while (nextFind_ < finds.size() && finds[nextFind_].offset < region.end) {
        inside.push_back(finds[nextFind_]);
        candidates.push_back(CandidateOfFind(input_, finds[nextFind_++], readError_));
    }
    const RegionPlan planned = planner_.PlanWithPairs(region, candidates, rangeStart_, rangeEnd_);
    Count(planned, !inside.empty());
    if (planned.standing == RegionStanding::NoFit) {
        plan.removed.insert(plan.removed.end(), inside.begin(), inside.end());
        return plan;
    }
    plan.verified = planned.standing == RegionStanding::Proven;
    plan.removed.insert(plan.removed.end(), planned.removed.begin(), planned.removed.end());
    for (const Removal& left : planned.left) {
        plan.ignored.push_back({left, true});
    }
    return plan;
}

std::vector<SlicePlan::Ignored> RegionGuide::Rest(const std::vector<Removal>& finds) {
    std::vector<SlicePlan::Ignored> rest;
    for (std::size_t i = nextFind_; i < finds.size(); ++i) {
        rest.push_back({finds[i], false});
    }
    nextFind_ = finds.size();
    return rest;
}

void RegionGuide::Count(const RegionPlan& plan, bool hadFinds) {
    if (plan.region.Excess() == 0 && !hadFinds) {
        return;
    }
    const bool proven = plan.standing == RegionStanding::Proven;
    if (plan.standing == RegionStanding::NoFit) {
        ++(plan.ambiguous ? tally_.undecided : tally_.noFit);
    } else if (!plan.removed.empty()) {
        ++(proven ? tally_.repairedProven : tally_.repairedConsistent);
    } else {
        ++(proven ? tally_.leftProven : tally_.leftConsistent);
    }
}

}  // namespace korbelt
