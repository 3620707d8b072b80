#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <system_error>
#include <vector>

namespace korbelt {

// Bytes the pattern would take out of the input: from offset (0-based), length of them.
struct Removal {
    std::int64_t offset = 0;
    std::int64_t length = 1;
    bool operator==(const Removal&) const = default;
};

// Hands keep(first, count) each run of the bytes of [start, end) that the removals (in order,
// apart, inside it) leave, in order; bytes holds the input from start to end.
template <typename Keep>
void ForEachKeptRun(const std::uint8_t* bytes, std::int64_t start, std::int64_t end,
                    const std::vector<Removal>& removals, Keep&& keep) {
    std::int64_t at = start;
    for (const Removal& removal : removals) {
        keep(bytes + (at - start), static_cast<std::size_t>(removal.offset - at));
        at = removal.offset + removal.length;
    }
    keep(bytes + (at - start), static_cast<std::size_t>(end - at));
}

// What the evidence decided of one stretch of the input (a slice its checksums describe, or
// a region its structure delimits, with the bytes before it that no evidence covers).
struct SlicePlan {
    struct Ignored {
        Removal removal;
        bool sliceVerifiesWithout = false;  // else its stretch does not verify either way
    };
    std::int64_t index = 0;
    std::int64_t start = 0;  // where the stretch lies in the input
    std::int64_t end = 0;
    // Its bytes, with the removals made and the slipped byte left out, pass the evidence's
    // check. Otherwise nothing proved it, and the finds in it that no evidence decided are
    // removed as the pattern alone would remove them.
    bool verified = false;
    std::vector<Removal> removed;  // the removals made (a wrapper's may end elsewhere than found)
    std::vector<Ignored> ignored;
    std::optional<Removal> inserted;  // a byte the evidence alone found
    // Verified: the removals are those other evidence (the file's structure) chose, which
    // no choice of the stretch's own finds gave.
    bool otherEvidenceChose = false;
};

// Removals that other evidence than a stretch's own checksums would make in the input (the
// file's structure, region by region), for a stretch no choice of its finds proves: its
// checksums then say whether they are right.
class RemovalHint {
  public:
    virtual ~RemovalHint() = default;
    // The removals the evidence makes in what it can decide from start to end (exclusive),
    // in file order; finds are the removals made before start and the scan's finds from it
    // on, in input order, known up to known (exclusive).
    virtual std::vector<Removal> Within(std::int64_t start, std::int64_t end,
                                        const std::vector<Removal>& finds,
                                        std::int64_t known) = 0;
    virtual std::error_code ReadError() const = 0;
};

// Decides the pattern's finds of a file a stretch at a time, in file order, from evidence
// about what the file must be, so that the repair's copy can follow close behind the scan.
class StretchPlanner {
  public:
    virtual ~StretchPlanner() = default;
    // Where the input must be known up to (exclusive), its finds gathered, before the next
    // stretch can be planned.
    virtual std::int64_t NeededUpTo() const = 0;
    // Every stretch the evidence describes has been planned, or the input has ended.
    virtual bool Done() const = 0;
    // The next stretch; finds are every find gathered so far and not forgotten, in input
    // order (later calls see the same finds and more).
    virtual SlicePlan PlanNext(const std::vector<Removal>& finds) = 0;
    // The finds past the last stretch, which the evidence neither proves nor disproves.
    virtual std::vector<SlicePlan::Ignored> Rest(const std::vector<Removal>& finds) = 0;
    // How many of the finds given so far are planned: the caller may drop them from the
    // front of its list once it says so with Forget.
    virtual std::size_t Planned() const = 0;
    virtual void Forget(std::size_t count) = 0;
    // A read that failed: nothing planned is to be used.
    virtual std::error_code ReadError() const = 0;
};

}  // namespace korbelt
