#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "ports/FileSystem.h"
#include "verify/Expectation.h"

namespace korbelt {

// Bytes the pattern would take out of the input: from offset (0-based), length of them.
struct Removal {
    std::int64_t offset = 0;
    std::int64_t length = 1;
    bool operator==(const Removal&) const = default;
};

// What a file's slice checksums say of the removals, decided slice by slice in file order.
struct GuidedPlan {
    struct Ignored {
        Removal removal;
        bool sliceVerifiesWithout = false;  // else its slice does not verify either way
    };
    std::vector<Removal> kept;      // each makes its slice verify
    std::vector<Ignored> ignored;   // never removed
    std::vector<Removal> inserted;  // single bytes the checksums alone found
    std::int64_t slicesVerified = 0;
    std::int64_t sliceCount = 0;
    std::error_code readError;  // the input could not be read: the plan is not to be used
};

// Plans the repair of a file against slice checksums (a PAR 2.0 set). For each slice: the
// pattern's finds in it that make it verify are kept, whichever combination of them does,
// all first; failing that, one more byte slipped in anywhere in the slice is looked for. A
// slice that still does not verify keeps its bytes, and the next slice is looked for at
// nearby offsets, so that one bad slice does not spoil the rest.
//
// Which finds of a slice to keep, its CRC-32 decides; a slipped byte, picked from every
// position of the slice, and a slice found again nearby must match its MD5 as well. The
// repaired copy is proven afterwards, every slice by its MD5, as it is written.
class GuidedPlanner {
  public:
    GuidedPlanner(InputFile& input, std::int64_t length, const Expectation& expected);

    // finds in input order; what the pattern would remove.
    GuidedPlan Plan(const std::vector<Removal>& finds);

  private:
    std::int64_t SliceLength(std::int64_t index) const;
    bool PlanSlice(std::int64_t index, const std::vector<Removal>& candidates,
                   std::vector<Removal>& kept);
    std::int64_t Resynchronised(std::int64_t bad);
    // want bytes from start with the removals left out, fewer where the input ends; end is
    // where they end in the input, or -1 when a removal lies beyond them.
    const std::vector<std::uint8_t>& Output(std::int64_t start, std::int64_t want,
                                            const std::vector<Removal>& removed, std::int64_t& end);
    static std::int64_t InputOffset(std::int64_t start, std::int64_t p,
                                    const std::vector<Removal>& removed);

    InputFile& input_;
    std::int64_t length_;
    const Expectation& expected_;
    std::int64_t at_ = 0;              // where the current slice starts in the input
    std::optional<Removal> inserted_;  // found in the current slice
    std::int64_t unmended_ = 0;        // slices that could not be made to verify
    std::error_code readError_;
    std::vector<std::uint8_t> raw_;  // the input read for a slice
    std::vector<std::uint8_t> out_;  // the slice with the chosen removals left out
};

}  // namespace korbelt
