// What the checksums a download carries say of a file: proven intact before any pass, and
// the repaired copy checked as it is written. Where they say nothing, nothing changes.
#include <algorithm>
#include <vector>

#include "engine/PassState.h"

namespace korbelt {
namespace {

// Bytes hashed between two looks at the window when a file is checked before its pass.
constexpr std::size_t kHashChunk = std::size_t{1} << 20;
constexpr int kChunksPerYield = 8;

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

}  // namespace

// Checksum files are never repaired as downloads: a PAR 2.0 file whose packets all check is
// intact, and a list is left alone.
std::optional<FileOutcome> RepairEngine::LeaveChecksumFile(const std::string& filename) {
    const ChecksumCatalog::FileKind kind = ChecksumCatalog::KindOf(filename);
    if (kind == ChecksumCatalog::FileKind::TextList) {
        host_.Status().SetLine(run_.listindex, filename);
        InformUser("  checksum list, left alone");
        run_.fileerror = false;
        return FileOutcome::Clean;
    }
    if (kind == ChecksumCatalog::FileKind::Par2 &&
        checksums_->ReadPar2File(filename).AllPacketsSound()) {
        host_.Status().SetLine(run_.listindex, filename);
        InformUser("  intact: every PAR 2.0 packet checks");
        run_.fileerror = false;
        return FileOutcome::Intact;
    }
    return std::nullopt;
}

// A file that matches its checksum is left exactly as it is, whatever the pattern would
// find in it: no question, no copy, no backup. Only a file of the expected length is read.
std::optional<FileOutcome> RepairEngine::ProveIntact(Pass& pass) {
    const Expectation& expected = *pass.expected;
    std::error_code error;
    std::unique_ptr<InputFile> input = fs_.OpenInput(pass.filename, error);
    // Whatever stands in the way (a lock, a read error) is met again by the pass, which says so.
    if (!input || input->Lock() == LockResult::HeldElsewhere) {
        return std::nullopt;
    }
    const std::int64_t length = input->Length(error);
    if (error || (expected.length && *expected.length != length)) {
        return std::nullopt;
    }
    BackgroundCheck check(expected, false);
    if (!HashInput(*input, length, check, true)) {
        host_.SetProgress(0);
        if (run_.stopflag) {
            run_.stopflag = false;
            host_.Status().SetLine(run_.listindex, "Aborted " + pass.filename);
            run_.fileerror = true;
            return FileOutcome::NotRepaired;
        }
        return std::nullopt;
    }
    host_.SetProgress(0);
    if (!check.Finish().matches) {
        return std::nullopt;
    }
    FileIdentity identity;
    if (!input->Identify(identity)) {
        run_.processed.Add(identity);
    }
    host_.Status().SetLine(run_.listindex, pass.filename);
    InformUser("  intact: matches " + Quoted(expected.source));
    run_.fileerror = false;
    return FileOutcome::Intact;
}

// Feeds the whole file to the check; false when a read fails or, if stoppable, the user
// stops it and agrees to abort (stopflag stays set then).
bool RepairEngine::HashInput(InputFile& input, std::int64_t length, BackgroundCheck& check,
                             bool stoppable) {
    std::vector<std::uint8_t> chunk(kHashChunk);
    int chunks = 0;
    int lastpct = -1;
    for (std::int64_t at = 0; at < length;) {
        std::error_code error;
        const std::size_t got = input.ReadAt(at, chunk.data(), chunk.size(), error);
        if (error || got == 0) {
            return false;
        }
        check.Add(chunk.data(), got);
        at += static_cast<std::int64_t>(got);
        const int pct = static_cast<int>(at * 100 / length);
        if (pct != lastpct) {
            host_.SetProgress(pct);
            lastpct = pct;
        }
        if (stoppable && ++chunks % kChunksPerYield == 0) {
            host_.YieldToUi();
            if (run_.stopflag) {
                run_.stopflag = false;
                if (host_.Boxes().Question(QuestionKind::AbortProcessing, "Abort Processing?")) {
                    run_.stopflag = true;
                    return false;
                }
            }
        }
    }
    return true;
}

void RepairEngine::Observe(Pass& pass, const std::uint8_t* bytes, std::int64_t count) {
    if (pass.written) {
        pass.written->Add(bytes, static_cast<std::size_t>(count));
    }
}

// The copy against the checksum. A match is a proven repair. Without one, slice checksums
// decide: the copy is kept only when more of its slices match than of the input's. With a
// whole-file checksum alone, the copy is kept as without any. Either way the file is not
// counted as repaired.
RepairEngine::Verdict RepairEngine::Judge(Pass& pass, bool changed) {
    const Expectation& expected = *pass.expected;
    const StreamCheck::Result copy = pass.written->Finish();
    if (copy.matches) {
        return {true, "  verified: matches " + Quoted(expected.source),
                changed ? FileOutcome::Repaired : FileOutcome::Intact};
    }
    if (!changed || !expected.HasSlices()) {
        return {true, "  not verified: does not match " + Quoted(expected.source),
                FileOutcome::NotVerified};
    }
    // A slice the guide could not mend keeps its bytes and shifts the rest of the copy:
    // its slices are counted where the guide found them.
    const std::int64_t now = guide_ && !guide_->declined ? guide_->slicesVerified
                             : copy.sliceCount > 0       ? copy.slicesMatching
                             : pass.copy                 ? SlicesMatching(*pass.copy, expected)
                                                         : 0;
    const std::int64_t was = SlicesMatching(*pass.input, expected);
    const bool keep = now > was;
    const std::string of = " of " + std::to_string(expected.slices.size());
    return {keep,
            "  not verified against " + Quoted(expected.source) + ": " + std::to_string(now) + of +
                " slices match, was " + std::to_string(was) + of +
                (keep ? "" : "; the file was left as it is"),
            FileOutcome::NotVerified};
}

// How many of a file's slices match, read from the start; 0 when it cannot be read.
std::int64_t RepairEngine::SlicesMatching(InputFile& file, const Expectation& expected) {
    BackgroundCheck check(expected, true);
    std::error_code error;
    const std::int64_t length = file.Length(error);
    return !error && HashInput(file, length, check, false) ? check.Finish().slicesMatching : 0;
}

// The finds of a pass whose copy was discarded were never removed from the file: their
// lines must not say so.
void RepairEngine::MarkRemovalsUndone(const Pass& pass) {
    StatusList& status = host_.Status();
    const std::string removed = " removed";
    for (int index = pass.progressline + 1; index < status.LineCount(); ++index) {
        const std::string line = status.Line(index);
        if (line.ends_with(removed)) {
            status.SetLine(index, line.substr(0, line.size() - removed.size()) + " not removed");
        }
    }
}

}  // namespace korbelt
