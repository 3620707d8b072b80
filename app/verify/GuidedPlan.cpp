#include "verify/GuidedPlan.h"

#include <algorithm>
#include <array>

#include "verify/Choices.h"
#include "verify/CrcMeet.h"
#include "verify/MarkerPairs.h"
#include "verify/SliceSearch.h"

namespace korbelt {
namespace {

// How far either side of where it should start the slice after a bad one is looked for.
constexpr std::int64_t kResyncReach = 64;
// The choices of finds tried for one slice cost at most this much of its CRC-32 in all, and
// so about as much time for a slice of any size: enough for every choice of one or two
// finds fewer among dozens in the usual slices of par2.
constexpr std::int64_t kChoiceWork = std::int64_t{64} << 20;
constexpr std::int64_t kMaxChoices = 4096;
// Places where a slice found again nearby matches its CRC-32 that are also hashed by MD5.
constexpr int kMaxConfirmations = 4;
// Runs of equal bytes at a slice's end looked at, at most: longer ones are left as chosen.
constexpr std::size_t kMaxRun = std::size_t{1} << 16;
// A slice met in the middle of its CRC-32: at most this many bytes slipped in, each half of
// at most 2^kMeetBits choices, and no more than 2^kProofBits choices in all (a CRC-32 passes
// one of more by chance; the MD5 then decides, but the work is not worth it).
constexpr int kMaxMeetBytes = 24;
constexpr double kMeetBits = 20;
constexpr double kProofBits = 30;
// A slice with more pairs of equal bytes than this has those its markers reach tried only.
constexpr std::size_t kMaxAllPairs = 64;
// How far back the removals made are kept for other evidence (a region begun before a slice).
constexpr std::int64_t kMadeReach = std::int64_t{4} << 20;

}  // namespace

GuidedPlanner::GuidedPlanner(InputFile& input, std::int64_t length, const Expectation& expected,
                             std::pair<int, int> reach)
    : input_(input), length_(length), expected_(expected), reach_(reach) {}

std::int64_t GuidedPlanner::SliceLength(std::int64_t index) const {
    const auto count = static_cast<std::int64_t>(expected_.slices.size());
    return index + 1 < count ? expected_.sliceSize
                             : expected_.length.value_or(0) - (count - 1) * expected_.sliceSize;
}

bool GuidedPlanner::Done() const {
    return index_ >= static_cast<std::int64_t>(expected_.slices.size()) || at_ >= length_ ||
           readError_;
}

std::int64_t GuidedPlanner::NeededUpTo() const {
    return std::min(length_, at_ + 2 * expected_.sliceSize + kMargin);
}

std::vector<SlicePlan::Ignored> GuidedPlanner::Rest(const std::vector<Removal>& finds) {
    std::vector<SlicePlan::Ignored> rest;
    for (; nextFind_ < finds.size(); ++nextFind_) {
        rest.push_back({finds[nextFind_], false});
    }
    return rest;
}

SlicePlan GuidedPlanner::PlanNext(const std::vector<Removal>& finds) {
    SlicePlan plan;
    plan.index = index_;
    plan.start = at_;
    const SliceChecksum& slice = expected_.slices[static_cast<std::size_t>(index_)];
    const std::int64_t want = SliceLength(index_);
    const std::size_t first = nextFind_;
    const std::vector<Removal> candidates = Candidates(finds, plan);
    // A wrapper ending a byte sooner comes before a slipped byte: a wrapper that goes on past
    // the slice's end may make it with its first CR alone (the data's CR LF where it came in),
    // and leave the rest of its bytes to a slice that cannot take them out.
    plan.verified = TryChoices(slice, want, candidates, plan) ||
                    TryShorterWrappers(slice, want, candidates, plan) ||
                    TrySlipped(slice, want, candidates, plan) ||
                    TryMeeting(slice, want, candidates, plan) ||
                    TryHint(slice, want, finds, plan);
    if (!plan.verified) {
        KeepAsThePatternWould(want, candidates, plan);
        plan.ignored.clear();
    }
    // Finds past the slice's end after all are the next slice's; in a slice no plan proves,
    // every find up to where the next one starts goes as the pattern says.
    for (nextFind_ = first; nextFind_ < finds.size() && finds[nextFind_].offset < plan.end;
         ++nextFind_) {
        const Removal& find = finds[nextFind_];
        if (!plan.verified) {
            plan.removed.push_back(find);
            // A removal the pattern makes ends the slice no sooner than it ends itself.
            plan.end = std::max(plan.end, find.offset + find.length);
        } else if (find.offset >= plan.start &&
                   std::none_of(plan.removed.begin(), plan.removed.end(), [&](const Removal& made) {
                       return made.offset == find.offset;
                   })) {
            plan.ignored.push_back({find, true});
        }
    }
    if (hint_) {
        Made(plan);
    }
    ++index_;
    at_ = plan.end;
    return plan;
}

// The removals the plan makes, kept for other evidence to plan a region that starts in this
// slice and goes on into the next; those longer ago than a region is likely to reach, not.
void GuidedPlanner::Made(const SlicePlan& plan) {
    made_.insert(made_.end(), plan.removed.begin(), plan.removed.end());
    if (plan.inserted) {
        made_.push_back(*plan.inserted);
    }
    std::sort(made_.begin(), made_.end(),
              [](const Removal& a, const Removal& b) { return a.offset < b.offset; });
    const std::int64_t from = plan.end - kMadeReach;
    std::erase_if(made_, [from](const Removal& removal) { return removal.offset < from; });
}

// The finds that may lie in the slice: it reaches further for each one kept, and one byte
// further for a byte slipped in. Finds before it lie where a bad slice was passed over.
std::vector<Removal> GuidedPlanner::Candidates(const std::vector<Removal>& finds, SlicePlan& plan) {
    std::vector<Removal> candidates;
    std::int64_t reach = at_ + SliceLength(index_) + 1;
    for (std::size_t next = nextFind_; next < finds.size() && finds[next].offset < reach; ++next) {
        if (finds[next].offset >= at_) {
            candidates.push_back(finds[next]);
            reach += finds[next].length;
        } else {
            plan.ignored.push_back({finds[next], false});
        }
    }
    return candidates;
}

// All kept, none, then every choice of one fewer, two fewer ... while the work allows.
bool GuidedPlanner::TryChoices(const SliceChecksum& slice, std::int64_t want,
                               const std::vector<Removal>& candidates, SlicePlan& plan) {
    const std::size_t n = candidates.size();
    std::int64_t choicesLeft =
        std::clamp<std::int64_t>(kChoiceWork / std::max<std::int64_t>(want, 1), 2, kMaxChoices);
    std::vector<std::size_t> sizes = {n};
    if (n > 0) {
        sizes.push_back(0);
    }
    for (std::size_t m = n; m-- > 1;) {
        sizes.push_back(m);
    }
    for (const std::size_t m : sizes) {
        std::vector<std::size_t> chosen(m);
        for (std::size_t i = 0; i < m; ++i) {
            chosen[i] = i;
        }
        do {
            if (choicesLeft-- <= 0) {
                return false;
            }
            std::vector<Removal> removed;
            for (const std::size_t i : chosen) {
                removed.push_back(candidates[i]);
            }
            std::int64_t end = 0;
            std::int64_t count = 0;
            const std::uint32_t crc = OutputCrc(at_, want, removed, end, count);
            // The finds' own bytes tell the choices apart; one chance in 2^32 that a CRC-32
            // matches wrongly, and the slice's MD5, hashed as the copy is written, proves the
            // choice or fails the file.
            if (end >= 0 && count == want && crc == slice.crc32) {
                LeaveRunsAtTheEnd(removed, end);
                plan.removed = removed;
                plan.end = end;
                return true;
            }
        } while (m > 0 && NextChoice(chosen, n));
    }
    return false;
}

// The removals other evidence makes in the slice, where its own finds prove none: the
// file's structure may choose among more pairs than a slice's CRC-32 tells apart (a member's
// CRC-32 over a few of them), and the slice's checksums then prove the choice.
bool GuidedPlanner::TryHint(const SliceChecksum& slice, std::int64_t want,
                            const std::vector<Removal>& finds, SlicePlan& plan) {
    if (!hint_) {
        return false;
    }
    // The removals made before the slice, then the finds from it on: a region that starts in
    // an earlier slice is planned with what was made of its first bytes.
    std::vector<Removal> known = made_;
    known.insert(known.end(), finds.begin() + static_cast<long>(nextFind_), finds.end());
    std::vector<Removal> removed;
    std::int64_t reach = at_ + want;
    for (Removal removal : hint_->Within(at_, at_ + want + kMargin, known, NeededUpTo())) {
        if (removal.length == 1 && removal.offset < at_ && IsRun(removal.offset, at_)) {
            // The same bytes as a removal of the run's byte in this slice: the slice before
            // kept the run's first bytes, as its checksum said.
            removal.offset = at_;
        }
        if (removal.offset >= at_ && removal.offset < reach) {
            removed.push_back(removal);
            reach += removal.length;
        }
    }
    if (removed.empty() || hint_->ReadError()) {
        return false;
    }
    std::int64_t end = 0;
    std::int64_t count = 0;
    if (OutputCrc(at_, want, removed, end, count) != slice.crc32 || end < 0 || count != want) {
        return false;
    }
    LeaveRunsAtTheEnd(removed, end);
    plan.removed = removed;
    plan.end = end;
    plan.otherEvidenceChose = true;
    return true;
}

// A removal in a run of equal bytes that reaches the slice's last byte makes the same slice
// as none, one byte further on: the slice cannot tell them apart, and the one that removes
// nothing is taken, the next slice deciding that byte (as a slipped byte, if it is one).
// After the last slice the file ends, and its length decides.
// Whether the bytes from from to to (inclusive) are all the same.
bool GuidedPlanner::IsRun(std::int64_t from, std::int64_t to) {
    const auto count = static_cast<std::size_t>(to - from + 1);
    if (count > kMaxRun) {
        return false;
    }
    std::vector<std::uint8_t> bytes(count);
    return ReadExactly(from, bytes.data(), count) &&
           std::all_of(bytes.begin(), bytes.end(), [&](std::uint8_t b) { return b == bytes[0]; });
}

bool GuidedPlanner::ReadExactly(std::int64_t at, std::uint8_t* into, std::size_t count) {
    std::error_code error;
    if (input_.ReadAt(at, into, count, error) != count || error) {
        readError_ = error ? error : std::make_error_code(std::errc::io_error);
        return false;
    }
    return true;
}

void GuidedPlanner::LeaveRunsAtTheEnd(std::vector<Removal>& removed, std::int64_t& end) {
    const bool last = index_ + 1 >= static_cast<std::int64_t>(expected_.slices.size());
    while (!last && !removed.empty() && removed.back().length == 1) {
        const std::int64_t from = removed.back().offset;
        const auto count = static_cast<std::size_t>(end - from);
        if (count < 2 || count > kMaxRun) {
            return;
        }
        // From the read window where it holds them; else the run's ends first, as almost
        // every removal's byte differs from the slice's last one.
        const std::uint8_t* run = input_.Peek(from, count);
        std::vector<std::uint8_t> read;
        if (run == nullptr) {
            std::array<std::uint8_t, 1> first{}, lastByte{};
            if (!ReadExactly(from, first.data(), 1) || !ReadExactly(end - 1, lastByte.data(), 1)) {
                return;
            }
            if (first[0] != lastByte[0]) {
                return;
            }
            read.resize(count);
            if (!ReadExactly(from, read.data(), count)) {
                return;
            }
            run = read.data();
        }
        if (std::any_of(run, run + count, [&](std::uint8_t b) { return b != run[0]; })) {
            return;
        }
        removed.pop_back();
        --end;
    }
}

// The pattern ends a wrapper two bytes after the CR of the CR LF that closes its header
// lines, three where a LF follows; after a standard blank line (CR LF CR LF) that LF is the
// blank line's own and the third byte is data. The choices are tried again with every such
// wrapper ending a byte sooner.
bool GuidedPlanner::TryShorterWrappers(const SliceChecksum& slice, std::int64_t want,
                                       const std::vector<Removal>& candidates, SlicePlan& plan) {
    std::vector<Removal> shorter = candidates;
    bool any = false;
    for (Removal& candidate : shorter) {
        std::array<std::uint8_t, 5> last{};
        const std::int64_t resume = candidate.offset + candidate.length;
        std::error_code error;
        if (candidate.length < 6) {
            continue;
        }
        if (input_.ReadAt(resume - 5, last.data(), last.size(), error) != last.size() || error) {
            readError_ = error ? error : std::make_error_code(std::errc::io_error);
            return false;
        }
        if (last[0] == '\r' && last[1] == '\n' && last[3] == '\n') {
            --candidate.length;
            any = true;
        }
    }
    return any && TryChoices(slice, want, shorter, plan);
}

// Of bytes read from lead before the slice, the offsets (from the slice's start) of the
// pairs of equal bytes CR LF '-' markers have in the pattern's reach.
std::vector<std::int64_t> GuidedPlanner::MarkerPairs(const std::uint8_t* bytes, std::size_t count,
                                                     std::int64_t lead) const {
    std::vector<std::int64_t> pairs;
    for (const MarkerPair& pair :
         MarkerPairsIn(bytes, count, static_cast<std::size_t>(std::max<std::int64_t>(lead, 0)),
                       count, reach_)) {
        pairs.push_back(pair.offset - lead);
    }
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    return pairs;
}

// Bytes slipped in where the finds miss them (a marker's other pair than the scan kept, or a
// byte repeated where no marker points): every pair of equal bytes in the slice's reach, and
// the finds, as suspects, for each count of bytes slipped in the choices of that many met in
// the middle of the slice's CRC-32. One choice that passes, confirmed by the MD5, proves the
// slice; two that make different bytes leave it unproven.
bool GuidedPlanner::TryMeeting(const SliceChecksum& slice, std::int64_t want,
                               const std::vector<Removal>& candidates, SlicePlan& plan) {
    // The last slice's CRC-32 counts the zeros it is padded with.
    if (want != expected_.sliceSize ||
        std::any_of(candidates.begin(), candidates.end(),
                    [](const Removal& c) { return c.length != 1; })) {
        return false;
    }
    // The bytes before the slice hold the markers that reach into it.
    const std::int64_t lead = std::min<std::int64_t>(at_, reach_.second);
    const auto span = static_cast<std::size_t>(
        std::min<std::int64_t>(lead + want + kMaxMeetBytes, length_ - at_ + lead));
    // From the read window where it still holds them, as the slice's other searches read.
    const std::uint8_t* held = input_.Peek(at_ - lead, span);
    if (held == nullptr) {
        if (raw_.size() < span) {
            raw_.resize(span);
        }
        std::error_code error;
        if (input_.ReadAt(at_ - lead, raw_.data(), span, error) != span || error) {
            readError_ = error ? error : std::make_error_code(std::errc::io_error);
            return false;
        }
        held = raw_.data();
    }
    const std::uint8_t* bytes = held + lead;
    const auto available = span - static_cast<std::size_t>(lead);
    // Every pair of equal bytes, the first of a run standing for it; in a large slice where
    // these are too many, the pairs the markers reach only.
    std::vector<std::int64_t> pairs;
    for (std::size_t i = 0; i + 1 < available; ++i) {
        if (bytes[i] == bytes[i + 1] && (i == 0 || bytes[i - 1] != bytes[i])) {
            pairs.push_back(static_cast<std::int64_t>(i));
        }
    }
    if (pairs.size() > kMaxAllPairs) {
        pairs = MarkerPairs(held, span, lead);
    }
    for (std::int64_t count = 1; count <= kMaxMeetBytes; ++count) {
        const auto size = static_cast<std::size_t>(want + count);
        if (size > available) {
            return false;
        }
        std::vector<std::int64_t> suspects;
        for (const std::int64_t pair : pairs) {
            if (pair + 1 < static_cast<std::int64_t>(size)) {
                suspects.push_back(pair);
            }
        }
        for (const Removal& candidate : candidates) {
            const std::int64_t at = candidate.offset - at_;
            if (at >= 0 && at < static_cast<std::int64_t>(size)) {
                suspects.push_back(at);
            }
        }
        std::sort(suspects.begin(), suspects.end());
        suspects.erase(std::unique(suspects.begin(), suspects.end()), suspects.end());
        if (ChoiceBits(static_cast<std::int64_t>(suspects.size()), count) > kProofBits) {
            return false;
        }
        const CrcMeetResult met = MeetOnCrc(
            {bytes, size, std::move(suspects), static_cast<int>(count), slice.crc32},
            kMeetBits, nullptr);
        if (met.tooMany || met.matches.size() > 1) {
            return false;
        }
        if (met.matches.empty()) {
            continue;
        }
        std::vector<Removal> removed;
        for (const std::int64_t out : met.matches.front()) {
            removed.push_back({at_ + out, 1});
        }
        std::int64_t end = 0;
        const std::vector<std::uint8_t>& kept = Output(at_, want, removed, end);
        if (end < 0 || !SliceMatches(kept.data(), kept.size(), expected_.sliceSize, slice)) {
            return false;
        }
        LeaveRunsAtTheEnd(removed, end);
        plan.removed = std::move(removed);
        plan.end = end;
        return true;
    }
    return false;
}

// One byte more than the choice accounts for, anywhere in the slice: with all the finds kept,
// then with none.
bool GuidedPlanner::TrySlipped(const SliceChecksum& slice, std::int64_t want,
                               const std::vector<Removal>& candidates, SlicePlan& plan) {
    for (const bool all : {true, false}) {
        if (!all && candidates.empty()) {
            break;
        }
        const std::vector<Removal> removed = all ? candidates : std::vector<Removal>();
        std::int64_t end = 0;
        const std::vector<std::uint8_t>& out = Output(at_, want + 1, removed, end);
        if (end < 0 || static_cast<std::int64_t>(out.size()) != want + 1) {
            continue;
        }
        if (const auto p = FindInsertedByte(out.data(), out.size(), expected_.sliceSize, slice)) {
            const Removal slipped{InputOffset(at_, static_cast<std::int64_t>(*p), removed), 1};
            plan.removed = removed;
            plan.end = end;
            // The byte may be one a find points at after all: then that find is kept, and
            // the byte gets no second line.
            const auto same = std::find(candidates.begin(), candidates.end(), slipped);
            if (same != candidates.end()) {
                plan.removed.push_back(*same);
            } else {
                plan.inserted = slipped;
            }
            return true;
        }
    }
    return false;
}

// No plan proves the slice: its finds go as the pattern says, as they would without any
// checksum, and the next slice is looked for where those removals leave it.
void GuidedPlanner::KeepAsThePatternWould(std::int64_t want, const std::vector<Removal>& candidates,
                                          SlicePlan& plan) {
    std::int64_t expectedAt = at_ + want;
    for (const Removal& candidate : candidates) {
        if (candidate.offset < expectedAt) {
            expectedAt += candidate.length;
        }
    }
    plan.end = Resynchronised(std::min(expectedAt, length_), candidates);
}

// Where the slice after a bad one starts: where it matches its checksums nearest to where it
// should, as it is or with its finds left out; else where it should. A rolling CRC-32 tries
// every place in one pass over the bytes; MD5 confirms a few.
std::int64_t GuidedPlanner::Resynchronised(std::int64_t expectedAt,
                                           const std::vector<Removal>& finds) {
    const std::int64_t next = index_ + 1;
    if (next >= static_cast<std::int64_t>(expected_.slices.size())) {
        return expectedAt;
    }
    const SliceChecksum& slice = expected_.slices[static_cast<std::size_t>(next)];
    const std::int64_t want = SliceLength(next);
    const std::int64_t from = std::max(at_, expectedAt - kResyncReach);
    std::vector<Removal> later;
    for (const Removal& find : finds) {
        if (find.offset >= from) {
            later.push_back(find);
        }
    }
    std::optional<std::int64_t> best;
    for (const bool withFinds : {false, true}) {
        const std::vector<Removal> removed = withFinds ? later : std::vector<Removal>();
        if (withFinds && later.empty()) {
            break;
        }
        std::int64_t end = 0;
        const std::vector<std::uint8_t> stream =
            Output(from, expectedAt + kResyncReach - from + want, removed, end);
        int confirmations = 0;
        for (const std::size_t k : WindowsMatchingCrc(stream.data(), stream.size(), want,
                                                      expected_.sliceSize, slice.crc32)) {
            const std::int64_t start = InputOffset(from, static_cast<std::int64_t>(k), removed);
            if (best && std::abs(start - expectedAt) >= std::abs(*best - expectedAt)) {
                continue;
            }
            if (confirmations++ == kMaxConfirmations) {
                break;
            }
            if (SliceMatches(stream.data() + k, static_cast<std::size_t>(want), expected_.sliceSize,
                             slice)) {
                best = start;
            }
        }
    }
    return best ? *best : expectedAt;
}

void GuidedPlanner::Kept(std::int64_t start, std::int64_t want, const std::vector<Removal>& removed,
                         std::int64_t& end,
                         const std::function<void(const std::uint8_t*, std::size_t)>& take) {
    std::int64_t span = want;
    for (const Removal& removal : removed) {
        span += removal.length;
    }
    const auto count =
        static_cast<std::size_t>(std::max<std::int64_t>(0, std::min(span, length_ - start)));
    // Where the input holds the bytes in memory they are used there; else they are read into
    // a buffer kept from slice to slice (a fresh one each time would come from the system
    // afresh, a page fault for every page).
    const std::uint8_t* raw = input_.Peek(start, count);
    std::size_t held = count;
    if (raw == nullptr) {
        if (raw_.size() < count) {
            raw_.resize(count);
        }
        std::error_code error;
        held = input_.ReadAt(start, raw_.data(), count, error);
        if (error) {
            readError_ = error;
            held = 0;
        }
        raw = raw_.data();
    }
    std::size_t next = 0;
    std::int64_t at = start;
    std::int64_t taken = 0;
    const std::int64_t rawEnd = start + static_cast<std::int64_t>(held);
    while (taken < want && at < rawEnd) {
        if (next < removed.size() && removed[next].offset == at) {
            at += removed[next++].length;
            continue;
        }
        // The kept bytes up to the next removal, or as many as are still wanted.
        const std::int64_t stop =
            next < removed.size() ? std::min(rawEnd, removed[next].offset) : rawEnd;
        const std::int64_t piece = std::min(stop - at, want - taken);
        take(raw + (at - start), static_cast<std::size_t>(piece));
        taken += piece;
        at += piece;
    }
    end = next == removed.size() ? at : -1;
}

const std::vector<std::uint8_t>& GuidedPlanner::Output(std::int64_t start, std::int64_t want,
                                                       const std::vector<Removal>& removed,
                                                       std::int64_t& end) {
    out_.clear();
    Kept(start, want, removed, end, [this](const std::uint8_t* bytes, std::size_t count) {
        out_.insert(out_.end(), bytes, bytes + count);
    });
    return out_;
}

std::uint32_t GuidedPlanner::OutputCrc(std::int64_t start, std::int64_t want,
                                       const std::vector<Removal>& removed, std::int64_t& end,
                                       std::int64_t& count) {
    std::uint32_t crc = 0;
    count = 0;
    Kept(start, want, removed, end, [&](const std::uint8_t* bytes, std::size_t piece) {
        crc = Crc32(crc, bytes, piece);
        count += static_cast<std::int64_t>(piece);
    });
    return Crc32Zeros(crc, static_cast<std::uint64_t>(expected_.sliceSize - count));
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
