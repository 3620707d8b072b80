// The checks that run at each marker triple the scan finds in a record.
#include <algorithm>

#include "engine/PassState.h"

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

    Distances pairs = 0;
    int i = currpos + start;
    while (i <= currpos + end - 1) {
        // Both bytes of a pair must come from the input: the zeros past its end must not
        // make its last byte look repeated.
        const bool pairInInput = filepos + i + 1 <= iflength_;
        if (buff[i] == buff[i + 1] && pairInInput) {
            pairs |= Distances{1} << (i - currpos);
        }
        ++i;
    }
    if (pairs == 0) {
        return -1;
    }
    const PairChoice choice = ChoosePair(pairs, pairsAt_);
    passedBy_ |= choice.passedBy;
    if (choice.distance < 0) {
        return -1;
    }
    const int rptbyte = currpos + choice.distance;
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
