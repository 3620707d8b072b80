#include "engine/policy/FindPolicy.h"

#include "engine/report/ReportText.h"

namespace korbelt {

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
