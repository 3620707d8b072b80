#include "engine/policy/FindPolicy.h"

#include <bit>

#include "engine/report/ReportText.h"

namespace korbelt {
namespace {

int Highest(Distances distances) {
    return 63 - std::countl_zero(distances);
}

}  // namespace

PairChoice ChoosePair(Distances pairs, Distances flagged) {
    const Distances looked = flagged == 0 ? pairs : pairs & flagged;
    return {looked == 0 ? -1 : Highest(looked), pairs & ~looked};
}

Distances FlaggedDistances(const PatternVerdict& pattern) {
    if (pattern.kind != PatternVerdict::Kind::Damage) {
        return 0;
    }
    Distances distances = Distances{1} << pattern.distance;
    for (const PatternVerdict::Distance& other : pattern.others) {
        distances |= Distances{1} << other.distance;
    }
    return distances;
}

bool VerdictMovesAFind(Distances decidedBy, Distances flagged, Distances passedBy,
                       Distances removedAt) {
    if (flagged == decidedBy) {
        return false;
    }
    const Distances looked = flagged == 0 ? ~Distances{0} : flagged;
    return (passedBy & looked) != 0 || (removedAt & ~looked) != 0;
}

QuestionKind QuestionFor(FindKind kind) {
    switch (kind) {
        case FindKind::RepeatedByte:
            return QuestionKind::RemoveRepeatedByte;
        case FindKind::Wrapper:
            return QuestionKind::RemoveWrapper;
        case FindKind::SlippedByte:
        case FindKind::StructureByte:
            break;
    }
    return QuestionKind::RemoveSlippedByte;
}

Decision AskAboutEachFind::Decide(const Find& find) {
    if (!boxes_.Question(QuestionFor(find.kind), FindQuestion(find, format_))) {
        return {find, false, Reason::Declined};
    }
    return {find, true, Reason::Found};
}

}  // namespace korbelt
