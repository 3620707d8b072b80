// The verdict of a file's markers, known before the first find is decided: the markers the
// scan met up to the first pair are counted as it went, the rest are read ahead of the copy
// at that moment. Every find is then decided once, as it comes, and the copy written once.
#include <algorithm>

#include "engine/PassState.h"
#include "engine/ReadAheadInput.h"

namespace korbelt {
namespace {

// The markers read ahead are read in pieces this large, each with the reach of its last
// marker's pairs; large enough that read calls cost little.
constexpr std::size_t kCensusPiece = std::size_t{1} << 20;

}  // namespace

void RepairEngine::StartCensus() {
    census_.Clear();
    counting_ = options_.judgeMarkers;
    pairsAt_ = 0;
    judgeAtFirstPair_ = false;
}

// The copy of the file, with its markers counted and judged. Without checksums the verdict
// decides which pair is the damage, from the first pair on; with them the checksums decide,
// and it is only told.
RepairEngine::Ending RepairEngine::CopyJudgingMarkers(Pass& pass) {
    StartCensus();
    judgeAtFirstPair_ = pass.evidence.entries.empty() && counting_;
    censusPass_ = &pass;
    const Ending ending = CopyRecords(pass);
    censusPass_ = nullptr;
    judgeAtFirstPair_ = false;
    if (ending == Ending::Normal && counting_) {
        counting_ = false;
        JudgeMarkers();
    }
    return ending;
}

// The scan has met its first pair at the marker whose CR is at offset (0-based) and has
// counted the markers up to it: the markers after it are counted from the file, the verdict
// judged, and the repeated-byte check looks at the damage's distances only from now on.
void RepairEngine::JudgeBeforeFirstFind(std::int64_t crOffset) {
    judgeAtFirstPair_ = false;
    CountMarkersAfter(*censusPass_, crOffset + 1);
    counting_ = false;
    JudgeMarkers();
    LookAtDamageOnly();
}

// Reads the file from offset on beside the copy, not through the read window, whose bytes
// the record being scanned may be: the window and what the copy has gathered in it stay.
void RepairEngine::CountMarkersAfter(Pass& pass, std::int64_t offset) {
    InputFile& file = pass.window != nullptr ? pass.window->Underlying() : *pass.input;
    std::vector<std::uint8_t> piece(kCensusPiece + MarkerCensus::kReach);
    std::uint8_t before = 0;
    lastLook_ = std::chrono::steady_clock::now();
    for (std::int64_t at = offset; at < iflength_; at += kCensusPiece) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(piece.size()), iflength_ - at));
        std::error_code error;
        const std::size_t got = file.ReadAt(at, piece.data(), wanted, error);
        if (error) {
            throw Unable("read input file failed", "read input file", pass.filename, error);
        }
        if (got < wanted) {
            throw InputChanged(pass.filename, "became shorter");
        }
        const std::size_t scanned = std::min(kCensusPiece, got);
        census_.CountAll(piece.data(), scanned, got, before);
        before = piece[scanned - 1];
        if (StopWhileReading()) {
            throw PassStopped();
        }
    }
}

void RepairEngine::JudgeMarkers() {
    const auto [start, end] = SearchRange();
    report_.pattern = census_.Judge(start, end);
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
