// The verdict of a file's markers: counted as the pass goes, and acted on where it shows
// damage at one distance.
#include <algorithm>

#include "engine/PassState.h"

namespace korbelt {
namespace {

// The markers read first are read in pieces this large, each with the reach of its last
// marker's pairs: no larger than the read-ahead window, which serves no larger reads.
constexpr std::size_t kCensusPiece = std::size_t{64} << 10;

}  // namespace

void RepairEngine::StartCensus() {
    census_.Clear();
    counting_ = options_.judgeMarkers;
    pairsAt_ = 0;
}

// The copy of the file, with its markers counted and judged. Without checksums the verdict
// decides which pair is the damage; with them, or with the file's structure, the evidence
// decides, and it is only told.
RepairEngine::Ending RepairEngine::CopyJudgingMarkers(Pass& pass) {
    StartCensus();
    const bool markersDecide = pass.evidence.entries.empty() && options_.judgeMarkers;
    if (markersDecide && run_.interactive && !CountMarkersFirst(pass)) {
        return Ending::UserAbort;
    }
    verdictMayMove_ = markersDecide && counting_;
    Ending ending = CopyRecords(pass);
    if (ending == Ending::TooManyHeld) {
        ending = StartAgainCountingFirst(pass);
    }
    verdictMayMove_ = false;
    if (ending != Ending::Normal || !counting_) {
        return ending;
    }
    JudgeMarkers();
    if (!markersDecide || guide_ || !DamageMovesAFind()) {
        return ending;
    }
    return StartAgainAtDamage(pass) ? CopyRecords(pass) : Ending::OutputRefused;
}

// In an interactive run the questions must already be about the pairs the verdict points
// at: the markers are counted before the pass. False when the user stops the file.
bool RepairEngine::CountMarkersFirst(Pass& pass) {
    std::vector<std::uint8_t> piece(kCensusPiece + MarkerCensus::kReach);
    for (std::int64_t at = 0; at < iflength_; at += kCensusPiece) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(piece.size()), iflength_ - at));
        std::error_code error;
        const std::size_t got = pass.input->ReadAt(at, piece.data(), wanted, error);
        if (error) {
            throw Unable("read input file failed", "read input file", pass.filename, error);
        }
        if (got < wanted) {
            throw InputChanged(pass.filename, "became shorter");
        }
        census_.CountAll(piece.data(), std::min(kCensusPiece, got), got);
        host_.YieldToUi();
        if (!GoOnAfterStop()) {
            return false;
        }
    }
    counting_ = false;
    JudgeMarkers();
    LookAtDamageOnly();
    return true;
}

void RepairEngine::JudgeMarkers() {
    const auto [start, end] = SearchRange();
    report_.pattern = census_.Judge(start, end);
}

// Whether the repeated-byte check, looking at the damage's distance only, would have
// removed other bytes than the pass did.
bool RepairEngine::DamageMovesAFind() const {
    if (!report_.pattern || report_.pattern->kind != PatternVerdict::Kind::Damage || pairsAt_) {
        return false;
    }
    return finds_.RemovedRepeatAt(
        [this](int distance) { return !report_.pattern->Flags(distance); });
}

// The pass again from the start, the repeated-byte check looking at the damage's distance
// only: its copy and its finds replace the first pass's. False when no copy can be opened.
bool RepairEngine::StartAgainAtDamage(Pass& pass) {
    DropPassSoFar(pass);
    counting_ = false;
    LookAtDamageOnly();
    return OpenOutput(pass);
}

// More finds than are held while the verdict could still move them: the pass starts again
// with the markers counted first, as in an interactive run, so that the finds can go on as
// they come.
RepairEngine::Ending RepairEngine::StartAgainCountingFirst(Pass& pass) {
    DropPassSoFar(pass);
    verdictMayMove_ = false;
    StartCensus();
    if (!CountMarkersFirst(pass)) {
        return Ending::UserAbort;
    }
    return OpenOutput(pass) ? CopyRecords(pass) : Ending::OutputRefused;
}

// The copy so far and the finds' lines go: the pass is to start again.
void RepairEngine::DropPassSoFar(Pass& pass) {
    pass.runLength = 0;
    CloseOutput(pass);
    if (const std::error_code error = DiscardTemporaryFile(pass)) {
        throw Unable("delete temporary file failed", "delete temporary file", pass.tempname, error);
    }
    pass.copy.reset();
    for (const int line : finds_.Withdraw()) {
        host_.Status().RemoveLine(line);
    }
}

// Where the markers show damage, the repeated-byte check looks at its distances only.
void RepairEngine::LookAtDamageOnly() {
    const PatternVerdict& pattern = *report_.pattern;
    if (pattern.kind != PatternVerdict::Kind::Damage) {
        return;
    }
    pairsAt_ = std::uint64_t{1} << pattern.distance;
    for (const PatternVerdict::Distance& other : pattern.others) {
        pairsAt_ |= std::uint64_t{1} << other.distance;
    }
}

// The repeated bytes the pass decided to remove.
std::int64_t RepairEngine::RemovedRepeats() const {
    return finds_.RemovedRepeats();
}

}  // namespace korbelt
