// What the checksums a download carries say of a file: proven intact before any pass, and
// the repaired copy checked as it is written. Where they say nothing, nothing changes.
#include <algorithm>
#include <vector>

#include "engine/PassState.h"
#include "engine/report/ReportText.h"
#include "verify/EvidenceCheck.h"

namespace korbelt {
namespace {

// Bytes hashed between two looks at the window when a file is checked before its pass.
constexpr std::size_t kHashChunk = std::size_t{1} << 20;
constexpr int kChunksPerYield = 8;

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// 'A', 'A' or 'B', 'A', 'B' or 'C'.
std::string QuotedList(const std::vector<std::string>& texts) {
    std::string list;
    for (std::size_t index = 0; index < texts.size(); ++index) {
        list += (index == 0                  ? ""
                 : index + 1 == texts.size() ? " or "
                                             : ", ") +
                Quoted(texts[index]);
    }
    return list;
}

// The checksum files that name a file, each once, in the order of their entries.
std::vector<std::string> Sources(const Evidence& evidence) {
    std::vector<std::string> sources;
    for (const Expectation& entry : evidence.entries) {
        if (std::find(sources.begin(), sources.end(), entry.source) == sources.end()) {
            sources.push_back(entry.source);
        }
    }
    return sources;
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

// A file that matches any checksum entry naming it is left exactly as it is, whatever the
// pattern would find in it: no question, no copy, no backup. Only entries of its length are
// hashed for, and the file is read once for all of them.
std::optional<FileOutcome> RepairEngine::ProveIntact(Pass& pass) {
    std::error_code error;
    std::unique_ptr<InputFile> input = fs_.OpenInput(pass.filename, error);
    // Whatever stands in the way (a lock, a read error) is met again by the pass, which says so.
    if (!input || input->Lock() == LockResult::HeldElsewhere) {
        return std::nullopt;
    }
    const std::int64_t length = input->Length(error);
    std::vector<Expectation> sameLength;
    for (const Expectation& entry : pass.evidence.entries) {
        if (!entry.length || *entry.length == length) {
            sameLength.push_back(entry);
        }
    }
    if (error || sameLength.empty()) {
        return std::nullopt;
    }
    EvidenceCheck check(sameLength, false);
    const bool read = HashInput(
        *input, length,
        [&](const std::uint8_t* bytes, std::size_t count) { check.Add(bytes, count); }, true,
        [&] { return check.Hopeless(); });
    host_.SetProgress(0);
    if (!read) {
        if (run_.stopflag) {
            run_.stopflag = false;
            return AbortedBeforePass(pass.filename);
        }
        return std::nullopt;
    }
    const std::vector<StreamCheck::Result> results = check.Finish();
    std::vector<const Expectation*> matching;
    for (std::size_t index = 0; index < results.size(); ++index) {
        if (results[index].matches) {
            matching.push_back(&sameLength[index]);
        }
    }
    if (matching.empty()) {
        return std::nullopt;
    }
    FileIdentity identity;
    if (!input->Identify(identity)) {
        run_.processed.Add(identity);
    }
    host_.Status().SetLine(run_.listindex, pass.filename);
    report_.bytesRead = length;
    InformUser("  intact: " +
               AgainstEntries(ChecksumReport::Verdict::Intact, pass.evidence, matching));
    TellUncheckedEvidence(pass.evidence);
    run_.fileerror = false;
    return FileOutcome::Intact;
}

// The checksum files with entries that disagree with the ones matched, each once.
std::vector<std::string> RepairEngine::Disagreeing(
    const Evidence& evidence, const std::vector<const Expectation*>& matching) {
    std::vector<std::string> others;
    for (const Expectation& entry : evidence.entries) {
        const bool matched = std::any_of(matching.begin(), matching.end(), [&](const auto* m) {
            return m->source == entry.source && m->SameContents(entry);
        });
        if (!matched && std::find(others.begin(), others.end(), entry.source) == others.end()) {
            others.push_back(entry.source);
        }
    }
    return others;
}

// "matches 'A'", and where other entries disagree "; does not match 'B' or 'C'"; the report
// says the same.
std::string RepairEngine::AgainstEntries(ChecksumReport::Verdict verdict, const Evidence& evidence,
                                         const std::vector<const Expectation*>& matching) {
    ChecksumReport& checksums = ChecksumsOfReport();
    checksums.verdict = verdict;
    checksums.file = matching.front()->source;
    checksums.disagreeing = Disagreeing(evidence, matching);
    const std::string text = "matches " + Quoted(checksums.file);
    return checksums.disagreeing.empty()
               ? text
               : text + "; does not match " + QuotedList(checksums.disagreeing);
}

ChecksumReport& RepairEngine::ChecksumsOfReport() {
    if (!report_.checksums) {
        report_.checksums.emplace();
    }
    return *report_.checksums;
}

// What the checksum files beside it could not tell of a file.
void RepairEngine::TellUncheckedEvidence(const Evidence& evidence) {
    if (!evidence.unread.empty() || evidence.unchecked > 0) {
        ChecksumReport& checksums = ChecksumsOfReport();
        for (const UnreadChecksumFile& unread : evidence.unread) {
            checksums.unread.push_back(unread.path);
        }
        checksums.unchecked = evidence.unchecked;
    }
    for (const UnreadChecksumFile& unread : evidence.unread) {
        InformUser("  not verified against " + Quoted(unread.path) + ": it cannot be read");
    }
    if (evidence.unchecked > 0) {
        InformUser("  " + std::to_string(evidence.unchecked) +
                   " more checksum entries name it, not checked");
    }
}

// Each checksum file found unreadable is warned of once a run.
void RepairEngine::WarnOfUnreadChecksumFiles() {
    for (const UnreadChecksumFile& unread : checksums_->TakeNewlyUnread()) {
        host_.Boxes().Warning("Checksum file " + Quoted(unread.path) + " cannot be read" + kCrLf +
                              unread.reason);
    }
}

// Feeds the whole file to add; false when a read fails, when hopeless says reading on is of
// no use, or, if stoppable, when the user stops it and agrees to abort (stopflag stays set).
bool RepairEngine::HashInput(InputFile& input, std::int64_t length, const ByteSink& add,
                             bool stoppable, const std::function<bool()>& hopeless) {
    std::vector<std::uint8_t> chunk(kHashChunk);
    int chunks = 0;
    int lastpct = -1;
    for (std::int64_t at = 0; at < length;) {
        std::error_code error;
        const std::size_t got = input.ReadAt(at, chunk.data(), chunk.size(), error);
        if (error || got == 0) {
            return false;
        }
        add(chunk.data(), got);
        at += static_cast<std::int64_t>(got);
        if (hopeless && hopeless()) {
            return false;
        }
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

// The copy against the checksums. A match of any entry is a proven repair. Without one, slice
// checksums decide: the copy is kept only when more of its slices match than of the
// input's. With whole-file checksums alone, the copy is kept as without any. Either way the
// file is not counted as repaired.
RepairEngine::CopyFate RepairEngine::JudgeCopy(Pass& pass, bool changed) {
    const Evidence& evidence = pass.evidence;
    std::vector<StreamCheck::Result> results = pass.written->Finish();
    if (guide_ && guide_->proof) {
        // The slices proven by their MD5s, each where the guide found it; every one of them
        // in a copy of the described length is the posted file.
        const Expectation& guided = *evidence.SliceGuide();
        const std::int64_t proven = guide_->proof->Finish();
        for (std::size_t index = 0; index < results.size(); ++index) {
            if (pass.written->ProvenElsewhere(index)) {
                results[index].sliceCount = static_cast<std::int64_t>(guided.slices.size());
                results[index].slicesMatching = proven;
                results[index].matches =
                    proven == results[index].sliceCount && guided.length == writepos - 1;
            }
        }
    }
    std::vector<const Expectation*> matching;
    for (std::size_t index = 0; index < results.size(); ++index) {
        if (results[index].matches) {
            matching.push_back(&evidence.entries[index]);
        }
    }
    if (!matching.empty()) {
        const auto verdict =
            changed ? ChecksumReport::Verdict::Verified : ChecksumReport::Verdict::Intact;
        return {true, "  verified: " + AgainstEntries(verdict, evidence, matching),
                changed ? FileOutcome::Repaired : FileOutcome::Intact};
    }
    // The slices the repair was planned by, if it was.
    const Expectation* sliced =
        evidence.SliceGuide() != nullptr ? evidence.SliceGuide() : evidence.WithSlices();
    ChecksumReport& checksums = ChecksumsOfReport();
    checksums.verdict = ChecksumReport::Verdict::NotVerified;
    checksums.disagreeing = Sources(evidence);
    checksums.file = checksums.disagreeing.front();
    if (!changed || sliced == nullptr) {
        return {true, "  not verified: does not match " + QuotedList(checksums.disagreeing),
                FileOutcome::NotVerified};
    }
    const auto& copy = results[static_cast<std::size_t>(sliced - evidence.entries.data())];
    // A slice the guide could not mend keeps its bytes and shifts the rest of the copy:
    // its slices are counted where the guide found them.
    const std::int64_t now = copy.sliceCount > 0 ? copy.slicesMatching
                             : pass.copy         ? SlicesMatching(*pass.copy, *sliced)
                                                 : 0;
    const std::int64_t was = SlicesMatching(*pass.input, *sliced);
    const bool keep = now > was;
    checksums.file = sliced->source;
    checksums.slicesMatching = now;
    checksums.slicesWere = was;
    checksums.sliceCount = static_cast<std::int64_t>(sliced->slices.size());
    std::vector<std::string> others = Sources(evidence);
    others.erase(std::remove(others.begin(), others.end(), sliced->source), others.end());
    const std::string of = " of " + std::to_string(sliced->slices.size());
    return {keep,
            "  not verified against " + Quoted(sliced->source) + ": " + std::to_string(now) + of +
                " slices match, was " + std::to_string(was) + of +
                (others.empty() ? "" : "; does not match " + QuotedList(others)) +
                (keep ? "" : "; the file was left as it is"),
            FileOutcome::NotVerified};
}

// How many of a file's slices match, read from the start; 0 when it cannot be read.
std::int64_t RepairEngine::SlicesMatching(InputFile& file, const Expectation& expected) {
    BackgroundCheck check(expected, true);
    std::error_code error;
    const std::int64_t length = file.Length(error);
    const bool read =
        !error &&
        HashInput(
            file, length,
            [&](const std::uint8_t* bytes, std::size_t count) { check.Add(bytes, count); }, false);
    return read ? check.Finish().slicesMatching : 0;
}

// The finds of a pass whose copy was discarded were never removed from the file: their
// lines must not say so. Those already passed on are told so in one line after them.
void RepairEngine::MarkRemovalsUndone() {
    const std::int64_t passedOn = finds_.Undo([this](int line, const Decision& decision) {
        host_.Status().SetLine(line, FindLine(decision, format_, options_.dryRun));
    });
    if (passedOn > 0) {
        InformUser(RemovalsNotMadeLine(passedOn, format_, options_.dryRun));
    }
}

}  // namespace korbelt
