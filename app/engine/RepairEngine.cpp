#include "engine/RepairEngine.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/HJSplit.h"
#include "engine/PassState.h"
#include "engine/ReadAheadInput.h"

namespace korbelt {
namespace {

// How often the input is opened again when its name moved on while it was being opened.
constexpr int kOpenAttempts = 3;

}  // namespace

RepairEngine::RepairEngine(EngineHost& host, RunState& run, RecordIo& io, FileSystem& fs,
                           NumberFormat format)
    : host_(host), run_(run), io_(io), discarding_(io), fs_(fs), format_(std::move(format)) {}

RepairEngine::~RepairEngine() = default;

void RepairEngine::SetIoPlan(IoPlan plan) {
    if (plan.readAhead != 0) {
        plan.readAhead = std::clamp<std::size_t>(plan.readAhead, kBufferSize, kMaxReadAhead);
    }
    plan_ = plan;
}

void RepairEngine::StartRun(const RunOptions& options) {
    options_ = options;
    run_.processed.Clear();
    if (checksums_ != nullptr) {
        checksums_->Forget();
    }
}

void RepairEngine::InformUser(const std::string& text) {
    host_.Status().AppendLine(text);
}

FileOutcome RepairEngine::ProcessFile(const std::string& filename) {
    if (busy_) {
        run_.fileerror = true;
        return FileOutcome::NotRepaired;
    }
    report_ = FileReport();
    report_.name = filename;
    findLines_.clear();
    report_.outcome = ProcessSteps(filename);
    return report_.outcome;
}

FileOutcome RepairEngine::ProcessSteps(const std::string& filename) {
    MessageBoxes& boxes = host_.Boxes();
    Pass pass;
    pass.filename = filename;
    pass.tempname = filename + ".$$$";
    pass.bakname = filename + ".bak";
    if (filename.empty()) {
        boxes.Warning("Please choose a file first");
        report_.failure = "no file chosen";
        run_.fileerror = true;
        return FileOutcome::NotRepaired;
    }
    if (!fs_.IsOrdinaryFile(filename)) {
        // A directory listing of this run may still hold a stale copy the run removed.
        if (run_.processed.RemovedCopy(filename)) {
            return Refuse(filename, "stale temporary file, removed", FileOutcome::AlreadyDone);
        }
        boxes.Warning(filename + kCrLf + "does not exist");
        report_.failure = "does not exist";
        run_.fileerror = true;
        return FileOutcome::NotRepaired;
    }
    const std::optional<FileIdentity> entry = fs_.Lookup(filename);
    // The copy would take the link's name while its target stayed as it was, and the backup
    // and temporary names could be the target itself: a link is never followed into a swap.
    if (entry && entry->kind == FileIdentity::Kind::SymbolicLink) {
        return Refuse(filename, "symbolic link, not followed", FileOutcome::NotRepaired);
    }
    if (entry && run_.processed.Contains(*entry)) {
        return Refuse(filename, "already processed in this run", FileOutcome::AlreadyDone);
    }
    if (checksums_ != nullptr && options_.verify) {
        if (const auto left = LeaveChecksumFile(filename)) {
            return *left;
        }
        pass.evidence = checksums_->For(filename);
        WarnOfUnreadChecksumFiles();
        if (const auto intact = ProveIntact(pass)) {
            return *intact;
        }
    }
    if (!options_.dryRun && !AgreeToReplaceBackup(pass)) {
        report_.failure = "an old backup is kept";
        run_.fileerror = true;
        return FileOutcome::NotRepaired;
    }

    busy_ = true;
    StatusList& status = host_.Status();
    pass.progressline = status.AppendLine("- opening files");
    status.SelectLine(pass.progressline);
    RunPass(pass);
    host_.SetProgress(0);
    status.SetTopLine(status.LineCount() - 1);
    busy_ = false;
    return pass.outcome;
}

// What the checksums said of a copy that never took the file's name says nothing of the file.
void RepairEngine::ForgetVerdict() {
    if (report_.checksums) {
        ChecksumReport kept;
        kept.unread = report_.checksums->unread;
        kept.unchecked = report_.checksums->unchecked;
        report_.checksums = kept;
    }
}

// A file left alone before its pass starts: its line says why.
FileOutcome RepairEngine::Refuse(const std::string& filename, const std::string& why,
                                 FileOutcome outcome) {
    host_.Status().SetLine(run_.listindex, filename + " - " + why);
    report_.failure = why;
    run_.fileerror = outcome == FileOutcome::NotRepaired;
    return outcome;
}

// Anything at NAME.bak but a directory is asked about before it is deleted: a link or a
// FIFO as much as an old backup. What the user agreed to delete is remembered, so that only
// that very file is deleted later.
bool RepairEngine::AgreeToReplaceBackup(Pass& pass) {
    const std::optional<FileIdentity> backup = fs_.Lookup(pass.bakname);
    if (!backup || backup->kind == FileIdentity::Kind::Directory) {
        return true;
    }
    if (!host_.Boxes().Question(QuestionKind::ReplaceBackup,
                                "Backup file '" + pass.bakname + "' already exists" + kCrLf +
                                    "I will have to delete it. Is this OK")) {
        return false;
    }
    pass.agreedBackup = backup;
    return true;
}

void RepairEngine::RunPass(Pass& pass) {
    StatusList& status = host_.Status();
    try {
        if (!OpenAndLockInput(pass)) {
            status.RemoveLine(pass.progressline);
            status.SetLine(run_.listindex,
                           pass.filename + " - skipped, another Korbelt is repairing it");
            report_.failure = "skipped, another Korbelt is repairing it";
            run_.fileerror = true;
            pass.outcome = FileOutcome::Busy;
            return;
        }
        OpenInput(pass);
        if (SkipHJSplitPiece(pass)) {
            return;
        }
        if (!OpenOutput(pass)) {
            return;
        }
        if (!pass.evidence.entries.empty()) {
            // Without slice digests to hash, the copy's slices are counted from the copy on
            // disk, and only when its digests say no; a dry run has no copy on disk and
            // counts them as it goes.
            // A guided repair proves its slices as it decides them; the rest here.
            pass.written = std::make_unique<EvidenceCheck>(
                pass.evidence.entries, options_.dryRun,
                StartGuide(pass) ? pass.evidence.SliceGuide() : nullptr);
        }
        switch (CopyJudgingMarkers(pass)) {
            case Ending::OutputRefused:
                break;  // RefuseOutput has said why
            case Ending::Normal:
                FinishFile(pass);
                break;
            case Ending::UserAbort:
                AbortFile(pass, "Aborted " + pass.filename, "aborted");
                break;
            case Ending::BadWrapper:
                AbortFile(pass, "Aborted-bad Mime Wrapper " + pass.filename,
                          "aborted: no end of the Mime Wrapper");
                break;
        }
    } catch (const PassFailure& failure) {
        ForgetVerdict();
        std::string warning = failure.warning;
        CloseOutputQuietly(pass);
        if (const std::error_code error = DiscardTemporaryFile(pass)) {
            warning += std::string(kCrLf) + "The temporary file '" + pass.tempname +
                       "' could not be deleted: " + error.message();
        }
        host_.Boxes().Warning(warning);
        status.SetLine(run_.listindex, pass.filename + " - " + failure.what);
        report_.failure = failure.what;
        status.RemoveLine(pass.progressline);
        run_.fileerror = true;
    } catch (const LibraryUnavailable& missing) {
        CloseOutputQuietly(pass);
        DiscardTemporaryFile(pass);
        host_.Boxes().Warning(std::string("Unable to load the korbscan library: ") +
                              missing.what());
        status.RemoveLine(pass.progressline);
        status.SetLine(run_.listindex, pass.filename + " - korbscan library not found");
        report_.failure = "korbscan library not found";
        run_.fileerror = true;
    }
    guide_.reset();
}

// Opens the input and takes its lock; false when another Korbelt holds it. The name may
// have moved on to another file while this one was opened and locked, most likely because
// another Korbelt has just put its repaired copy in place: then it is opened anew.
bool RepairEngine::OpenAndLockInput(Pass& pass) {
    for (int attempt = 1;; ++attempt) {
        std::error_code error;
        pass.input = fs_.OpenInput(pass.filename, error);
        if (!pass.input) {
            throw Unable("open input file failed", "open input file", pass.filename, error);
        }
        pass.input->WatchWrites();
        if ((error = pass.input->Identify(pass.identity))) {
            throw Unable("read input file failed", "read input file", pass.filename, error);
        }
        if (pass.input->Lock() == LockResult::HeldElsewhere) {
            pass.input.reset();
            return false;
        }
        const std::optional<FileIdentity> named = fs_.Lookup(pass.filename);
        if (named && named->SameFile(pass.identity)) {
            return true;
        }
        if (attempt == kOpenAttempts) {
            throw InputChanged(pass.filename);
        }
    }
}

void RepairEngine::OpenInput(Pass& pass) {
    std::error_code error;
    if (plan_.readAhead != 0) {
        // A hundred records and more per read call; the records overlap and move forward.
        // Guided by slices, the copy follows a slice or two behind the scan: the window holds
        // what lies between, so that no byte is read twice.
        const Expectation* slices = pass.evidence.SliceGuide();
        const std::size_t size =
            slices == nullptr
                ? plan_.readAhead
                : std::max(plan_.readAhead, static_cast<std::size_t>(3 * slices->sliceSize +
                                                                     GuidedPlanner::kMargin) +
                                                (std::size_t{1} << 20));
        if (readWindow_.size() != size) {
            readWindow_.assign(size, 0);
            readWindow_.shrink_to_fit();
        }
        auto window = std::make_unique<ReadAheadInput>(std::move(pass.input), readWindow_);
        pass.window = window.get();
        pass.input = std::move(window);
    }
    iflength_ = pass.input->Length(error);
    if (error) {
        throw Unable("read input file failed", "read input file", pass.filename, error);
    }
}

bool RepairEngine::SkipHJSplitPiece(Pass& pass) {
    const bool ignoreChecked = options_.ignoreHJSplit;
    const bool isPiece = IsHJSplitFile(pass.filename);
    if (!(ignoreChecked && isPiece && iflength_ % 1024 == 0)) {
        return false;
    }
    StatusList& status = host_.Status();
    status.RemoveLine(pass.progressline);
    status.SetLine(run_.listindex, pass.filename + " - HJSplit file ignored");
    report_.failure = "HJSplit file ignored";
    run_.fileerror = false;
    pass.outcome = FileOutcome::Ignored;
    run_.processed.Add(pass.identity);
    return true;
}

bool RepairEngine::OpenOutput(Pass& pass) {
    if (!options_.dryRun) {
        if (const std::string reason = ClearStaleCopy(pass); !reason.empty()) {
            RefuseOutput(pass, reason);
            return false;
        }
    }
    errno = 0;
    pass.outhandle = Io().OpenFile(pass.tempname);
    if (pass.outhandle == -1) {
        RefuseOutput(pass, errno != 0 ? std::strerror(errno) : "");
        return false;
    }
    pass.tempCreated = true;
    if (!options_.dryRun) {
        HoldCopy(pass);
    }
    return true;
}

// NAME.$$$ is created afresh, never reused. One left by a pass that was killed, a file of
// this user's with no other name that no Korbelt holds, is removed first. Anything else
// there is not this pass's to touch: the reason is returned and the file is not repaired.
std::string RepairEngine::ClearStaleCopy(Pass& pass) {
    const std::optional<FileIdentity> stale = fs_.Lookup(pass.tempname);
    if (!stale) {
        return {};
    }
    if (stale->kind != FileIdentity::Kind::Regular) {
        return "The name is taken by something that is not a file";
    }
    if (stale->links != 1) {
        return "The name is taken by a file that has other names too";
    }
    if (stale->owner != fs_.UserId()) {
        return "The name is taken by a file of another user";
    }
    std::error_code error;
    std::unique_ptr<InputFile> held = fs_.OpenInput(pass.tempname, error);
    FileIdentity identity;
    if (!held || (error = held->Identify(identity))) {
        return "The name is taken by a file that cannot be examined: " + error.message();
    }
    if (!identity.SameFile(*stale) || held->Lock() == LockResult::HeldElsewhere) {
        return "Another Korbelt is writing it";
    }
    if ((error = fs_.Remove(pass.tempname)) && error != std::errc::no_such_file_or_directory) {
        return "The name is taken by a file left by an earlier run, which cannot be deleted: " +
               error.message();
    }
    run_.processed.AddRemovedCopy(pass.tempname);
    return {};
}

// The copy is held open and locked while it is written, so that no other Korbelt takes it
// for a stale one, and so that it can be told from a file that took its name since.
void RepairEngine::HoldCopy(Pass& pass) {
    std::error_code error;
    pass.copy = fs_.OpenInput(pass.tempname, error);
    if (pass.copy) {
        error = pass.copy->Identify(pass.copyIdentity);
    }
    if (!pass.copy || error) {
        pass.copy.reset();  // the file this pass has just created, whatever it is now
        throw PassFailure{
            "failed to create output file",
            "Error opening output file '" + pass.tempname + "'" + kCrLf + error.message()};
    }
    (void)pass.copy->Lock();
}

void RepairEngine::RefuseOutput(Pass& pass, const std::string& reason) {
    StatusList& status = host_.Status();
    host_.Boxes().Warning("Error opening output file '" + pass.tempname + "'" +
                          (reason.empty() ? "" : kCrLf + reason));
    status.RemoveLine(pass.progressline);
    status.SetLine(run_.listindex, pass.filename + " - failed to create output file");
    report_.failure = "failed to create output file";
    pass.input.reset();
    run_.fileerror = true;
}

void RepairEngine::AbortFile(Pass& pass, const std::string& line, const std::string& why) {
    report_.failure = why;
    CloseOutput(pass);
    const std::error_code error = DiscardTemporaryFile(pass);
    run_.fileerror = true;
    StatusList& status = host_.Status();
    status.SetLine(run_.listindex, line);
    status.RemoveLine(pass.progressline);
    if (error) {
        host_.Boxes().Warning(Unable("", "delete temporary file", pass.tempname, error).warning);
    }
}

// The input and the copy stay open, and locked, until the pass ends.
void RepairEngine::CloseOutput(Pass& pass) {
    if (pass.outhandle != -1) {
        const std::int32_t handle = pass.outhandle;
        pass.outhandle = -1;
        Io().CloseFile(handle);
    }
}

void RepairEngine::CloseOutputQuietly(Pass& pass) {
    try {
        CloseOutput(pass);
    } catch (const LibraryUnavailable&) {
        // Already failing; the warning that follows tells the user what went wrong.
    }
}

std::error_code RepairEngine::DiscardTemporaryFile(Pass& pass) {
    if (!pass.tempCreated || options_.dryRun) {
        return {};
    }
    pass.tempCreated = false;
    // Only the copy this pass made: a file that has taken its name since is not this pass's.
    if (pass.copy) {
        const std::optional<FileIdentity> now = fs_.Lookup(pass.tempname);
        if (!now || !now->SameFile(pass.copyIdentity)) {
            return {};
        }
    }
    std::error_code error = fs_.Remove(pass.tempname);
    if (error == std::errc::no_such_file_or_directory) {
        error.clear();
    }
    return error;
}

}  // namespace korbelt
