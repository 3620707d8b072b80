// The checks that run at each marker triple the scan finds in a record.
#include <algorithm>

#include "engine/PassState.h"
#include "engine/ReportText.h"

namespace korbelt {

std::pair<int, int> RepairEngine::SearchRange() const {
    // Only a hand-edited settings store can give a range outside 0..51; keep the window
    // inside the buffer whatever it says.
    const int start = std::clamp<int>(options_.rangeStart, 0, kLookAhead - 1);
    return {start, std::clamp<int>(options_.rangeEnd, start + 1, kLookAhead)};
}

int RepairEngine::Check4RptByte(std::int64_t filepos, int currpos) {
    const auto [start, end] = SearchRange();
    if (counting_ && filepos - 1 + currpos >= countFrom_) {
        census_.Count(buff.data() + currpos,
                      static_cast<int>(std::min<std::int64_t>(
                          kBufferSize - currpos, iflength_ - (filepos - 1 + currpos))));
    }

    int rptbyte = -1;
    int i = currpos + start;
    while (i <= currpos + end - 1) {
        // Both bytes of a pair must come from the input: the zeros past its end must not
        // make its last byte look repeated. Where the markers show damage, a pair at any
        // other distance is chance.
        const bool pairInInput = filepos + i + 1 <= iflength_;
        if (buff[i] == buff[i + 1] && pairInInput) {
            const std::uint64_t distance = std::uint64_t{1} << (i - currpos);
            if (pairsAt_ == 0 || (pairsAt_ & distance) != 0) {
                rptbyte = i;
            } else {
                passedBy_ |= distance;
            }
        }
        ++i;
    }
    if (rptbyte == -1) {
        return rptbyte;
    }
    Find find;
    find.kind = FindKind::RepeatedByte;
    find.offset = filepos - 1 + rptbyte;
    find.position = filepos + currpos;
    find.shown.assign(buff.data() + currpos + start, buff.data() + i + 1);
    return route_->Found(find) ? rptbyte : -1;
}

int RepairEngine::Check4Wrapper(std::int64_t filepos, int currpos) {
    for (int i = currpos + 3; i < currpos + 3 + kWrapperDashes; ++i) {
        if (buff[i] != kDash) {
            return -1;
        }
    }
    Find find;
    find.kind = FindKind::Wrapper;
    find.offset = filepos + currpos;
    find.position = filepos + currpos;
    if (!route_->Found(find)) {
        return -1;
    }
    heldcr = kCR;
    return currpos + 1;
}

std::int64_t RepairEngine::FindEndofWrapper(std::int64_t filepos) {
    int crlfcount = 0;
    int i = 0;
    while (i < kRecordSize && crlfcount < 2) {
        if (buff[i] == kCR && buff[i + 1] == kLF) {
            ++crlfcount;
        }
        ++i;
    }
    ++i;
    if (crlfcount < 2) {
        host_.Boxes().Notice(std::string("Unable to find end of Mime Wrapper") + kCrLf +
                             "Please email " + kSupportAddress +
                             " with this message and a URL on Tamsel for this file");
        return 0;
    }
    if (buff[i + 1] == kLF) {
        ++i;
    }
    heldcr = 0;
    return filepos + i + 2;
}

}  // namespace korbelt

namespace korbelt {

// What becomes of a find the pattern, or the checksums, would remove: in an interactive run
// the user's answer, else it is removed.
Decision RepairEngine::Decide(const Find& find) {
    const QuestionKind kind = find.kind == FindKind::RepeatedByte ? QuestionKind::RemoveRepeatedByte
                              : find.kind == FindKind::Wrapper    ? QuestionKind::RemoveWrapper
                                                                  : QuestionKind::RemoveSlippedByte;
    if (run_.interactive && !host_.Boxes().Question(kind, FindQuestion(find, format_))) {
        return {find, false, Reason::Declined};
    }
    return {find, true, Reason::Found};
}

// The find's line, and its place in the report; whether it is removed. A wrapper the record
// loop cuts learns its length a record later.
bool RepairEngine::Tell(const Decision& decision, bool lengthToCome) {
    const int line = host_.Status().AppendLine(FindLine(decision, format_, options_.dryRun));
    finds_.Add(decision, line, lengthToCome);
    if (finds_.OverHeld()) {
        if (verdictMayMove_) {
            startAgain_ = true;
        } else {
            finds_.PassOn();
        }
    }
    host_.YieldToUi();
    return decision.removed;
}

}  // namespace korbelt


