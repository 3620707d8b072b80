#pragma once

#include <bit>
#include <cstdint>

#include "engine/report/FileReport.h"
#include "engine/report/NumberFormat.h"
#include "ports/MessageBoxes.h"

namespace korbelt {

// The policies that decide the scan's finds, each a function of its evidence alone: what it
// is told, never the file or the disk. The guided planners (verify/GuidedPlan.h,
// structure/RegionPlanner.h) are the policies of evidence that decides a stretch at a time.

// Distances after a marker's CR as bits: bit k, a pair of equal bytes k and k + 1 after it.
using Distances = std::uint64_t;

// Which pair after a marker is the repeated byte the record leaves out.
struct PairChoice {
    int distance = -1;     // -1: none
    Distances passedBy = 0;  // pairs at distances the verdict does not flag, left alone
};

// The pattern's rule: the last pair in the search range. Where the markers' verdict flags
// distances (flagged != 0), the last pair at one of them; a pair anywhere else is chance.
// Inline: the scan asks it at every marker with a pair.
inline PairChoice ChoosePair(Distances pairs, Distances flagged) {
    const Distances looked = flagged == 0 ? pairs : pairs & flagged;
    return {looked == 0 ? -1 : 63 - std::countl_zero(looked), pairs & ~looked};
}

// The distances the verdict flags: none unless it shows damage.
Distances FlaggedDistances(const PatternVerdict& pattern);

// Whether a pass that chose its pairs by the distances decidedBy would have removed other
// bytes had it known flagged: a pair it passed by at a distance now looked at, or a repeat
// it removed at a distance now not looked at (removedAt: the distances it removed repeats at).
bool VerdictMovesAFind(Distances decidedBy, Distances flagged, Distances passedBy,
                       Distances removedAt);

// The question a find is asked about by.
QuestionKind QuestionFor(FindKind kind);

// Decides each find of a pass as it comes.
class FindPolicy {
  public:
    virtual ~FindPolicy() = default;
    virtual Decision Decide(const Find& find) = 0;
};

// Every find the pattern points at is removed.
class RemoveEveryFind final : public FindPolicy {
  public:
    Decision Decide(const Find& find) override { return {find, true, Reason::Found}; }
};

// Each find is removed only where the user says Yes.
class AskAboutEachFind final : public FindPolicy {
  public:
    AskAboutEachFind(MessageBoxes& boxes, const NumberFormat& format)
        : boxes_(boxes), format_(format) {}
    Decision Decide(const Find& find) override;

  private:
    MessageBoxes& boxes_;
    const NumberFormat& format_;
};

}  // namespace korbelt
