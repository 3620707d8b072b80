#include "engine/RepairEngine.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>

#include "engine/PassState.h"
#include "engine/scan/HJSplit.h"
#include "engine/scan/HeldStartInput.h"
#include "engine/scan/ReadAheadInput.h"

namespace korbelt {
namespace {

// How often the input is opened again when its name moved on while it was being opened.
constexpr int kOpenAttempts = 3;

}  // namespace

RepairEngine::RepairEngine(EngineHost& host, RunState& run, RecordIo& io, FileSystem& fs,
                           NumberFormat format)
    : host_(host), run_(run), io_(io), discarding_(io), fs_(fs), format_(std::move(format)),
      decided_(std::make_unique<DecidedRoute>(*this)),
      guided_(std::make_unique<GuidedRoute>(*this)), route_(decided_.get()) {}

// A pass guided by evidence, or (nullptr) decided find by find.
void RepairEngine::UseGuide(std::unique_ptr<Guide> guide) {
    guide_ = std::move(guide);
    route_ = guide_ ? static_cast<FindRoute*>(guided_.get()) : decided_.get();
}

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
    finds_.Start(host_.Status(), sink_);
    report_.outcome = ProcessSteps(filename);
    return report_.outcome;
}

FileOutcome RepairEngine::ProcessSteps(const std::string& filename) {
    MessageBoxes& boxes = host_.Boxes();
    Pass pass;
    pass.filename = filename;
    pass.tempname = filename + kCopySuffix;
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
    try {
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
            return BackupKept(pass);
        }
    } catch (const Failure& failure) {
        if (failure.Kind() != FailureKind::Stopped) {
            throw;
        }
        return AbortedBeforePass(filename);
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

// NAME.bak stays: the user said No, or it came with the download.
FileOutcome RepairEngine::BackupKept(const Pass& pass) {
    if (!pass.postedBackup.empty()) {
        return Refuse(pass.filename,
                      "not repaired: '" + pass.bakname + "' came with the download ('" +
                          pass.postedBackup + "' names it) and is kept",
                      FileOutcome::NotRepaired);
    }
    report_.failure = "an old backup is kept";
    run_.fileerror = true;
    return FileOutcome::NotRepaired;
}

// Stop answered Yes before the pass began: nothing was opened for writing.
FileOutcome RepairEngine::AbortedBeforePass(const std::string& filename) {
    host_.Status().SetLine(run_.listindex, "Aborted " + filename);
    report_.failure = "aborted";
    run_.fileerror = true;
    return FileOutcome::NotRepaired;
}

void RepairEngine::SetChecksums(ChecksumCatalog* checksums) {
    checksums_ = checksums;
    if (checksums_ != nullptr) {
        checksums_->SetStopCheck([this] { return StopWhileReading(); });
    }
}

// Reading a folder of thousands of checksum files takes seconds: meanwhile the window is
// yielded to, and Stop asked about, as often as the pass does between records.
bool RepairEngine::StopWhileReading() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastLook_ < kLookEvery) {
        return false;
    }
    lastLook_ = now;
    host_.YieldToUi();
    return !GoOnAfterStop();
}

// What the checksums said of a copy that never took the file's name says nothing of the file.
void RepairEngine::ForgetChecksumVerdict() {
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
    // A NAME.bak that a checksum file names came with the download: it is not asked about,
    // and never deleted.
    if (checksums_ != nullptr) {
        if (const std::optional<std::string> naming = checksums_->Naming(pass.bakname)) {
            pass.postedBackup = *naming;
            return false;
        }
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
            case Ending::TooManyHeld:  // the pass has started again before it ends here
                AbortFile(pass, "Aborted " + pass.filename, "aborted");
                break;
            case Ending::BadWrapper:
                AbortFile(pass, "Aborted-bad Mime Wrapper " + pass.filename,
                          "aborted: no end of the Mime Wrapper");
                break;
        }
    } catch (const Failure& failure) {
        switch (failure.Kind()) {
            case FailureKind::Stopped:
                AbortFile(pass, "Aborted " + pass.filename, "aborted");
                break;
            case FailureKind::LibraryUnavailable:
                CloseOutputQuietly(pass);
                DiscardTemporaryFile(pass);
                host_.Boxes().Warning("Unable to load the korbscan library: " + failure.Message());
                status.RemoveLine(pass.progressline);
                status.SetLine(run_.listindex, pass.filename + " - korbscan library not found");
                report_.failure = "korbscan library not found";
                run_.fileerror = true;
                break;
            case FailureKind::FileOperation:
            case FailureKind::Unsupported:
                FailFile(pass, failure);
                break;
        }
    }
    UseGuide(nullptr);
}

// The pass gave up the file: the copy goes, the warning says why and the file's line what.
void RepairEngine::FailFile(Pass& pass, const Failure& failure) {
    StatusList& status = host_.Status();
    ForgetChecksumVerdict();
    std::string warning = failure.Message();
    CloseOutputQuietly(pass);
    if (const std::error_code error = DiscardTemporaryFile(pass)) {
        warning += std::string(kCrLf) + "The temporary file '" + pass.tempname +
                   "' could not be deleted: " + error.message();
    }
    host_.Boxes().Warning(warning);
    status.SetLine(run_.listindex, pass.filename + " - " + failure.Line());
    report_.failure = failure.Line();
    status.RemoveLine(pass.progressline);
    report_.bytesRead = pass.copying ? readpos - 1 : 0;
    TellCopyAbandoned(pass.copying && failure.LeftAsItWas());
    run_.fileerror = true;
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
    auto start = std::make_unique<HeldStartInput>(std::move(pass.input));
    pass.start = start.get();
    pass.input = std::move(start);
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
        if (const std::string reason = ClaimCopyName(pass); !reason.empty()) {
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

// The copy is written under NAME.$$$ wherever that name is free, or holds a stale copy of
// Korbelt's own, which is deleted first. A file there that Korbelt cannot show it wrote
// (one that came with the download, or anybody's) stays exactly as it is, and the copy takes
// the first free name of NAME.1.$$$, NAME.2.$$$ ...; the file's lines say which. Anything but
// a file at NAME.$$$ is not this pass's to step round: the reason is returned and the file
// is not repaired.
std::string RepairEngine::ClaimCopyName(Pass& pass) {
    const std::string first = pass.tempname;
    std::string kept;
    for (int n = 0; n < kCopyNames; ++n) {
        const std::string name =
            n == 0 ? first : pass.filename + "." + std::to_string(n) + kCopySuffix;
        const std::optional<FileIdentity> there = fs_.Lookup(name);
        std::string why;
        if (there && there->kind != FileIdentity::Kind::Regular) {
            if (n == 0) {
                return "The name is taken by something that is not a file";
            }
            continue;
        }
        if (there && !(why = WhyNotAStaleCopy(name, *there)).empty()) {
            kept = n == 0 ? why : kept;
            continue;
        }
        if (there) {
            if (const std::error_code error = fs_.Remove(name);
                error && error != std::errc::no_such_file_or_directory) {
                if (n == 0) {
                    return "The name is taken by a file left by an earlier run, which cannot be "
                           "deleted: " +
                           error.message();
                }
                continue;
            }
            run_.processed.AddRemovedCopy(name);
        }
        pass.tempname = name;
        if (n != 0) {
            report_.copyName = name;
            InformUser("  '" + first + "' is kept: " + kept + "; the copy is written as '" +
                       name + "'");
        }
        return {};
    }
    return "The name is taken, and so are the other names tried for the copy";
}

// Why a file under a copy's name must stay; nothing when it is a copy a killed run of
// Korbelt left behind: a file of this user's with no other name, carrying the mark only
// Korbelt's copies carry, that no checksum file names and no Korbelt holds.
std::string RepairEngine::WhyNotAStaleCopy(const std::string& name, const FileIdentity& there) {
    if (there.links != 1) {
        return "it has other names too";
    }
    if (there.owner != fs_.UserId()) {
        return "it belongs to another user";
    }
    if (fs_.MarkOf(name) != KorbeltMark::Copy) {
        return "Korbelt did not write it";
    }
    if (checksums_ != nullptr) {
        if (const std::optional<std::string> naming = checksums_->Naming(name)) {
            return "it came with the download ('" + *naming + "' names it)";
        }
    }
    std::error_code error;
    std::unique_ptr<InputFile> held = fs_.OpenInput(name, error);
    FileIdentity identity;
    if (!held || (error = held->Identify(identity))) {
        return "it cannot be examined: " + error.message();
    }
    if (!identity.SameFile(there) || held->Lock() == LockResult::HeldElsewhere) {
        return "another Korbelt is writing it";
    }
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
        throw FileFailure(
            "failed to create output file",
            "Error opening output file '" + pass.tempname + "'" + kCrLf + error.message());
    }
    (void)pass.copy->Lock();
    // korbscan marks the copies it makes; a record I/O that does not is made up for here.
    (void)pass.copy->SetMark(KorbeltMark::Copy, pass.tempname);
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
        host_.Boxes().Warning(Unable("", "delete temporary file", pass.tempname, error).Message());
    }
    report_.bytesRead = readpos - 1;
    TellCopyAbandoned(true);
}

// A copy given up (Stop, a failed write, a wrapper with no end) changed nothing: the report
// says so of every find, the lines shown as the finds were met stay, and one more line ends
// the file's block where the original is still under its own name.
void RepairEngine::TellCopyAbandoned(bool leftAsItWas) {
    finds_.Undo(nullptr);
    report_.bytesWritten = 0;
    report_.bytesRemoved = 0;
    if (leftAsItWas) {
        InformUser("  the file was left as it was");
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
    } catch (const Failure& failure) {
        // Already failing; the warning that follows tells the user what went wrong.
        if (failure.Kind() != FailureKind::LibraryUnavailable) {
            throw;
        }
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
