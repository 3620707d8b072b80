// The end of a pass that copied the whole file: the repaired copy put in the input's place,
// or the unchanged copy deleted.
#include "engine/PassState.h"
#include "engine/report/ReportText.h"

namespace korbelt {
namespace {

bool LinkUnsupported(const std::error_code& error) {
    // File systems without hard links (FAT, some network shares) fall back to two renames.
    return error == std::errc::operation_not_permitted ||
           error == std::errc::operation_not_supported || error == std::errc::too_many_links ||
           error == std::errc::function_not_supported;
}

// A failed swap, said with a further line where putting the input back failed too: then the
// original is no longer under its own name.
Failure SwapFailed(const std::string& what, const std::string& action, const std::string& name,
                   const std::error_code& error, bool restored, const std::string& bak) {
    return Unable(what, action, name, error,
                  restored ? ""
                           : std::string(RepairEngine::kCrLf) + "The original file is now '" +
                                 bak + "'",
                  restored);
}

}  // namespace

// What the file's structure decided, where it guided the pass.
void RepairEngine::ReportStructure() {
    if (guide_ && guide_->proof) {
        const SliceReport& tally = guide_->sliceTally;
        if (tally != SliceReport{}) {
            report_.slices = tally;
        }
    }
    if (!guide_ || guide_->regions == nullptr) {
        return;
    }
    const RegionTally& tally = guide_->regions->Tally();
    StructureReport& structure = report_.structure.emplace();
    structure.format = guide_->names.format;
    structure.proof = guide_->names.proof;
    structure.lengths = guide_->names.lengths;
    structure.whole = guide_->walkEnd == WalkEnd::Whole;
    structure.repairedProven = tally.repairedProven;
    structure.repairedConsistent = tally.repairedConsistent;
    structure.leftProven = tally.leftProven;
    structure.leftConsistent = tally.leftConsistent;
    structure.noFit = tally.noFit;
    structure.undecided = tally.undecided;
}

void RepairEngine::FinishFile(Pass& pass) {
    // Every kept byte goes to the file before the copy is flushed to disk and swapped in,
    // and a copy left unchanged fails on a full disk just as one written record by record.
    if (pass.gathered) {
        WriteRun(pass);
    }
    const bool changed = readpos != writepos;
    const std::int64_t removedRepeats = RemovedRepeats();
    CopyFate fate = !pass.evidence.entries.empty()
                        ? JudgeCopy(pass, changed)
                        : CopyFate{true, "", changed ? FileOutcome::Repaired : FileOutcome::Clean};
    // A file whose repeated bytes look like chance is left as it is, where the user asked
    // so: in a run that asks no questions, and with no checksum to decide. A checksum that
    // neither the file nor the copy matches, with no slices to weigh them, decides nothing.
    const bool checksumDecides =
        !pass.evidence.entries.empty() &&
        !(report_.checksums && report_.checksums->verdict == ChecksumReport::Verdict::NotVerified &&
          !report_.checksums->slicesMatching);
    ReportStructure();
    const bool structureRepaired =
        report_.structure &&
        report_.structure->repairedProven + report_.structure->repairedConsistent > 0;
    const bool leftAlone = changed && !checksumDecides && !structureRepaired &&
                           options_.leaveUnpatterned &&
                           !run_.interactive && report_.pattern &&
                           report_.pattern->kind == PatternVerdict::Kind::NoPattern;
    if (leftAlone) {
        fate.keepCopy = false;
        if (pass.evidence.entries.empty()) {
            fate.outcome = FileOutcome::Ignored;
        } else {
            fate.line += "; the file was left as it is";
        }
    }
    // Damage the markers show outside the search range is still in the file, whatever else
    // was removed: the file is not whole, and says so by its outcome.
    if ((fate.outcome == FileOutcome::Clean || fate.outcome == FileOutcome::Repaired) &&
        report_.pattern && report_.pattern->kind == PatternVerdict::Kind::Damage &&
        !report_.pattern->InRange()) {
        fate.outcome = FileOutcome::DamageLeft;
    }
    const bool swap = changed && fate.keepCopy;
    if (swap && !options_.dryRun) {
        GiveCopyTheInputsAccess(pass);
        // The copy must be whole on the disk before it takes the input's name.
        if (const std::error_code error = fs_.SyncFile(pass.tempname)) {
            throw Unable("write to temporary file failed", "write temporary file", pass.tempname,
                         error);
        }
        CheckInputUnchanged(pass);
    }
    CloseOutput(pass);
    if (!swap) {
        if (const std::error_code error = DiscardTemporaryFile(pass)) {
            pass.tempCreated = false;
            throw Unable("delete temporary file failed", "delete temporary file", pass.tempname,
                         error);
        }
    } else if (!options_.dryRun) {
        PutRepairedCopyInPlace(pass);
        run_.processed.Add(pass.copyIdentity);
    }
    run_.processed.Add(pass.identity);
    StatusList& status = host_.Status();
    status.SetLine(run_.listindex, pass.filename);
    report_.bytesRead = readpos - 1;
    // What the file under its name holds now: a copy that never took the name changed nothing.
    const bool dropped = changed && !swap && !options_.dryRun;
    report_.bytesWritten = dropped ? readpos - 1 : writepos - 1;
    report_.bytesRemoved = dropped ? 0 : readpos - writepos;
    if (report_.pattern) {
        const PatternFate fate = leftAlone ? PatternFate::LeftAlone
                                 : swap    ? PatternFate::Repaired
                                           : PatternFate::Unchanged;
        const std::string line = PatternLine(*report_.pattern, removedRepeats, fate, format_);
        if (!line.empty()) {
            InformUser(line);
        }
    }
    if (report_.structure) {
        InformUser(StructureLine(*report_.structure, format_));
    }
    if (report_.slices) {
        InformUser(SliceLine(*report_.slices, format_));
    }
    if (swap == changed) {
        status.RemoveLine(pass.progressline);
        InformUser(
            BytesLine(readpos - writepos, readpos - 1, writepos - 1, format_, options_.dryRun));
    } else {
        MarkRemovalsUndone();
        status.RemoveLine(pass.progressline);
    }
    if (!fate.line.empty()) {
        InformUser(fate.line);
    }
    if (swap && !options_.dryRun && options_.dropVerifiedBackups && report_.checksums &&
        report_.checksums->verdict == ChecksumReport::Verdict::Verified) {
        DropProvenBackup(pass);
    }
    TellUncheckedEvidence(pass.evidence);
    run_.fileerror = IsFailure(fate.outcome);
    pass.outcome = fate.outcome;
}

// A repair its checksum proves leaves the file as it was posted, without the damaged
// original beside it: only the very file this pass read is deleted.
void RepairEngine::DropProvenBackup(const Pass& pass) {
    const std::optional<FileIdentity> backup = fs_.Lookup(pass.bakname);
    if (backup && backup->SameFile(pass.identity) && !fs_.Remove(pass.bakname)) {
        report_.backupDropped = true;
        InformUser("  backup not kept: the repair is proven");
    }
}

// The repaired file is the input's to the user: same permissions, and the same owner and
// group where the process may give them. Until now the copy was readable by its writer only.
void RepairEngine::GiveCopyTheInputsAccess(Pass& pass) {
    if (const std::error_code error = pass.copy->SetAccess(pass.identity)) {
        throw Unable("write to temporary file failed",
                     "give temporary file '" + pass.tempname + "' the permissions of",
                     pass.filename, error);
    }
}

// Just before the swap the input's name must still lead to the very file that was read,
// unwritten since, and NAME.$$$ to the copy this pass wrote. Otherwise nothing is renamed.
void RepairEngine::CheckInputUnchanged(Pass& pass) {
    FileIdentity now;
    if (const std::error_code error = pass.input->Identify(now)) {
        throw Unable("read input file failed", "read input file", pass.filename, error);
    }
    const std::optional<FileIdentity> named = fs_.Lookup(pass.filename);
    if (!now.Unchanged(pass.identity) || !named || !named->Unchanged(pass.identity)) {
        throw InputChanged(pass.filename);
    }
    const std::optional<FileIdentity> copy = fs_.Lookup(pass.tempname);
    if (!copy || !copy->SameFile(pass.copyIdentity)) {
        throw FileFailure("temporary file changed during processing",
                          "Temporary file '" + pass.tempname + "'" + kCrLf +
                              "was replaced while it was being written; nothing was renamed");
    }
}

void RepairEngine::PutRepairedCopyInPlace(Pass& pass) {
    const std::string& name = pass.filename;
    const std::string& bak = pass.bakname;
    const std::string& temp = pass.tempname;
    const std::string renameTemp = "rename '" + temp + "' to";

    MakeWayForBackup(pass);
    // With a hard link the input's name never goes missing, not even for a moment.
    std::error_code error = fs_.Link(name, bak);
    if (!error) {
        if ((error = fs_.Rename(temp, name))) {
            fs_.Remove(bak);  // the second name this pass has just made, nothing else
            throw Unable("rename of temporary file failed", renameTemp, name, error);
        }
    } else if (LinkUnsupported(error)) {
        if ((error = fs_.Rename(name, bak))) {
            throw Unable("rename to backup file failed", "rename '" + name + "' to", bak, error);
        }
        if ((error = fs_.Rename(temp, name))) {
            const bool restored = !fs_.Rename(bak, name);
            throw SwapFailed("rename of temporary file failed", renameTemp, name, error, restored,
                             bak);
        }
    } else {
        throw Unable("rename to backup file failed", "create backup file", bak, error);
    }
    if ((error = fs_.SyncDirectoryOf(name))) {
        // Without the directory on disk a crash could lose the swap: put the input back.
        const bool restored = !fs_.Rename(bak, name);
        throw SwapFailed("write of directory failed", "write the directory of", name, error,
                         restored, bak);
    }
    // Under the file's name the copy is the repaired file: its mark, given for the copy's
    // name, counts no more, and goes where it can. A later run over the folder must know
    // NAME.bak for the original kept, not a download to repair; where no mark can be kept,
    // that run repairs it as any file.
    (void)pass.copy->SetMark(KorbeltMark::None, name);
    (void)pass.input->SetMark(KorbeltMark::Backup, bak);
}

// Deletes the old backup, but only the very one the user agreed to delete, and never a
// backup this run has made: whatever else has come to NAME.bak since stays, and the file is
// not repaired.
void RepairEngine::MakeWayForBackup(Pass& pass) {
    const std::optional<FileIdentity> backup = fs_.Lookup(pass.bakname);
    if (!backup) {
        return;
    }
    // A directory is never asked about; deleting it fails below and says why.
    const bool directory = backup->kind == FileIdentity::Kind::Directory;
    if (!directory && (!pass.agreedBackup || !backup->SameFile(*pass.agreedBackup) ||
                       run_.processed.Contains(*backup))) {
        throw FileFailure("backup file changed during processing",
                          "Backup file '" + pass.bakname + "'" + kCrLf +
                              "appeared or changed while '" + pass.filename +
                              "' was being repaired; nothing was replaced");
    }
    if (const std::error_code error = fs_.Remove(pass.bakname);
        error && error != std::errc::no_such_file_or_directory) {
        throw Unable("delete old backup file failed", "delete old backup file", pass.bakname,
                     error);
    }
}

}  // namespace korbelt
