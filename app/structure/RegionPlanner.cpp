#include "structure/RegionPlanner.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "verify/Choices.h"
#include "verify/CrcMeet.h"
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
// The bytes of a part that may be its header, which a block's ID and size fill.
constexpr std::int64_t kPartHeader = 13;
// The halves of a meeting in the middle hold at most 2^this combinations each.
constexpr double kMeetBits = 22;
// Choices of a checked region among more than 2^this are not told apart by its CRC-32: one
// of them passes by chance as often as not.
constexpr double kProofBits = 30;
constexpr std::size_t kChunk = std::size_t{1} << 20;

// The removals in file order; false where two of them overlap (two markers' pairs at one
// byte), which no repair can make.
bool SortedApart(std::vector<Removal>& removed) {
    std::sort(removed.begin(), removed.end(),
              [](const Removal& a, const Removal& b) { return a.offset < b.offset; });
    for (std::size_t i = 1; i < removed.size(); ++i) {
        if (removed[i - 1].offset + removed[i - 1].length > removed[i].offset) {
            return false;
        }
    }
    return true;
}

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

// Every choice of the wrappers among the candidates (their indexes in wrappers), each with
// one of its ends, by the numbers of them chosen in the order of sizes: visit gets the
// wrappers' removals and the bytes they take out, and ends the walk by returning false.
template <typename Visit>
void ForEachWrapperChoice(const std::vector<Candidate>& candidates,
                          const std::vector<std::size_t>& wrappers,
                          const std::vector<std::size_t>& sizes, Visit visit) {
    for (const std::size_t mo : sizes) {
        std::vector<std::size_t> chosen(mo);
        std::iota(chosen.begin(), chosen.end(), std::size_t{0});
        do {
            std::vector<std::size_t> picked;
            for (const std::size_t i : chosen) {
                picked.push_back(wrappers[i]);
            }
            std::vector<std::size_t> which(mo, 0);
            do {
                std::vector<Removal> removed;
                std::int64_t taken = 0;
                for (std::size_t i = 0; i < mo; ++i) {
                    removed.push_back(
                        {candidates[picked[i]].offset, candidates[picked[i]].lengths[which[i]]});
                    taken += removed.back().length;
                }
                if (!visit(std::move(removed), taken)) {
                    return;
                }
            } while (NextLengths(which, picked, candidates));
        } while (mo > 0 && NextChoice(chosen, wrappers.size()));
    }
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
    return PlanEach(regions, candidates, [this](const EvidenceRegion& region, const auto& inside) {
        return Plan(region, inside);
    });
}

std::vector<RegionPlan> RegionPlanner::PlanAllWithPairs(const std::vector<EvidenceRegion>& regions,
                                                        const std::vector<Candidate>& candidates,
                                                        int rangeStart, int rangeEnd) {
    return PlanEach(regions, candidates, [&](const EvidenceRegion& region, const auto& inside) {
        return PlanWithPairs(region, inside, rangeStart, rangeEnd);
    });
}

std::vector<RegionPlan> RegionPlanner::PlanEach(
    const std::vector<EvidenceRegion>& regions, const std::vector<Candidate>& candidates,
    const std::function<RegionPlan(const EvidenceRegion&, const std::vector<Candidate>&)>& plan) {
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
        plans.push_back(plan(region, inside));
        if (stop_ && stop_()) {
            break;
        }
    }
    return plans;
}

RegionPlan RegionPlanner::PlanWithPairs(const EvidenceRegion& region,
                                        const std::vector<Candidate>& candidates, int rangeStart,
                                        int rangeEnd) {
    RegionPlan plan = Plan(region, candidates);
    if (plan.standing == RegionStanding::NoFit && region.check) {
        RegionPlan byPattern = PlanByPattern(region, candidates, rangeStart, rangeEnd);
        if (byPattern.standing != RegionStanding::NoFit) {
            return byPattern;
        }
    }
    return plan;
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
        if (!region.check) {
            ChooseByLengthAlone(region, candidates, plan);
        } else if (!TryEveryByte(region, candidates, plan) &&
                   !TryParts(region, candidates, plan)) {
            TryChoices(region, candidates, plan);
        }
    }
    if (plan.standing != RegionStanding::NoFit) {
        plan.left = LeftOf(candidates, plan.removed);
    }
    return Settled(std::move(plan));
}

// The wrappers chosen (each with one of its ends) and how many repeated bytes they leave to
// take out, for every choice of wrappers that leaves from 0 to the repeated bytes there are.
namespace {

constexpr std::size_t kMaxWrapperChoices = 4096;
constexpr std::int64_t kMaxLengthSteps = std::int64_t{1} << 16;

struct WrapperChoice {
    std::vector<Removal> removed;
    std::int64_t repeats = 0;
};

std::optional<std::vector<WrapperChoice>> WrapperChoices(const std::vector<Candidate>& candidates,
                                                         const std::vector<std::size_t>& wrappers,
                                                         std::int64_t excess, std::size_t bytes) {
    std::vector<WrapperChoice> choices;
    std::vector<std::size_t> sizes(wrappers.size() + 1);
    std::iota(sizes.begin(), sizes.end(), std::size_t{0});
    bool tooMany = false;
    ForEachWrapperChoice(
        candidates, wrappers, sizes, [&](std::vector<Removal> removed, std::int64_t taken) {
            WrapperChoice choice{std::move(removed), excess - taken};
            if (choice.repeats >= 0 && choice.repeats <= static_cast<std::int64_t>(bytes) &&
                SortedApart(choice.removed)) {
                choices.push_back(std::move(choice));
            }
            tooMany = choices.size() > kMaxWrapperChoices;
            return !tooMany;
        });
    if (tooMany) {
        return std::nullopt;
    }
    return choices;
}

}  // namespace

// A region with a length and no check: of the choices of finds that give it its length, those
// with the fewest repeated bytes (each one more pair taken for damage, where a wrapper's
// headers are never chance), when they all make the same bytes. Where they make different
// bytes, nothing tells which: the region is undecided, and the pattern decides there.
void RegionPlanner::ChooseByLengthAlone(const EvidenceRegion& region,
                                        const std::vector<Candidate>& candidates,
                                        RegionPlan& plan) {
    std::vector<std::size_t> bytes;
    std::vector<std::size_t> wrappers;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        (candidates[i].lengths == std::vector<std::int64_t>{1} ? bytes : wrappers).push_back(i);
    }
    auto choices = WrapperChoices(candidates, wrappers, region.Excess(), bytes.size());
    if (!choices || choices->empty()) {
        plan.cutShort = !choices;
        return;
    }
    const std::int64_t fewest =
        std::min_element(choices->begin(), choices->end(), [](const auto& a, const auto& b) {
            return a.repeats < b.repeats;
        })->repeats;
    std::optional<std::vector<Removal>> first;   // as Canonical makes it
    std::vector<Removal> chosen;
    std::int64_t steps = 0;
    for (const WrapperChoice& choice : *choices) {
        if (choice.repeats != fewest) {
            continue;
        }
        const auto k = static_cast<std::size_t>(fewest);
        std::vector<std::size_t> ones(k);
        std::iota(ones.begin(), ones.end(), std::size_t{0});
        do {
            if (++steps > kMaxLengthSteps || (stop_ && steps % 4096 == 0 && stop_())) {
                plan.cutShort = true;
                plan.ambiguous = true;
                return;
            }
            std::vector<Removal> removed = choice.removed;
            for (const std::size_t i : ones) {
                removed.push_back({candidates[bytes[i]].offset, 1});
            }
            if (!SortedApart(removed) ||
                (!removed.empty() && removed.back().offset + removed.back().length > region.end)) {
                continue;
            }
            std::vector<Removal> same = removed;
            if (!Canonical(same, region.start)) {
                return;  // a read failed
            }
            if (!first) {
                first = std::move(same);
                chosen = std::move(removed);
            } else if (same != *first) {
                plan.ambiguous = true;
                return;
            }
        } while (k > 0 && NextChoice(ones, bytes.size()));
    }
    if (first) {
        plan.standing = RegionStanding::Consistent;
        plan.removed = std::move(chosen);
    }
}

// The removals moved as early as they go and still make the same bytes (a removal from a run
// of equal bytes makes what one from its start does), so that two choices make the same bytes
// exactly when they are equal so.
bool RegionPlanner::Canonical(std::vector<Removal>& removed, std::int64_t floor) {
    constexpr std::int64_t kReach = 64;
    std::uint8_t window[kReach + 256];
    for (Removal& removal : removed) {
        const std::int64_t from = std::max(floor, removal.offset - kReach);
        const std::int64_t end = removal.offset + std::min<std::int64_t>(removal.length, 256);
        const auto count = static_cast<std::size_t>(end - from);
        std::error_code error;
        const std::uint8_t* bytes = input_.Peek(from, count);
        if (bytes == nullptr) {
            if (input_.ReadAt(from, window, count, error) != count || error) {
                readError_ = error ? error : std::make_error_code(std::errc::io_error);
                return false;
            }
            bytes = window;
        }
        if (removal.length > 256) {
            floor = removal.offset + removal.length;
            continue;  // no wrapper is so long; a removal this long is taken where it is
        }
        while (removal.offset > from &&
               bytes[removal.offset - 1 - from] == bytes[removal.offset + removal.length - 1 - from]) {
            --removal.offset;
        }
        floor = removal.offset + removal.length;
    }
    return true;
}

// A check that proves nothing has only told the choice apart from the others.
RegionPlan RegionPlanner::Settled(RegionPlan plan) {
    if (plan.standing == RegionStanding::Proven && !plan.region.check->Proves()) {
        plan.standing = RegionStanding::Consistent;
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
    const std::uint8_t* bytes = Held(region.start, span);
    if (bytes == nullptr) {
        plan.cutShort = true;
        return true;
    }
    const std::vector<std::size_t> matching =
        RemovalsMatchingCrc(bytes, span, region.length, *region.check->PlainCrc32());
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
    // Of the repeated bytes, as many as the wrappers chosen leave to take out.
    const auto withRepeats = [&](const std::vector<Removal>& base, std::int64_t taken) {
        const std::int64_t rest = excess - taken;
        if (rest < 0 || rest > static_cast<std::int64_t>(bytes.size())) {
            if ((steps += 1) > kMaxSteps) {
                plan.cutShort = true;
                return false;
            }
            return true;
        }
        const auto k = static_cast<std::size_t>(rest);
        std::vector<std::size_t> ones(k);
        std::iota(ones.begin(), ones.end(), std::size_t{0});
        do {
            steps += static_cast<std::int64_t>(k + base.size()) + 1;
            if (steps > kMaxSteps || (stop_ && steps % 4096 == 0 && stop_())) {
                plan.cutShort = true;
                return false;
            }
            std::vector<Removal> removed = base;
            for (const std::size_t i : ones) {
                removed.push_back({candidates[bytes[i]].offset, 1});
            }
            if (!tryChoice(std::move(removed))) {
                return false;
            }
        } while (k > 0 && NextChoice(ones, bytes.size()));
        return true;
    };
    ForEachWrapperChoice(candidates, others, SizesInOrder(others.size()), withRepeats);
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

// count bytes of the input from at, from those last read where they are among them: a region
// is read once, however many of its choices are checked. nullptr where the read fails.
const std::uint8_t* RegionPlanner::Held(std::int64_t at, std::size_t count) {
    static const std::uint8_t kNone = 0;
    if (count == 0) {
        return &kNone;
    }
    if (at >= heldStart_ &&
        at + static_cast<std::int64_t>(count) <= heldStart_ + static_cast<std::int64_t>(held_.size())) {
        return held_.data() + (at - heldStart_);
    }
    held_.resize(count);
    std::error_code error;
    if (input_.ReadAt(at, held_.data(), count, error) != count || error) {
        readError_ = error ? error : std::make_error_code(std::errc::io_error);
        held_.clear();
        return nullptr;
    }
    heldStart_ = at;
    return held_.data();
}

// Whether the region's bytes with these removals left out pass its check: from memory where
// the region fits there, else read a piece at a time, so a region of any size costs the same
// memory.
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
        // A region that fits in memory is read once for all its checks.
        const std::size_t count =
            region.Span() <= kMaxInMemory
                ? static_cast<std::size_t>(region.Span())
                : static_cast<std::size_t>(std::min<std::int64_t>(
                      static_cast<std::int64_t>(buffer_.size()), region.end - at));
        const std::uint8_t* piece = nullptr;
        if (region.Span() <= kMaxInMemory) {
            piece = Held(at, count);
        } else {
            std::error_code error;
            if (input_.ReadAt(at, buffer_.data(), count, error) == count && !error) {
                piece = buffer_.data();
            } else {
                readError_ = error ? error : std::make_error_code(std::errc::io_error);
            }
        }
        if (piece == nullptr) {
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
            run->Add(piece + (from - at), static_cast<std::size_t>(to - from));
            kept += to - from;
            from = to;
        }
        at = pieceEnd;
    }
    return kept == region.length && run->Passes();
}

}  // namespace korbelt

namespace korbelt {

namespace {

// Mixed-radix counting over the options of some parts: false after the last.
bool NextPick(std::vector<std::size_t>& pick, const std::vector<std::size_t>& radix) {
    for (std::size_t i = 0; i < pick.size(); ++i) {
        if (++pick[i] < radix[i]) {
            return true;
        }
        pick[i] = 0;
    }
    return false;
}

}  // namespace

// The candidates with every pair of equal bytes of the part's header added, in file order.
std::vector<Candidate> RegionPlanner::WithEveryPair(const EvidenceRegion& part,
                                                    std::vector<Candidate> candidates) {
    const auto span = static_cast<std::size_t>(std::min(part.Span(), kPartHeader));
    const std::uint8_t* bytes = Held(part.start, span);
    if (bytes == nullptr) {
        return candidates;
    }
    for (std::size_t i = 0; i + 1 < span; ++i) {
        const std::int64_t at = part.start + static_cast<std::int64_t>(i);
        if (bytes[i] == bytes[i + 1] &&
            std::none_of(candidates.begin(), candidates.end(),
                         [&](const Candidate& c) { return c.offset == at; })) {
            candidates.push_back(RepeatedByteCandidate(at));
        }
    }
    std::sort(candidates.begin(), candidates.end(),
              [](const Candidate& a, const Candidate& b) { return a.offset < b.offset; });
    return candidates;
}

// The region's bytes with the removals left out, by the CRC-32 they have.
std::optional<std::uint32_t> RegionPlanner::CrcWithout(const EvidenceRegion& region,
                                                       const std::vector<Removal>& removed) {
    const std::uint8_t* bytes = Held(region.start, static_cast<std::size_t>(region.Span()));
    if (bytes == nullptr) {
        return std::nullopt;
    }
    std::uint32_t crc = 0;
    ForEachKeptRun(bytes, region.start, region.end, removed,
                   [&crc](const std::uint8_t* run, std::size_t count) { crc = Crc32(crc, run, count); });
    return crc;
}

// A region checked by a plain CRC-32 whose parts must each have a length of their own: each
// part's bytes land where the parts before it put them, whichever of its choices it gets, so
// a part's choice changes the region's CRC-32 by an amount of its own (the CRC-32 of what it
// changes, shifted by the bytes after it). Which choice each part gets is then found by
// meeting in the middle over those amounts, in about the square root of the work of trying
// every combination; the combinations whose amounts give the CRC-32 are checked in full.
// False where the region has no such parts, or they leave it undecided.
bool RegionPlanner::SolveParts(const EvidenceRegion& region,
                               const std::vector<Candidate>& candidates,
                               const std::vector<MarkerPair>& pairs,
                               const std::function<bool(std::vector<Removal>)>& passes,
                               RegionPlan& plan) {
    const std::optional<std::uint32_t> expected = region.check->PlainCrc32();
    if (!expected || region.parts.empty()) {
        return false;
    }
    struct Choices {
        std::vector<std::vector<Removal>> options;
        std::vector<std::uint32_t> amounts;  // of each option against the first
    };
    // The choices of a damaged part: its finds and its markers' pairs, and the pairs of
    // equal bytes in its own header (a block's ID and size, where no marker points).
    const auto optionsOf = [&](const EvidenceRegion& part) {
        std::vector<Candidate> inside;
        for (const Candidate& candidate : candidates) {
            if (candidate.offset >= part.start && candidate.offset < part.end) {
                inside.push_back(candidate);
            }
        }
        for (const MarkerPair& pair : pairs) {
            if (pair.offset >= part.start && pair.offset < part.end &&
                std::none_of(inside.begin(), inside.end(),
                             [&](const Candidate& c) { return c.offset == pair.offset; })) {
                inside.push_back(RepeatedByteCandidate(pair.offset));
            }
        }
        std::sort(inside.begin(), inside.end(),
                  [](const Candidate& a, const Candidate& b) { return a.offset < b.offset; });
        inside = WithEveryPair(part, inside);
        std::vector<std::vector<Removal>> options;
        if (part.Excess() == 1) {
            for (const Candidate& candidate : inside) {
                if (candidate.lengths == std::vector<std::int64_t>{1}) {
                    options.push_back({{candidate.offset, 1}});
                }
            }
        } else {
            RegionPlan fitted;
            fitted.region = part;
            TryChoices(part, inside, fitted);
            if (fitted.standing == RegionStanding::Consistent) {
                options.push_back(fitted.removed);
                options.insert(options.end(), fitted.alternatives.begin(),
                               fitted.alternatives.end());
            }
        }
        return options;
    };
    // A part none of whose choices fits has its extra byte one part off, where a block's
    // end and the next one's start are told apart by chance: it is joined with the damaged
    // part before it (and the parts between, which fit), and the two choose together.
    std::vector<std::pair<EvidenceRegion, std::vector<std::vector<Removal>>>> damaged;
    for (const EvidenceRegion& part : region.parts) {
        if (part.Excess() == 0) {
            continue;
        }
        if (part.Excess() < 0) {
            return false;
        }
        std::vector<std::vector<Removal>> options = optionsOf(part);
        if (options.empty() && !damaged.empty()) {
            const EvidenceRegion& before = damaged.back().first;
            EvidenceRegion joined(before.start, part.end,
                                  before.length + (part.start - before.end) + part.length,
                                  nullptr, before.what);
            options = optionsOf(joined);
            damaged.pop_back();
            damaged.emplace_back(joined, std::move(options));
            if (damaged.back().second.empty()) {
                return false;
            }
            continue;
        }
        if (options.empty()) {
            return false;
        }
        damaged.emplace_back(part, std::move(options));
    }
    std::vector<Choices> parts;
    std::vector<Removal> base;
    std::int64_t excessBefore = 0;
    for (auto& [part, options] : damaged) {
        Choices choices;
        choices.options = std::move(options);
        // What each option makes of the part, and so of the region's CRC-32.
        const std::int64_t outEnd = part.end - region.start - excessBefore - part.Excess();
        const std::int64_t after = region.length - outEnd;
        const std::uint8_t* held = Held(part.start, static_cast<std::size_t>(part.Span()));
        if (held == nullptr) {
            return true;
        }
        const std::vector<std::uint8_t> bytes(held, held + part.Span());
        std::optional<std::uint32_t> first;
        std::vector<std::vector<Removal>> distinct;
        for (std::vector<Removal>& option : choices.options) {
            std::uint32_t crc = 0;
            ForEachKeptRun(bytes.data(), part.start, part.end, option,
                           [&crc](const std::uint8_t* run, std::size_t count) {
                               crc = Crc32(crc, run, count);
                           });
            if (!first) {
                first = crc;
            }
            const auto amount = static_cast<std::uint32_t>(
                crc32_combine(crc ^ *first, 0, static_cast<z_off_t>(after)));
            // Options that make the same bytes (either byte of a pair, or of a run) are one.
            if (std::find(choices.amounts.begin(), choices.amounts.end(), amount) ==
                choices.amounts.end()) {
                choices.amounts.push_back(amount);
                distinct.push_back(std::move(option));
            }
        }
        choices.options = std::move(distinct);
        base.insert(base.end(), choices.options.front().begin(), choices.options.front().end());
        excessBefore += part.Excess();
        if (choices.options.size() > 1) {
            parts.push_back(std::move(choices));
        }
    }
    if (excessBefore != region.Excess()) {
        return false;
    }
    const std::optional<std::uint32_t> baseCrc = CrcWithout(region, base);
    if (!baseCrc) {
        return true;
    }
    const std::uint32_t target = *expected ^ *baseCrc;
    // The parts split in two halves of about equal numbers of combinations.
    double total = 0;
    for (const Choices& choices : parts) {
        total += std::log2(static_cast<double>(choices.options.size()));
    }
    if (total > 2 * kMeetBits) {
        plan.cutShort = true;
        return true;
    }
    std::size_t split = 0;
    for (double left = 0; split < parts.size() && left < total / 2; ++split) {
        left += std::log2(static_cast<double>(parts[split].options.size()));
    }
    std::vector<std::size_t> leftRadix, rightRadix;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        (i < split ? leftRadix : rightRadix).push_back(parts[i].options.size());
    }
    // Every combination of the left half by its amount, and the index of its first option.
    std::vector<std::pair<std::uint32_t, std::uint64_t>> sums;
    std::vector<std::size_t> pick(leftRadix.size(), 0);
    do {
        std::uint32_t sum = 0;
        std::uint64_t code = 0;
        for (std::size_t i = pick.size(); i-- > 0;) {
            sum ^= parts[i].amounts[pick[i]];
            code = code * leftRadix[i] + pick[i];
        }
        sums.emplace_back(sum, code);
    } while (NextPick(pick, leftRadix));
    std::sort(sums.begin(), sums.end());
    std::int64_t checksLeft = kMaxChecks;
    std::vector<std::size_t> right(rightRadix.size(), 0);
    do {
        std::uint32_t sum = target;
        for (std::size_t i = 0; i < right.size(); ++i) {
            sum ^= parts[split + i].amounts[right[i]];
        }
        auto match = std::lower_bound(sums.begin(), sums.end(), std::make_pair(sum, std::uint64_t{0}));
        for (; match != sums.end() && match->first == sum; ++match) {
            if (checksLeft-- <= 0 || (stop_ && stop_())) {
                plan.cutShort = plan.standing != RegionStanding::Proven;
                return true;
            }
            // The combination: the base, each part of several options with the one chosen.
            std::uint64_t code = match->second;
            std::vector<std::size_t> chosen(parts.size());
            for (std::size_t i = 0; i < split; ++i) {
                chosen[i] = static_cast<std::size_t>(code % leftRadix[i]);
                code /= leftRadix[i];
            }
            for (std::size_t i = 0; i < right.size(); ++i) {
                chosen[split + i] = right[i];
            }
            std::vector<Removal> removed = base;
            for (std::size_t i = 0; i < parts.size(); ++i) {
                const std::vector<Removal>& first = parts[i].options.front();
                removed.erase(std::remove_if(removed.begin(), removed.end(),
                                             [&](const Removal& r) {
                                                 return std::find(first.begin(), first.end(), r) !=
                                                        first.end();
                                             }),
                              removed.end());
                const std::vector<Removal>& option = parts[i].options[chosen[i]];
                removed.insert(removed.end(), option.begin(), option.end());
            }
            // Once one passes, the rest are looked at for a rival: more combinations than a
            // CRC-32 has values let chance pass one.
            if (plan.standing != RegionStanding::Proven) {
                passes(removed);
            } else if (IsRival(region, plan.removed, std::move(removed))) {
                plan.standing = RegionStanding::NoFit;
                plan.removed.clear();
                plan.ambiguous = true;
                return true;
            }
            if (readError_ || plan.cutShort) {
                return true;
            }
        }
    } while (NextPick(right, rightRadix));
    return plan.standing == RegionStanding::Proven;
}

// Whether other removals pass the region's check as well as those chosen, and make other
// bytes of it.
bool RegionPlanner::IsRival(const EvidenceRegion& region, const std::vector<Removal>& chosen,
                            std::vector<Removal> other) {
    if (!SortedApart(other) || !Passes(region, other)) {
        return false;
    }
    const std::uint8_t* bytes = Held(region.start, static_cast<std::size_t>(region.Span()));
    if (bytes == nullptr) {
        return false;
    }
    const auto without = [&](const std::vector<Removal>& removed) {
        std::vector<std::uint8_t> out;
        ForEachKeptRun(bytes, region.start, region.end, removed,
                       [&out](const std::uint8_t* run, std::size_t count) {
                           out.insert(out.end(), run, run + count);
                       });
        return out;
    };
    return without(chosen) != without(other);
}

// A region checked by a plain CRC-32 whose suspect bytes (the markers' pairs and the scan's
// finds) are too many to try in turn: every choice of as many as it has bytes too many, met
// in the middle. One choice whose bytes pass is proven; two that make different bytes leave
// the region undecided, where trying them in turn would have taken the first. False where
// the choices are too many even so (or the region is not checked so), for the markers to be
// tried in turn.
bool RegionPlanner::MeetOnPairs(const EvidenceRegion& region,
                                const std::vector<Candidate>& candidates,
                                const std::vector<MarkerPair>& pairs, std::int64_t repeats,
                                const std::function<bool(std::vector<Removal>)>& passes,
                                RegionPlan& plan) {
    const std::optional<std::uint32_t> expected = region.check->PlainCrc32();
    if (!expected || repeats > 64) {
        return false;
    }
    const std::uint8_t* bytes = Held(region.start, static_cast<std::size_t>(region.Span()));
    if (bytes == nullptr) {
        return true;
    }
    std::vector<std::int64_t> suspects;
    for (const MarkerPair& pair : pairs) {
        suspects.push_back(pair.offset - region.start);
    }
    // A find in the run of equal bytes of a pair already there makes the same bytes as it.
    const auto inRunOf = [&](std::int64_t at, std::int64_t of) {
        const auto [low, high] = std::minmax(at, of);
        return std::all_of(bytes + low, bytes + high + 1, [&](std::uint8_t b) { return b == bytes[at]; });
    };
    for (const Candidate& candidate : candidates) {
        const std::int64_t at = candidate.offset - region.start;
        if (candidate.lengths == std::vector<std::int64_t>{1} && at >= 0 && at < region.Span() &&
            std::none_of(suspects.begin(), suspects.end(),
                         [&](std::int64_t s) { return inRunOf(at, s); })) {
            suspects.push_back(at);
        }
    }
    std::sort(suspects.begin(), suspects.end());
    suspects.erase(std::unique(suspects.begin(), suspects.end()), suspects.end());
    CrcMeetProblem problem{bytes, static_cast<std::size_t>(region.Span()), std::move(suspects),
                           static_cast<int>(repeats), *expected};
    // Choices beyond about 2^32 would pass a CRC-32 by chance: the meeting cannot prove any.
    if (ChoiceBits(static_cast<std::int64_t>(problem.suspects.size()), repeats) > kProofBits) {
        return false;
    }
    const CrcMeetResult met = MeetOnCrc(problem, kMeetBits, stop_);
    if (met.tooMany) {
        return false;
    }
    if (met.stopped) {
        plan.cutShort = true;
        return true;
    }
    if (met.matches.size() > 1) {
        plan.ambiguous = true;
        return true;
    }
    if (met.matches.size() == 1) {
        std::vector<Removal> removed;
        for (const std::int64_t out : met.matches.front()) {
            removed.push_back({region.start + out, 1});
        }
        passes(std::move(removed));
    }
    return true;
}

void RegionPlanner::TryMarkers(const std::vector<MarkerPair>& pairs,
                               const std::vector<Removal>& wrappers, std::int64_t repeats,
                               const std::function<bool(std::vector<Removal>)>& passes,
                               RegionPlan& plan) {
    // Each marker's pairs, latest first: a pair's marker is where its distance puts it.
    std::vector<std::vector<std::int64_t>> markers;
    std::int64_t lastCr = -1;
    for (const MarkerPair& pair : pairs) {
        const std::int64_t cr = pair.offset - pair.distance;
        if (cr != lastCr) {
            markers.emplace_back();
            lastCr = cr;
        }
        markers.back().insert(markers.back().begin(), pair.offset);
    }
    const auto count = static_cast<std::int64_t>(markers.size());
    if (repeats <= 0 || repeats > count) {
        return;
    }
    std::int64_t steps = 0;
    // The markers chosen: a combination of repeats of count, in lexicographic order, for
    // every number left out in turn (all chosen first).
    std::vector<std::size_t> chosen(static_cast<std::size_t>(repeats));
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        chosen[i] = i;
    }
    for (;;) {
        std::vector<std::size_t> pick(chosen.size(), 0);
        for (;;) {
            if (++steps > kMaxSteps) {
                plan.cutShort = true;
                return;
            }
            std::vector<Removal> removed = wrappers;
            for (std::size_t i = 0; i < chosen.size(); ++i) {
                removed.push_back({markers[chosen[i]][pick[i]], 1});
            }
            if (passes(std::move(removed))) {
                return;
            }
            if (plan.cutShort || readError_) {
                return;
            }
            std::size_t i = 0;
            for (; i < pick.size(); ++i) {
                if (++pick[i] < markers[chosen[i]].size()) {
                    break;
                }
                pick[i] = 0;
            }
            if (i == pick.size()) {
                break;
            }
        }
        // The next combination of markers.
        std::size_t i = chosen.size();
        while (i > 0 && chosen[i - 1] == markers.size() - chosen.size() + i - 1) {
            --i;
        }
        if (i == 0) {
            return;
        }
        ++chosen[i - 1];
        for (std::size_t j = i; j < chosen.size(); ++j) {
            chosen[j] = chosen[j - 1] + 1;
        }
    }
}

std::vector<MarkerPair> RegionPlanner::PairsOf(const EvidenceRegion& region, int rangeStart,
                                               int rangeEnd) {
    // A marker up to the range's end before the region reaches into it; the bytes after it
    // are read as well, as the region's checks read them next.
    const std::int64_t from = std::max<std::int64_t>(0, region.start - rangeEnd);
    const auto span = static_cast<std::size_t>(
        std::min<std::int64_t>(region.end + rangeEnd + 1, length_) - from);
    const std::uint8_t* bytes = Held(from, span);
    if (bytes == nullptr) {
        return {};
    }
    std::vector<MarkerPair> pairs =
        MarkerPairsIn(bytes, span, static_cast<std::size_t>(region.start - from),
                      static_cast<std::size_t>(region.end - from), {rangeStart, rangeEnd});
    for (MarkerPair& pair : pairs) {
        pair.offset += from;
    }
    return pairs;
}

RegionPlan RegionPlanner::PlanByPattern(const EvidenceRegion& region,
                                        const std::vector<Candidate>& candidates, int rangeStart,
                                        int rangeEnd) {
    RegionPlan plan;
    plan.region = region;
    checkWork_ = 0;
    if (!region.check || region.Excess() <= 0 || region.Span() > kMaxInMemory ||
        region.start < 0 || region.end > length_) {
        return plan;
    }
    const std::vector<MarkerPair> pairs = PairsOf(region, rangeStart, rangeEnd);
    std::int64_t checksLeft = std::clamp<std::int64_t>(
        kCheckWork / std::max<std::int64_t>(region.length, 1), 2, kMaxChecks);
    const auto passes = [&](std::vector<Removal> removed) {
        if (checksLeft-- <= 0 || (stop_ && stop_())) {
            plan.cutShort = true;
            return false;
        }
        if (!SortedApart(removed) || !Passes(region, removed)) {
            return false;
        }
        plan.standing = RegionStanding::Proven;
        plan.fromPairs = true;
        plan.removed = std::move(removed);
        return true;
    };
    if (region.Excess() == 1) {
        for (const MarkerPair& pair : pairs) {
            if (passes({{pair.offset, 1}}) || plan.cutShort || readError_) {
                break;
            }
        }
    } else {
        std::vector<Removal> wrappers;
        std::int64_t wrapped = 0;
        for (const Candidate& candidate : candidates) {
            if (candidate.lengths != std::vector<std::int64_t>{1}) {
                wrappers.push_back({candidate.offset, candidate.lengths.front()});
                wrapped += candidate.lengths.front();
            }
        }
        if (SolveParts(region, candidates, pairs, passes, plan) || plan.cutShort || readError_) {
            if (plan.standing == RegionStanding::Proven) {
                plan.left = LeftOf(candidates, plan.removed);
            }
            return Settled(std::move(plan));
        }
        // Damage at one distance: the pairs there, a check each.
        for (int d = rangeStart; d < rangeEnd && plan.standing == RegionStanding::NoFit; ++d) {
            std::vector<Removal> removed = wrappers;
            for (const MarkerPair& pair : pairs) {
                if (pair.distance == d) {
                    removed.push_back({pair.offset, 1});
                }
            }
            if (wrapped + static_cast<std::int64_t>(removed.size() - wrappers.size()) !=
                region.Excess()) {
                continue;
            }
            if (passes(removed) || plan.cutShort || readError_) {
                break;
            }
        }
        // Damage at varying distances: as many markers as the region has bytes too many,
        // all of them first, then one left out, two ...; of each marker its pairs, the one
        // latest in its reach (the scan's) first.
        if (plan.standing == RegionStanding::NoFit && !plan.cutShort && !readError_ &&
            !(wrappers.empty() && MeetOnPairs(region, candidates, pairs, region.Excess(), passes, plan))) {
            TryMarkers(pairs, wrappers, region.Excess() - wrapped, passes, plan);
        }
    }
    if (plan.standing == RegionStanding::Proven) {
        plan.left = LeftOf(candidates, plan.removed);
    }
    return Settled(std::move(plan));
}

}  // namespace korbelt
