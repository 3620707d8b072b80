#include "verify/GuidedPlan.h"

#include <algorithm>

#include "verify/SliceSearch.h"

namespace korbelt {
namespace {

// Finds of one slice tried in every combination; more than this are a damaged stretch
// rather than a few slipped bytes, and are tried all kept or none.
constexpr std::size_t kMaxCombined = 4;
// How far either side of where it should start the slice after a bad one is looked for.
constexpr std::int64_t kResyncReach = 64;
// Searching a slice for a slipped byte and the next slice nearby costs some hundred times
// a slice's CRC-32. After this many slices that could not be mended (a file that is not the
// one its checksums describe, or one damaged beyond this repair) the rest is only checked.
constexpr std::int64_t kMaxUnmended = 16;

// The combinations of n finds to try, as bit masks: most finds kept first.
std::vector<unsigned> Combinations(std::size_t n) {
    std::vector<unsigned> masks;
    if (n > kMaxCombined) {
        return {(1u << kMaxCombined) - 1, 0};  // only the first kMaxCombined take part
    }
    for (unsigned mask = 0; mask < (1u << n); ++mask) {
        masks.push_back(mask);
    }
    std::stable_sort(masks.begin(), masks.end(), [](unsigned a, unsigned b) {
        return __builtin_popcount(a) > __builtin_popcount(b);
    });
    return masks;
}

}  // namespace

GuidedPlanner::GuidedPlanner(InputFile& input, std::int64_t length, const Expectation& expected)
    : input_(input), length_(length), expected_(expected) {}

std::int64_t GuidedPlanner::SliceLength(std::int64_t index) const {
    const auto count = static_cast<std::int64_t>(expected_.slices.size());
    return index + 1 < count ? expected_.sliceSize
                             : expected_.length.value_or(0) - (count - 1) * expected_.sliceSize;
}

GuidedPlan GuidedPlanner::Plan(const std::vector<Removal>& finds) {
    GuidedPlan plan;
    plan.sliceCount = static_cast<std::int64_t>(expected_.slices.size());
    std::size_t next = 0;
    for (std::int64_t index = 0; index < plan.sliceCount && at_ < length_ && !readError_; ++index) {
        // The finds that may lie in this slice: it reaches further for each one kept, and
        // one byte further for a byte slipped in.
        std::vector<Removal> candidates;
        std::size_t firstCandidate = next;  // candidates follow one another in finds
        std::int64_t reach = at_ + SliceLength(index) + 1;
        for (; next < finds.size() && finds[next].offset < reach; ++next) {
            if (finds[next].offset >= at_) {
                candidates.push_back(finds[next]);
                reach += finds[next].length;
            } else {
                plan.ignored.push_back({finds[next], false});  // inside a bad slice
                firstCandidate = next + 1;
            }
        }
        std::vector<Removal> kept;
        const bool verified = PlanSlice(index, candidates, kept);
        plan.slicesVerified += verified ? 1 : 0;
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            const Removal& candidate = candidates[i];
            if (candidate.offset >= at_) {
                next = firstCandidate + i;  // past the slice's end after all: the next slice's
                break;
            }
            if (std::find(kept.begin(), kept.end(), candidate) != kept.end()) {
                plan.kept.push_back(candidate);
            } else {
                plan.ignored.push_back({candidate, verified});
            }
        }
        if (inserted_) {
            plan.inserted.push_back(*inserted_);
            inserted_.reset();
        }
    }
    plan.readError = readError_;
    // Finds beyond the last slice the checksums describe are not the posted file's.
    for (; next < finds.size(); ++next) {
        plan.ignored.push_back({finds[next], false});
    }
    return plan;
}

// Moves at_ to the end of the slice in the input; kept gets the finds that make it verify.
bool GuidedPlanner::PlanSlice(std::int64_t index, const std::vector<Removal>& candidates,
                              std::vector<Removal>& kept) {
    const SliceChecksum& slice = expected_.slices[static_cast<std::size_t>(index)];
    const std::int64_t want = SliceLength(index);
    const std::vector<unsigned> masks = Combinations(candidates.size());
    for (const bool searchInserted : {false, true}) {
        if (searchInserted && unmended_ >= kMaxUnmended) {
            break;
        }
        for (const unsigned mask : masks) {
            std::vector<Removal> chosen;
            for (std::size_t i = 0; i < candidates.size() && i < kMaxCombined; ++i) {
                if (mask & (1u << i)) {
                    chosen.push_back(candidates[i]);
                }
            }
            std::int64_t end = 0;
            const std::vector<std::uint8_t>& out =
                Output(at_, want + (searchInserted ? 1 : 0), chosen, end);
            if (end < 0) {
                continue;  // a chosen find lies past the slice: a smaller choice covers it
            }
            if (!searchInserted) {
                // The finds' own bytes tell the choices apart; one chance in 2^32 that a
                // CRC-32 matches wrongly, and the slice's MD5, hashed as the copy is written,
                // proves the choice or fails the file.
                if (static_cast<std::int64_t>(out.size()) == want &&
                    PaddedCrc(out.data(), out.size(), expected_.sliceSize) == slice.crc32) {
                    kept = chosen;
                    at_ = end;
                    return true;
                }
                continue;
            }
            if (static_cast<std::int64_t>(out.size()) != want + 1) {
                continue;
            }
            const auto p = FindInsertedByte(out.data(), out.size(), expected_.sliceSize, slice);
            if (p) {
                inserted_ = Removal{InputOffset(at_, static_cast<std::int64_t>(*p), chosen), 1};
                kept = chosen;
                at_ = end;
                return true;
            }
        }
    }
    kept.clear();
    at_ = ++unmended_ > kMaxUnmended ? std::min(at_ + want, length_) : Resynchronised(index);
    return false;
}

// Where the slice after a bad one starts: where its checksum matches, nearest to where it
// should; else where it should.
std::int64_t GuidedPlanner::Resynchronised(std::int64_t bad) {
    const std::int64_t expectedAt = at_ + SliceLength(bad);
    const std::int64_t next = bad + 1;
    if (next >= static_cast<std::int64_t>(expected_.slices.size())) {
        return std::min(expectedAt, length_);
    }
    const SliceChecksum& slice = expected_.slices[static_cast<std::size_t>(next)];
    const std::int64_t want = SliceLength(next);
    const std::int64_t from = std::max(at_, expectedAt - kResyncReach);
    std::vector<std::uint8_t> around(
        static_cast<std::size_t>(expectedAt + kResyncReach + want - from));
    std::error_code error;
    around.resize(input_.ReadAt(from, around.data(), around.size(), error));
    if (error) {
        readError_ = error;
        return expectedAt;
    }
    for (std::int64_t step = 0; step <= 2 * kResyncReach; ++step) {
        const std::int64_t d = step % 2 == 0 ? step / 2 : -(step + 1) / 2;
        const std::int64_t start = expectedAt + d - from;
        if (start < 0 || start + want > static_cast<std::int64_t>(around.size())) {
            continue;
        }
        if (SliceMatches(around.data() + start, static_cast<std::size_t>(want), expected_.sliceSize,
                         slice)) {
            return from + start;
        }
    }
    return std::min(expectedAt, length_);
}

const std::vector<std::uint8_t>& GuidedPlanner::Output(std::int64_t start, std::int64_t want,
                                                       const std::vector<Removal>& removed,
                                                       std::int64_t& end) {
    std::int64_t span = want;
    for (const Removal& removal : removed) {
        span += removal.length;
    }
    // Buffers kept from slice to slice: fresh ones of a slice's size each time would come
    // from the system afresh, a page fault for every page.
    std::vector<std::uint8_t>& raw = raw_;
    std::vector<std::uint8_t>& out = out_;
    raw.resize(
        static_cast<std::size_t>(std::max<std::int64_t>(0, std::min(span, length_ - start))));
    std::error_code error;
    raw.resize(input_.ReadAt(start, raw.data(), raw.size(), error));
    if (error) {
        readError_ = error;
        raw.clear();
    }
    out.clear();
    std::size_t next = 0;
    std::int64_t at = start;
    const std::int64_t rawEnd = start + static_cast<std::int64_t>(raw.size());
    while (static_cast<std::int64_t>(out.size()) < want && at < rawEnd) {
        if (next < removed.size() && removed[next].offset == at) {
            at += removed[next++].length;
            continue;
        }
        // The kept bytes up to the next removal, or as many as are still wanted.
        const std::int64_t stop =
            next < removed.size() ? std::min(rawEnd, removed[next].offset) : rawEnd;
        const std::int64_t take = std::min(stop - at, want - static_cast<std::int64_t>(out.size()));
        const auto from = raw.begin() + (at - start);
        out.insert(out.end(), from, from + take);
        at += take;
    }
    end = next == removed.size() ? at : -1;
    return out_;
}

// The input offset of byte p of the output from start with the removals left out.
std::int64_t GuidedPlanner::InputOffset(std::int64_t start, std::int64_t p,
                                        const std::vector<Removal>& removed) {
    std::int64_t at = start + p;
    for (const Removal& removal : removed) {
        if (removal.offset <= at) {
            at += removal.length;
        }
    }
    return at;
}

}  // namespace korbelt
