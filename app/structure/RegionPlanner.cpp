#include "structure/RegionPlanner.h"

#include <algorithm>
#include <numeric>

#include "verify/Choices.h"
#include "verify/SliceSearch.h"

namespace korbelt {
namespace {

// The checks of one region's choices cost at most this many bytes in all, and at least two
// choices are checked whatever the region's size: every choice of a few among dozens of
// candidates in a region of a few MiB.
constexpr std::int64_t kCheckWork = std::int64_t{64} << 20;
constexpr std::int64_t kMaxChecks = 4096;
// Choices looked at (each costing its count of candidates) for one region, checked or not.
constexpr std::int64_t kMaxSteps = std::int64_t{1} << 22;
// Other choices that fit a region without a check kept for the verdict.
constexpr std::size_t kMaxAlternatives = 8;
// A region up to this size is read whole to try every one-byte removal in one pass.
constexpr std::int64_t kMaxInMemory = std::int64_t{16} << 20;
constexpr std::size_t kChunk = std::size_t{1} << 20;

// The next of the lengths each chosen candidate may take; false after the last.
bool NextLengths(std::vector<std::size_t>& which, const std::vector<std::size_t>& chosen,
                 const std::vector<Candidate>& candidates) {
    for (std::size_t i = which.size(); i-- > 0;) {
        if (++which[i] < candidates[chosen[i]].lengths.size()) {
            return true;
        }
        which[i] = 0;
    }
    return false;
}

std::vector<Removal> LeftOf(const std::vector<Candidate>& candidates,
                            const std::vector<Removal>& removed) {
    std::vector<Removal> left;
    for (const Candidate& candidate : candidates) {
        const bool taken = std::any_of(removed.begin(), removed.end(), [&](const Removal& r) {
            return r.offset == candidate.offset;
        });
        if (!taken) {
            left.push_back({candidate.offset, candidate.lengths.front()});
        }
    }
    return left;
}

}  // namespace

Candidate RepeatedByteCandidate(std::int64_t offset) { return Candidate{offset, {1}}; }

Candidate WrapperCandidate(std::int64_t offset, std::int64_t length, std::int64_t secondCr) {
    Candidate candidate{offset, {length}};
    for (const std::int64_t resume : {secondCr + 4, secondCr + 5}) {
        if (resume - offset != length && resume > offset) {
            candidate.lengths.push_back(resume - offset);
        }
    }
    return candidate;
}

RegionPlanner::RegionPlanner(InputFile& input, std::int64_t length, StopPredicate stop)
    : input_(input), length_(length), stop_(std::move(stop)) {}

std::vector<RegionPlan> RegionPlanner::PlanAll(const std::vector<EvidenceRegion>& regions,
                                               const std::vector<Candidate>& candidates) {
    std::vector<RegionPlan> plans;
    std::size_t next = 0;
    for (const EvidenceRegion& region : regions) {
        while (next < candidates.size() && candidates[next].offset < region.start) {
            ++next;
        }
        std::vector<Candidate> inside;
        for (std::size_t i = next; i < candidates.size() && candidates[i].offset < region.end;
             ++i) {
            inside.push_back(candidates[i]);
        }
        plans.push_back(Plan(region, inside));
        if (stop_ && stop_()) {
            break;
        }
    }
    return plans;
}

RegionPlan RegionPlanner::Plan(const EvidenceRegion& region,
                               const std::vector<Candidate>& candidates) {
    RegionPlan plan;
    plan.region = region;
    checkWork_ = 0;
    if (region.Excess() == 0 && candidates.empty()) {
        // Nothing to decide: the region fits, and its check is not worth its cost.
        plan.standing = RegionStanding::Consistent;
    } else if (region.Excess() >= 0 && region.start >= 0 && region.end <= length_) {
        if (!TryEveryByte(region, candidates, plan) && !TryParts(region, candidates, plan)) {
            TryChoices(region, candidates, plan);
        }
    }
    if (plan.standing != RegionStanding::NoFit) {
        plan.left = LeftOf(candidates, plan.removed);
    }
    return plan;
}

bool RegionPlanner::TryEveryByte(const EvidenceRegion& region,
                                 const std::vector<Candidate>& candidates, RegionPlan& plan) {
    if (!region.check || !region.check->PlainCrc32() || region.Excess() != 1 ||
        region.Span() > kMaxInMemory) {
        return false;
    }
    const auto span = static_cast<std::size_t>(region.Span());
    buffer_.resize(std::max(span, buffer_.size()));
    std::error_code error;
    if (input_.ReadAt(region.start, buffer_.data(), span, error) != span || error) {
        readError_ = error ? error : std::make_error_code(std::errc::io_error);
        plan.cutShort = true;
        return true;
    }
    const std::vector<std::size_t> matching =
        RemovalsMatchingCrc(buffer_.data(), span, region.length, *region.check->PlainCrc32());
    bool fitting = false;
    for (const Candidate& candidate : candidates) {
        if (std::find(candidate.lengths.begin(), candidate.lengths.end(), 1) ==
            candidate.lengths.end()) {
            continue;
        }
        fitting = true;
        const auto at = static_cast<std::size_t>(candidate.offset - region.start);
        if (std::binary_search(matching.begin(), matching.end(), at)) {
            plan.standing = RegionStanding::Proven;
            plan.removed = {{candidate.offset, 1}};
            return true;
        }
    }
    plan.checkFailed = fitting;
    return true;
}

// The choices the region's parts allow, each part's fitting its length, checked as a whole:
// a Cluster's blocks, say, leave the finds of the blocks that fit as they are. Those parts
// that cannot be told apart, or a check no such choice passes, leave the choice to all of
// the region's candidates.
bool RegionPlanner::TryParts(const EvidenceRegion& region, const std::vector<Candidate>& candidates,
                             RegionPlan& plan) {
    if (!region.check || region.parts.empty() || region.Excess() <= 0) {
        return false;
    }
    std::vector<std::vector<std::vector<Removal>>> choices;
    std::int64_t placed = 0;
    for (const EvidenceRegion& part : region.parts) {
        if (part.Excess() == 0) {
            continue;
        }
        std::vector<Candidate> inside;
        for (const Candidate& candidate : candidates) {
            if (candidate.offset >= part.start && candidate.offset < part.end) {
                inside.push_back(candidate);
            }
        }
        RegionPlan fitted;
        fitted.region = part;
        if (part.Excess() > 0) {
            TryChoices(part, inside, fitted);
        }
        if (fitted.standing != RegionStanding::Consistent || fitted.cutShort) {
            return false;
        }
        choices.push_back({fitted.removed});
        choices.back().insert(choices.back().end(), fitted.alternatives.begin(),
                              fitted.alternatives.end());
        placed += part.Excess();
    }
    if (placed != region.Excess()) {
        return false;
    }
    std::int64_t checksLeft = std::clamp<std::int64_t>(
        kCheckWork / std::max<std::int64_t>(region.length, 1), 2, kMaxChecks);
    std::vector<std::size_t> pick(choices.size(), 0);
    for (;;) {
        std::vector<Removal> removed;
        for (std::size_t i = 0; i < choices.size(); ++i) {
            removed.insert(removed.end(), choices[i][pick[i]].begin(), choices[i][pick[i]].end());
        }
        if (checksLeft-- <= 0) {
            return false;
        }
        if (Passes(region, removed)) {
            plan.standing = RegionStanding::Proven;
            plan.removed = std::move(removed);
            return true;
        }
        if (readError_) {
            return true;
        }
        std::size_t i = 0;
        for (; i < pick.size(); ++i) {
            if (++pick[i] < choices[i].size()) {
                break;
            }
            pick[i] = 0;
        }
        if (i == pick.size()) {
            return false;
        }
    }
}

namespace {

// The sizes of the choices among n, in the order they are tried: all, none, one fewer ...
std::vector<std::size_t> SizesInOrder(std::size_t n) {
    std::vector<std::size_t> sizes = {n};
    if (n > 0) {
        sizes.push_back(0);
    }
    for (std::size_t m = n; m-- > 1;) {
        sizes.push_back(m);
    }
    return sizes;
}

}  // namespace

// All kept, none, one fewer, two fewer ...: the choices that take out as many bytes as the
// region has too many, checked where it has a check. Repeated bytes take one byte each, so
// of them only as many as the wrappers chosen leave over are chosen: the choices that cannot
// fit are never looked at, however many candidates there are.
void RegionPlanner::TryChoices(const EvidenceRegion& region,
                               const std::vector<Candidate>& candidates, RegionPlan& plan) {
    std::vector<std::size_t> bytes;
    std::vector<std::size_t> others;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        (candidates[i].lengths == std::vector<std::int64_t>{1} ? bytes : others).push_back(i);
    }
    const std::int64_t excess = region.Excess();
    std::int64_t checksLeft = std::clamp<std::int64_t>(
        kCheckWork / std::max<std::int64_t>(region.length, 1), 2, kMaxChecks);
    std::int64_t steps = 0;
    std::vector<std::vector<Removal>> fits;
    // One choice: false when the search is over (found, or out of work).
    const auto tryChoice = [&](std::vector<Removal> removed) {
        std::sort(removed.begin(), removed.end(),
                  [](const Removal& a, const Removal& b) { return a.offset < b.offset; });
        for (std::size_t i = 1; i < removed.size(); ++i) {
            if (removed[i - 1].offset + removed[i - 1].length > removed[i].offset) {
                return true;
            }
        }
        if (!removed.empty() && removed.back().offset + removed.back().length > region.end) {
            return true;
        }
        if (!region.check) {
            fits.push_back(std::move(removed));
            return fits.size() <= kMaxAlternatives;
        }
        if (checksLeft-- <= 0) {
            plan.cutShort = true;
            return false;
        }
        plan.checkFailed = true;
        if (Passes(region, removed)) {
            plan.standing = RegionStanding::Proven;
            plan.checkFailed = false;
            plan.removed = std::move(removed);
            return false;
        }
        return !readError_;
    };
    for (const std::size_t mo : SizesInOrder(others.size())) {
        std::vector<std::size_t> chosen(mo);
        std::iota(chosen.begin(), chosen.end(), std::size_t{0});
        do {
            std::vector<std::size_t> picked;
            for (const std::size_t i : chosen) {
                picked.push_back(others[i]);
            }
            std::vector<std::size_t> which(mo, 0);
            do {
                std::vector<Removal> base;
                std::int64_t taken = 0;
                for (std::size_t i = 0; i < mo; ++i) {
                    base.push_back({candidates[picked[i]].offset,
                                    candidates[picked[i]].lengths[which[i]]});
                    taken += base.back().length;
                }
                const std::int64_t rest = excess - taken;
                if (rest < 0 || rest > static_cast<std::int64_t>(bytes.size())) {
                    if ((steps += 1) > kMaxSteps) {
                        plan.cutShort = true;
                        goto done;
                    }
                    continue;
                }
                const auto k = static_cast<std::size_t>(rest);
                std::vector<std::size_t> ones(k);
                std::iota(ones.begin(), ones.end(), std::size_t{0});
                do {
                    steps += static_cast<std::int64_t>(k + mo) + 1;
                    if (steps > kMaxSteps || (stop_ && steps % 4096 == 0 && stop_())) {
                        plan.cutShort = true;
                        goto done;
                    }
                    std::vector<Removal> removed = base;
                    for (const std::size_t i : ones) {
                        removed.push_back({candidates[bytes[i]].offset, 1});
                    }
                    if (!tryChoice(std::move(removed))) {
                        goto done;
                    }
                } while (k > 0 && NextChoice(ones, bytes.size()));
            } while (NextLengths(which, picked, candidates));
        } while (mo > 0 && NextChoice(chosen, others.size()));
    }
done:
    if (plan.standing != RegionStanding::Proven && !fits.empty()) {
        if (fits.size() > kMaxAlternatives) {
            fits.resize(kMaxAlternatives + 1);
            plan.cutShort = true;
        }
        plan.standing = RegionStanding::Consistent;
        plan.removed = fits.front();
        plan.alternatives.assign(fits.begin() + 1, fits.end());
    }
}

// Whether the region's bytes with these removals left out pass its check; read a piece at
// a time, so a region of any size costs the same memory.
bool RegionPlanner::Passes(const EvidenceRegion& region, const std::vector<Removal>& removed) {
    const std::unique_ptr<CheckRun> run = region.check->Start();
    // A piece of the region at a time, no larger than it needs.
    buffer_.resize(std::max(buffer_.size(),
                            static_cast<std::size_t>(std::min<std::int64_t>(kChunk, region.Span()))));
    std::size_t next = 0;
    std::int64_t kept = 0;
    for (std::int64_t at = region.start; at < region.end;) {
        if (stop_ && stop_()) {
            return false;
        }
        const auto count = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(buffer_.size()), region.end - at));
        std::error_code error;
        if (input_.ReadAt(at, buffer_.data(), count, error) != count || error) {
            readError_ = error ? error : std::make_error_code(std::errc::io_error);
            return false;
        }
        checkWork_ += static_cast<std::int64_t>(count);
        // The kept stretches of this piece, between the removals that fall in it.
        std::int64_t from = at;
        const std::int64_t pieceEnd = at + static_cast<std::int64_t>(count);
        while (from < pieceEnd) {
            while (next < removed.size() && removed[next].offset + removed[next].length <= from) {
                ++next;
            }
            std::int64_t to = pieceEnd;
            if (next < removed.size() && removed[next].offset <= from) {
                from = std::min(pieceEnd, removed[next].offset + removed[next].length);
                continue;
            }
            if (next < removed.size()) {
                to = std::min(to, removed[next].offset);
            }
            run->Add(buffer_.data() + (from - at), static_cast<std::size_t>(to - from));
            kept += to - from;
            from = to;
        }
        at = pieceEnd;
    }
    return kept == region.length && run->Passes();
}

}  // namespace korbelt
