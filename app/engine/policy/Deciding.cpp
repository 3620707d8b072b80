// Each find of a pass decided as it comes, and told: its line, and its place in the report.
#include "engine/PassState.h"
#include "engine/report/ReportText.h"

namespace korbelt {

// A find the pattern, or the checksums, would remove, decided by the run's policy: asked in
// an interactive run, else removed.
Decision RepairEngine::Decide(const Find& find) {
    if (run_.interactive) {
        return AskAboutEachFind(host_.Boxes(), format_).Decide(find);
    }
    return RemoveEveryFind().Decide(find);
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


