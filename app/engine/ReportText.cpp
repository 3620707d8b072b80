#include "engine/ReportText.h"

#include "engine/RepairEngine.h"

namespace korbelt {
namespace {

// The line up to what became of the find.
std::string Seen(const Find& find, const NumberFormat& format) {
    std::string line = "  @" + format.Grouped(find.position) + " found ";
    switch (find.kind) {
        case FindKind::RepeatedByte:
            for (const std::uint8_t byte : find.shown) {
                line += NumberFormat::ThreeDigits(byte) + " ";
            }
            return line;
        case FindKind::Wrapper:
            return line + "Mime Wrapper";
        case FindKind::SlippedByte:
            return line + NumberFormat::ThreeDigits(find.shown.empty() ? 0 : find.shown[0]) +
                   " slipped in, by its slice";
    }
    return line;
}

const char* Outcome(Reason reason) {
    switch (reason) {
        case Reason::Found:
            return " removed";
        case Reason::Declined:
            return " ignored";
        case Reason::SliceVerifiesWithout:
            return " ignored: its slice verifies without it";
        case Reason::SliceDoesNotVerify:
            return " ignored: its slice does not verify";
        case Reason::CopyDropped:
            return " not removed";
    }
    return "";
}

}  // namespace

std::string FindLine(const Decision& decision, const NumberFormat& format) {
    return Seen(decision.find, format) + Outcome(decision.reason);
}

std::string FindQuestion(const Find& find, const NumberFormat& format) {
    const char* what = find.kind == FindKind::RepeatedByte ? "Shall I remove the repeated byte?"
                       : find.kind == FindKind::Wrapper    ? "Shall I remove the Wrapper?"
                                                           : "Shall I remove the slipped-in byte?";
    return Seen(find, format) + RepairEngine::kCrLf + what;
}

}  // namespace korbelt
