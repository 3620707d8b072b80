#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "ports/FileSystem.h"
#include "verify/Expectation.h"
#include "verify/StretchPlanner.h"

namespace korbelt {

// Plans the repair of a file against slice checksums (a PAR 2.0 set), one slice at a time in
// file order, so that the repair can follow close behind. For each slice the pattern's finds
// in it are tried all kept first, then none, then every choice with one fewer, and so on
// while the work stays within a few times the slice's own CRC-32; failing that, one byte
// slipped in anywhere is looked for, with all the finds kept and with none. A slice no plan
// proves keeps the finds the pattern alone would remove, and the next slice is looked for
// near where it should start, with and without its own finds, so that one bad slice spoils
// no other.
//
// Which finds of a slice to keep, its CRC-32 decides; a slipped byte, and a slice found again
// nearby, must match its MD5 as well, a bounded number of candidates a slice. The repaired
// copy is proven afterwards, every slice by its MD5.
class GuidedPlanner : public StretchPlanner {
  public:
    // How far past the start of the slice being planned the input must be known, with its
    // finds gathered, before it is planned: the slice, the reach of its finds and the next
    // slice, where a bad one is followed.
    static constexpr std::int64_t kMargin = std::int64_t{256} << 10;

    // reach: the distances after a CR LF '-' marker at which the pattern looks for a pair
    // (from, to exclusive), where a slice no choice of finds proves is searched.
    GuidedPlanner(InputFile& input, std::int64_t length, const Expectation& expected,
                  std::pair<int, int> reach = {39, 45});

    // Where the input must be known up to (exclusive) before the next slice can be planned.
    std::int64_t NeededUpTo() const override;
    // Every slice described has been planned, or the input has ended.
    bool Done() const override;
    // The next slice; finds are every find gathered so far, in input order (later calls see
    // the same finds and more). Reads the input from where the slice starts.
    SlicePlan PlanNext(const std::vector<Removal>& finds) override;
    // The finds past the last slice, which no slice proves or disproves.
    std::vector<SlicePlan::Ignored> Rest(const std::vector<Removal>& finds) override;
    // How many of the finds given so far are planned: no later call needs them, and the
    // caller may drop them from the front of its list once it says so with Forget.
    std::size_t Planned() const override { return nextFind_; }
    void Forget(std::size_t count) override { nextFind_ -= std::min(count, nextFind_); }
    // A read that failed: nothing planned is to be used.
    std::error_code ReadError() const override {
        return readError_ || !hint_ ? readError_ : hint_->ReadError();
    }
    // Other evidence, asked for a slice no choice of its finds proves.
    void UseHint(std::unique_ptr<RemovalHint> hint) { hint_ = std::move(hint); }

  private:
    std::int64_t SliceLength(std::int64_t index) const;
    std::vector<Removal> Candidates(const std::vector<Removal>& finds, SlicePlan& plan);
    bool TryChoices(const SliceChecksum& slice, std::int64_t want,
                    const std::vector<Removal>& candidates, SlicePlan& plan);
    bool ReadExactly(std::int64_t at, std::uint8_t* into, std::size_t count);
    bool IsRun(std::int64_t from, std::int64_t to);
    void LeaveRunsAtTheEnd(std::vector<Removal>& removed, std::int64_t& end);
    std::vector<std::int64_t> MarkerPairs(const std::uint8_t* bytes, std::size_t count,
                                          std::int64_t lead) const;
    bool TryMeeting(const SliceChecksum& slice, std::int64_t want,
                    const std::vector<Removal>& candidates, SlicePlan& plan);
    bool TryShorterWrappers(const SliceChecksum& slice, std::int64_t want,
                            const std::vector<Removal>& candidates, SlicePlan& plan);
    bool TrySlipped(const SliceChecksum& slice, std::int64_t want,
                    const std::vector<Removal>& candidates, SlicePlan& plan);
    bool TryHint(const SliceChecksum& slice, std::int64_t want, const std::vector<Removal>& finds,
                 SlicePlan& plan);
    void Made(const SlicePlan& plan);
    void KeepAsThePatternWould(std::int64_t want, const std::vector<Removal>& candidates,
                               SlicePlan& plan);
    std::int64_t Resynchronised(std::int64_t expectedAt, const std::vector<Removal>& finds);
    // want bytes from start with the removals left out, fewer where the input ends; end is
    // where they end in the input, or -1 when a removal lies beyond them. Each stretch of
    // kept bytes goes to take, in order; Output gathers them.
    void Kept(std::int64_t start, std::int64_t want, const std::vector<Removal>& removed,
              std::int64_t& end, const std::function<void(const std::uint8_t*, std::size_t)>& take);
    const std::vector<std::uint8_t>& Output(std::int64_t start, std::int64_t want,
                                            const std::vector<Removal>& removed, std::int64_t& end);
    // The CRC-32 of the same bytes, padded to the slice size; how many there were in count.
    std::uint32_t OutputCrc(std::int64_t start, std::int64_t want,
                            const std::vector<Removal>& removed, std::int64_t& end,
                            std::int64_t& count);
    static std::int64_t InputOffset(std::int64_t start, std::int64_t p,
                                    const std::vector<Removal>& removed);

    InputFile& input_;
    std::int64_t length_;
    const Expectation& expected_;
    std::pair<int, int> reach_;
    std::int64_t index_ = 0;    // the next slice
    std::int64_t at_ = 0;       // where it starts in the input
    std::size_t nextFind_ = 0;  // the first find not yet planned
    std::error_code readError_;
    std::vector<std::uint8_t> raw_;  // the input read for a slice
    std::vector<std::uint8_t> out_;  // the slice with the chosen removals left out
    std::unique_ptr<RemovalHint> hint_;
    std::vector<Removal> made_;  // the removals planned, up to some MiB before the slice
};

}  // namespace korbelt
