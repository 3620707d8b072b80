// The verdict of a file's markers: counted as the pass goes, and acted on where it shows
// damage at one distance.
#include <algorithm>

#include "engine/PassState.h"
#include "engine/scan/HeldStartInput.h"

namespace korbelt {
namespace {

// The markers read first are read in pieces this large, each with the reach of its last
// marker's pairs: no larger than the read-ahead window, which serves no larger reads.
constexpr std::size_t kCensusPiece = std::size_t{64} << 10;
// The markers of a larger file's first part judged before the copy: at least this share.
constexpr std::int64_t kJudgedShare = 64;
// The bytes held are read in pieces this large.
constexpr std::int64_t kHeldPiece = std::int64_t{1} << 20;

}  // namespace

void RepairEngine::StartCensus() {
    census_.Clear();
    counting_ = options_.judgeMarkers;
    pairsAt_ = 0;
    passedBy_ = 0;
    countFrom_ = 0;
}

// The copy of the file, with its markers counted and judged. Without checksums the verdict
// decides which pair is the damage: that of the file's first part says where the copy looks,
// and where the verdict of the whole file would have it look elsewhere, the copy is made
// again. With slice checksums the slices decide among the finds the verdict makes; with
// other checksums, or with the file's structure, the evidence decides, and it is only told.
RepairEngine::Ending RepairEngine::CopyJudgingMarkers(Pass& pass) {
    StartCensus();
    const bool markersDecide = pass.evidence.entries.empty() && options_.judgeMarkers;
    // Where slices decide, the finds of a slice they cannot prove go as the verdict has them,
    // never as a rule it overruled: it must be known first. Such a file is read twice.
    const bool slicesDecide = guide_ != nullptr && guide_->slices != nullptr && counting_;
    const bool wholeFile = (markersDecide && run_.interactive) || slicesDecide;
    if ((wholeFile || (markersDecide && plan_.countAhead > 0)) &&
        !CountMarkersAhead(pass, wholeFile)) {
        return Ending::UserAbort;
    }
    verdictMayMove_ = markersDecide && counting_;
    Ending ending = CopyRecords(pass);
    if (ending == Ending::TooManyHeld) {
        ending = StartAgainCountingFirst(pass);
    }
    verdictMayMove_ = false;
    if (ending != Ending::Normal || !options_.judgeMarkers) {
        return ending;
    }
    JudgeMarkers();
    if (!markersDecide || guide_ || !VerdictMovesAFind()) {
        return ending;
    }
    return StartAgainAtDamage(pass) ? CopyRecords(pass) : Ending::OutputRefused;
}

// Counts the markers before the copy: of the whole file where the questions must already be
// about the pairs the verdict points at, else of its first part, whose verdict is the guess
// the copy goes by. The first bytes stay in memory for the copy. False when the user stops
// the file.
bool RepairEngine::CountMarkersAhead(Pass& pass, bool wholeFile) {
    const std::int64_t ahead =
        wholeFile ? iflength_
                  : std::min(iflength_, std::max(plan_.countAhead, iflength_ / kJudgedShare));
    // With the reach of the last markers' pairs, so that no byte held is read again.
    const std::int64_t held =
        plan_.countAhead > 0
            ? std::min(iflength_, std::min(ahead, plan_.countAhead) + MarkerCensus::kReach)
            : 0;
    if (held > heldSize_) {
        heldAhead_ = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(held));
        heldSize_ = held;
    }
    if (!run_.interactive) {
        // The file's reading has begun: a failure leaves it as it was, and says so.
        pass.copying = true;
        readpos = 1;
        lastLook_ = std::chrono::steady_clock::now();
    }
    std::int64_t counted = 0;  // the markers before this offset are counted
    if (!CountHeldBytes(pass, held, counted) || !CountReadBytes(pass, ahead, counted)) {
        return false;
    }
    if (held > 0) {
        pass.start->Hold({heldAhead_.get(), static_cast<std::size_t>(held)}, held == iflength_);
    }
    countFrom_ = counted;
    const auto [start, end] = SearchRange();
    counting_ = counted < iflength_;
    if (wholeFile) {
        JudgeMarkers();  // the questions to come are about its finds
    }
    pairsAt_ = FlaggedDistances(census_.Judge(start, end));
    return true;
}

// Reads the file's first held bytes into memory, counting the markers whose reach they hold.
bool RepairEngine::CountHeldBytes(Pass& pass, std::int64_t held, std::int64_t& counted) {
    for (std::int64_t at = 0; at < held;) {
        const std::size_t got = ReadAhead(pass, pass.start->File(), at, heldAhead_.get() + at,
                                          std::min<std::int64_t>(kHeldPiece, held - at));
        at += static_cast<std::int64_t>(got);
        const std::int64_t countTo = at == iflength_ ? at : at - MarkerCensus::kReach;
        if (countTo > counted) {
            census_.CountAll(heldAhead_.get() + counted, static_cast<std::size_t>(countTo - counted),
                             static_cast<std::size_t>(at - counted));
            counted = countTo;
        }
        if (!YieldWhileCounting(run_.interactive)) {
            return false;
        }
    }
    return true;
}

// Counts the markers from counted up to ahead in pieces read and let go.
bool RepairEngine::CountReadBytes(Pass& pass, std::int64_t ahead, std::int64_t& counted) {
    std::vector<std::uint8_t> piece(kCensusPiece + MarkerCensus::kReach);
    while (counted < ahead) {
        const std::size_t got =
            ReadAhead(pass, pass.start->File(), counted, piece.data(),
                      std::min({static_cast<std::int64_t>(piece.size()), iflength_ - counted,
                                ahead - counted + MarkerCensus::kReach}));
        const std::size_t scanned =
            static_cast<std::size_t>(std::min<std::int64_t>(kCensusPiece, ahead - counted));
        census_.CountAll(piece.data(), scanned, got);
        counted += static_cast<std::int64_t>(scanned);
        if (!YieldWhileCounting(run_.interactive)) {
            return false;
        }
    }
    return true;
}

// Exactly count bytes of the file at offset, or why not.
std::size_t RepairEngine::ReadAhead(Pass& pass, InputFile& file, std::int64_t offset,
                                    std::uint8_t* into, std::int64_t count) {
    std::error_code error;
    const auto wanted = static_cast<std::size_t>(count);
    const std::size_t got = file.ReadAt(offset, into, wanted, error);
    if (error) {
        throw Unable("read input file failed", "read input file", pass.filename, error);
    }
    if (got < wanted) {
        throw InputChanged(pass.filename, "became shorter");
    }
    return got;
}

// Counting the markers first before questions yields at every piece, as the pass does
// between records; otherwise as often as reading checksum files does.
bool RepairEngine::YieldWhileCounting(bool everyPiece) {
    if (!everyPiece) {
        return !StopWhileReading();
    }
    host_.YieldToUi();
    return GoOnAfterStop();
}

void RepairEngine::JudgeMarkers() {
    const auto [start, end] = SearchRange();
    report_.pattern = census_.Judge(start, end);
}

// Whether the repeated-byte check, looking where the verdict of the whole file says, would
// have removed other bytes than the pass did: a pair the pass passed by at a distance the
// verdict looks at, or a repeat removed at one it does not.
bool RepairEngine::VerdictMovesAFind() const {
    return korbelt::VerdictMovesAFind(pairsAt_,
                                      report_.pattern ? FlaggedDistances(*report_.pattern) : 0,
                                      passedBy_, finds_.RemovedRepeatDistances());
}

// The pass again from the start, the repeated-byte check looking at the damage's distance
// only: its copy and its finds replace the first pass's. False when no copy can be opened.
bool RepairEngine::StartAgainAtDamage(Pass& pass) {
    DropPassSoFar(pass);
    counting_ = false;
    pairsAt_ = FlaggedDistances(*report_.pattern);
    passedBy_ = 0;
    return OpenOutput(pass);
}

// More finds than are held while the verdict could still move them: the pass starts again
// with the markers counted first, as in an interactive run, so that the finds can go on as
// they come.
RepairEngine::Ending RepairEngine::StartAgainCountingFirst(Pass& pass) {
    DropPassSoFar(pass);
    verdictMayMove_ = false;
    StartCensus();
    if (!CountMarkersAhead(pass, true)) {
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

// The repeated bytes the pass decided to remove.
std::int64_t RepairEngine::RemovedRepeats() const {
    return finds_.RemovedRepeats();
}

}  // namespace korbelt
