// The checks that run at each marker triple the scan finds in a record.
#include <algorithm>

#include "engine/RepairEngine.h"

namespace korbelt {

int RepairEngine::Check4RptByte(std::int64_t filepos, int currpos) {
    // Only a hand-edited settings store can give a range outside 0..51; keep the window
    // inside the buffer whatever it says.
    const int start = std::clamp<int>(globals_.GetDBRangeStart(), 0, kLookAhead - 1);
    const int end = std::clamp<int>(globals_.GetDBRangeEnd(), start + 1, kLookAhead);

    int rptbyte = -1;
    std::string bytelist;
    int i = currpos + start;
    while (i <= currpos + end - 1) {
        bytelist += NumberFormat::ThreeDigits(buff[i]) + " ";
        // Both bytes of a pair must come from the input: the zeros past its end must not
        // make its last byte look repeated.
        const bool pairInInput = filepos + i + 1 <= iflength_;
        if (buff[i] == buff[i + 1] && pairInInput) {
            rptbyte = i;
        }
        ++i;
    }
    bytelist += NumberFormat::ThreeDigits(buff[i]) + " ";
    if (rptbyte == -1 || collecting_) {
        return rptbyte;
    }

    std::string line = "  @" + format_.Grouped(filepos + currpos) + " found " + bytelist;
    if (const auto refusal = GuidedRefusal(filepos - 1 + rptbyte)) {
        line += " ignored: " + *refusal;
        rptbyte = -1;
    } else if (run_.interactive &&
               !host_.Boxes().Question(QuestionKind::RemoveRepeatedByte,
                                       line + kCrLf + "Shall I remove the repeated byte?")) {
        line += " ignored";
        rptbyte = -1;
        NoteDeclined();
    }
    if (rptbyte != -1) {
        line += " removed";
    }
    InformUser(line);
    host_.YieldToUi();
    return rptbyte;
}

int RepairEngine::Check4Wrapper(std::int64_t filepos, int currpos) {
    for (int i = currpos + 3; i < currpos + 3 + kWrapperDashes; ++i) {
        if (buff[i] != kDash) {
            return -1;
        }
    }
    if (collecting_) {
        heldcr = kCR;
        return currpos + 1;
    }
    std::string line = "  @" + format_.Grouped(filepos + currpos) + " found Mime Wrapper";
    const auto refusal = GuidedRefusal(filepos + currpos);
    if (refusal || (run_.interactive &&
                    !host_.Boxes().Question(QuestionKind::RemoveWrapper,
                                            line + kCrLf + "Shall I remove the Wrapper?"))) {
        line += refusal ? " ignored: " + *refusal : " ignored";
        if (!refusal) {
            NoteDeclined();
        }
        InformUser(line);
        host_.YieldToUi();
        return -1;
    }
    heldcr = kCR;
    line += " removed";
    InformUser(line);
    host_.YieldToUi();
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
        if (collecting_) {
            return 0;  // said when the pass meets it
        }
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
