#include "RepairEngine.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "HJSplit.h"
#include "ReadAheadInput.h"

namespace korbelt {
namespace {

constexpr const char* kTitleSuffix = "% Completed. Korbelt from Prendle";

// Something went wrong with a file operation: what the file's status line says after the
// name, and the warning that explains it.
struct PassFailure {
    std::string what;
    std::string warning;
};

// How often the input is opened again when its name moved on while it was being opened.
constexpr int kOpenAttempts = 3;

bool LinkUnsupported(const std::error_code& error) {
    // File systems without hard links (FAT, some network shares) fall back to two renames.
    return error == std::errc::operation_not_permitted ||
           error == std::errc::operation_not_supported || error == std::errc::too_many_links ||
           error == std::errc::function_not_supported;
}

// Rounds numerator / denominator x 100 to the nearest whole number, halves to even.
std::int64_t PercentOf(std::int64_t numerator, std::int64_t denominator) {
    // Exact for any file below 92 petabytes.
    const std::int64_t scaled = numerator * 100;
    std::int64_t quotient = scaled / denominator;
    const std::int64_t twiceRemainder = (scaled % denominator) * 2;
    if (twiceRemainder > denominator || (twiceRemainder == denominator && quotient % 2 != 0)) {
        ++quotient;
    }
    return quotient;
}

PassFailure InputChanged(const std::string& filename) {
    return {"input file changed during processing",
            "Input file '" + filename + "'" + RepairEngine::kCrLf +
                "changed while it was being repaired; it was left as it is"};
}

}  // namespace

struct RepairEngine::Pass {
    std::string filename;
    std::string tempname;
    std::string bakname;
    FileOutcome outcome = FileOutcome::NotRepaired;
    std::optional<FileIdentity> agreedBackup;  // the old backup the user agreed to delete
    int progressline = 0;
    std::unique_ptr<InputFile> input;  // open, and locked, until the pass ends
    FileIdentity identity;             // of the input when it was opened
    std::unique_ptr<InputFile> copy;   // NAME.$$$ held open and locked while it is written
    FileIdentity copyIdentity;
    std::int32_t outhandle = -1;
    bool tempCreated = false;
    int lastpct = -1;
    int reccount = 0;
    ReadAheadInput* window = nullptr;  // the input, when it is read ahead
    // Kept bytes are written straight from the read-ahead window, one call per run of them.
    bool gathered = false;
    std::int64_t runStart = 0;  // 0-based input offset of the kept bytes not yet written
    std::int64_t runLength = 0;
    std::int64_t writebackFrom = 1;  // writepos when the disk was last asked to write
};

RepairEngine::RepairEngine(EngineHost& host, RunState& run, const ModGlobals& globals, RecordIo& io,
                           FileSystem& fs, NumberFormat format)
    : host_(host), run_(run), globals_(globals), io_(io), fs_(fs), format_(std::move(format)) {}

RepairEngine::~RepairEngine() = default;

void RepairEngine::SetIoPlan(IoPlan plan) {
    if (plan.readAhead != 0) {
        plan.readAhead = std::clamp<std::size_t>(plan.readAhead, kBufferSize, kMaxReadAhead);
    }
    plan_ = plan;
}

void RepairEngine::InformUser(const std::string& text) {
    host_.Status().AppendLine(text);
}

FileOutcome RepairEngine::ProcessFile(const std::string& filename) {
    if (busy_) {
        run_.fileerror = true;
        return FileOutcome::NotRepaired;
    }
    MessageBoxes& boxes = host_.Boxes();
    Pass pass;
    pass.filename = filename;
    pass.tempname = filename + ".$$$";
    pass.bakname = filename + ".bak";
    if (filename.empty()) {
        boxes.Warning("Please choose a file first");
        run_.fileerror = true;
        return FileOutcome::NotRepaired;
    }
    if (!fs_.IsOrdinaryFile(filename)) {
        // A directory listing of this run may still hold a stale copy the run removed.
        if (run_.processed.RemovedCopy(filename)) {
            return Refuse(filename + " - stale temporary file, removed", FileOutcome::AlreadyDone);
        }
        boxes.Warning(filename + kCrLf + "does not exist");
        run_.fileerror = true;
        return FileOutcome::NotRepaired;
    }
    const std::optional<FileIdentity> entry = fs_.Lookup(filename);
    // The copy would take the link's name while its target stayed as it was, and the backup
    // and temporary names could be the target itself: a link is never followed into a swap.
    if (entry && entry->kind == FileIdentity::Kind::SymbolicLink) {
        return Refuse(filename + " - symbolic link, not followed", FileOutcome::NotRepaired);
    }
    if (entry && run_.processed.Contains(*entry)) {
        return Refuse(filename + " - already processed in this run", FileOutcome::AlreadyDone);
    }
    if (!dryrun_ && !AgreeToReplaceBackup(pass)) {
        run_.fileerror = true;
        return FileOutcome::NotRepaired;
    }

    busy_ = true;
    pass_ = &pass;
    StatusList& status = host_.Status();
    pass.progressline = status.AppendLine("- opening files");
    status.SelectLine(pass.progressline);
    RunPass(pass);
    host_.SetProgress(0);
    status.SetTopLine(status.LineCount() - 1);
    pass_ = nullptr;
    busy_ = false;
    return pass.outcome;
}

// A file left alone before its pass starts: its line says why.
FileOutcome RepairEngine::Refuse(const std::string& line, FileOutcome outcome) {
    host_.Status().SetLine(run_.listindex, line);
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
            run_.fileerror = true;
            pass.outcome = FileOutcome::Busy;
            return;
        }
        OpenInput(pass);
        if (SkipHJSplitPiece(pass) || !OpenOutput(pass)) {
            return;
        }
        switch (CopyRecords(pass)) {
            case Ending::Normal:
                FinishFile(pass);
                break;
            case Ending::UserAbort:
                AbortFile(pass, "Aborted " + pass.filename);
                break;
            case Ending::BadWrapper:
                AbortFile(pass, "Aborted-bad Mime Wrapper " + pass.filename);
                break;
        }
    } catch (const PassFailure& failure) {
        std::string warning = failure.warning;
        CloseOutputQuietly(pass);
        if (const std::error_code error = DiscardTemporaryFile(pass)) {
            warning += std::string(kCrLf) + "The temporary file '" + pass.tempname +
                       "' could not be deleted: " + error.message();
        }
        host_.Boxes().Warning(warning);
        status.SetLine(run_.listindex, pass.filename + " - " + failure.what);
        status.RemoveLine(pass.progressline);
        run_.fileerror = true;
    } catch (const LibraryUnavailable& missing) {
        CloseOutputQuietly(pass);
        DiscardTemporaryFile(pass);
        host_.Boxes().Warning(std::string("Unable to load the korbscan library: ") +
                              missing.what());
        status.RemoveLine(pass.progressline);
        status.SetLine(run_.listindex, pass.filename + " - korbscan library not found");
        run_.fileerror = true;
    }
}

// Opens the input and takes its lock; false when another Korbelt holds it. The name may
// have moved on to another file while this one was opened and locked, most likely because
// another Korbelt has just put its repaired copy in place: then it is opened anew.
bool RepairEngine::OpenAndLockInput(Pass& pass) {
    const auto failure = [&](const char* what, const char* action, const std::error_code& error) {
        return PassFailure{what, std::string("Unable to ") + action + " input file '" +
                                     pass.filename + "'" + kCrLf + error.message()};
    };
    for (int attempt = 1;; ++attempt) {
        std::error_code error;
        pass.input = fs_.OpenInput(pass.filename, error);
        if (!pass.input) {
            throw failure("open input file failed", "open", error);
        }
        if ((error = pass.input->Identify(pass.identity))) {
            throw failure("read input file failed", "read", error);
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
        if (readWindow_.size() != plan_.readAhead) {
            readWindow_.assign(plan_.readAhead, 0);
            readWindow_.shrink_to_fit();
        }
        auto window = std::make_unique<ReadAheadInput>(std::move(pass.input), readWindow_);
        pass.window = window.get();
        pass.input = std::move(window);
    }
    iflength_ = pass.input->Length(error);
    if (error) {
        throw PassFailure{"read input file failed", "Unable to read input file '" + pass.filename +
                                                        "'" + kCrLf + error.message()};
    }
}

bool RepairEngine::SkipHJSplitPiece(Pass& pass) {
    const bool ignoreChecked = host_.IgnoreHJSplitChecked();
    const bool isPiece = IsHJSplitFile(pass.filename);
    if (!(ignoreChecked && isPiece && iflength_ % 1024 == 0)) {
        return false;
    }
    StatusList& status = host_.Status();
    status.RemoveLine(pass.progressline);
    status.SetLine(run_.listindex, pass.filename + " - HJSplit file ignored");
    run_.fileerror = false;
    pass.outcome = FileOutcome::Ignored;
    run_.processed.Add(pass.identity);
    return true;
}

bool RepairEngine::OpenOutput(Pass& pass) {
    if (!dryrun_) {
        if (const std::string reason = ClearStaleCopy(pass); !reason.empty()) {
            RefuseOutput(pass, reason);
            return false;
        }
    }
    errno = 0;
    pass.outhandle = io_.OpenFile(pass.tempname);
    if (pass.outhandle == -1) {
        RefuseOutput(pass, errno != 0 ? std::strerror(errno) : "");
        return false;
    }
    pass.tempCreated = true;
    if (!dryrun_) {
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
    pass.input.reset();
    run_.fileerror = true;
}

RepairEngine::Ending RepairEngine::CopyRecords(Pass& pass) {
    host_.SetProgress(0);
    host_.YieldToUi();
    readpos = 1;
    writepos = 1;
    heldcr = 0;
    pass.lastpct = -1;
    pass.reccount = 0;
    pass.gathered = plan_.gatherWrites && pass.window != nullptr && io_.HasWriteBuffEx();
    pass.runLength = 0;
    pass.writebackFrom = 1;

    while (readpos <= iflength_) {
        ReadRecord(pass);
        if (heldcr != 0) {
            // A wrapper is being cut out: nothing of this record is written; it only tells
            // where the data resumes.
            const std::int64_t resume = FindEndofWrapper(readpos);
            if (resume == 0) {
                return Ending::BadWrapper;
            }
            readpos = std::min(resume, iflength_ + 1);
            if (host_.TruncateChecked() && iflength_ - readpos < 10) {
                readpos = iflength_ + 1;
            }
            continue;
        }
        readpos = WriteRec(pass.outhandle, readpos, ScanRecord(), iflength_);
        StartWritebackOfChangedCopy(pass);
        ShowPercentage(pass);
        if (++pass.reccount > 7) {
            pass.reccount = 0;
            host_.Status().SetLine(pass.progressline,
                                   "- processed " + format_.Grouped(readpos / 1024) + " Kbytes");
            host_.YieldToUi();
        }
        if (run_.stopflag) {
            run_.stopflag = false;
            if (host_.Boxes().Question(QuestionKind::AbortProcessing, "Abort Processing?")) {
                return Ending::UserAbort;
            }
        }
    }
    return Ending::Normal;
}

void RepairEngine::ReadRecord(Pass& pass) {
    const std::int64_t wanted = std::min<std::int64_t>(kBufferSize, iflength_ - readpos + 1);
    if (pass.gathered && !pass.window->Holds(readpos - 1, static_cast<std::size_t>(wanted))) {
        // The window is about to move on: the kept bytes still in it go out first.
        WriteRun(pass);
    }
    std::error_code error;
    // A whole record that the window holds is looked at where it lies.
    const std::uint8_t* held = nullptr;
    std::size_t got = 0;
    if (wanted == kBufferSize && pass.window != nullptr) {
        got = pass.window->Serve(readpos - 1, kBufferSize, held, error);
    }
    if (held == nullptr) {
        got = pass.input->ReadAt(readpos - 1, buff.Own(), static_cast<std::size_t>(wanted), error);
    }
    if (error) {
        throw PassFailure{"read input file failed", "Unable to read input file '" + pass.filename +
                                                        "'" + kCrLf + error.message()};
    }
    if (static_cast<std::int64_t>(got) < wanted) {
        throw PassFailure{"input file changed during processing",
                          "Input file '" + pass.filename + "'" + kCrLf +
                              "became shorter while it was being repaired; it was left as it is"};
    }
    if (held != nullptr) {
        buff.Borrow(held);
        return;
    }
    // Past the end of the input the buffer reads as zeros, never as a previous record.
    std::uint8_t* own = buff.Own();
    std::fill(own + wanted, own + kBufferSize, 0);
}

int RepairEngine::ScanRecord() {
    int byte2remove = -1;
    int currpos = 0;
    while (currpos < kRecordSize && byte2remove == -1) {
        currpos = io_.ScanBuff(buff.data(), static_cast<std::int16_t>(currpos),
                               static_cast<std::int16_t>(kRecordSize));
        if (currpos < 0 || currpos > kRecordSize) {
            currpos = kRecordSize;  // a broken library must not send the checks astray
        }
        if (currpos < kRecordSize) {
            byte2remove = buff[currpos + 1] == kCR ? Check4Wrapper(readpos, currpos)
                                                   : Check4RptByte(readpos, currpos);
        }
        ++currpos;
    }
    return byte2remove;
}

// A copy from which a byte was left out will be flushed to disk before it is swapped in:
// asking the disk to write it while the repair goes on makes that flush short. A copy that
// stays unchanged is deleted at the end, so it is never sent to the disk.
void RepairEngine::StartWritebackOfChangedCopy(Pass& pass) {
    if (!dryrun_ && readpos != writepos && writepos - pass.writebackFrom >= kWritebackStep) {
        fs_.StartWriteback(pass.tempname);
        pass.writebackFrom = writepos;
    }
}

void RepairEngine::ShowPercentage(Pass& pass) {
    const int pct = static_cast<int>(std::min<std::int64_t>(PercentOf(readpos, iflength_), 100));
    if (pct != pass.lastpct) {
        host_.SetProgress(pct);
        host_.SetTitle(std::to_string(pct) + kTitleSuffix);
        pass.lastpct = pct;
    }
}

std::int64_t RepairEngine::WriteRec(std::int32_t fileno, std::int64_t ifpos, int byte2remove,
                                    std::int64_t iflength) {
    std::int64_t n = kRecordSize;
    std::int64_t next = ifpos + kRecordSize;
    if (byte2remove != -1) {
        n = byte2remove;
        next = ifpos + byte2remove + 1;
    }
    if (ifpos + n > iflength) {
        n = iflength - ifpos + 1;
        next = iflength + 1;
    }
    if (heldcr != 0) {
        next += 31;
    }
    if (next > iflength + 1) {
        next = iflength + 1;
    }
    if (n != 0) {
        WriteOutput(fileno, ifpos - 1, n);
        writepos += n;
    }
    return next;
}

// The kept bytes of a record are the input's bytes from offset on, as the record was read.
void RepairEngine::WriteOutput(std::int32_t fileno, std::int64_t offset, std::int64_t count) {
    if (pass_ != nullptr && pass_->gathered) {
        Pass& pass = *pass_;
        if (pass.runLength != 0 && pass.runStart + pass.runLength != offset) {
            WriteRun(pass);  // a byte was left out in between
        }
        if (pass.runLength == 0) {
            pass.runStart = offset;
        }
        pass.runLength += count;
        return;
    }
    errno = 0;
    const std::int32_t written =
        io_.WriteBuff(fileno, buff.data(), static_cast<std::int16_t>(count));
    CheckWritten(written, count, errno);
}

// Writes the run of kept bytes gathered so far from where the window holds them; a failure
// reads exactly as that of a record write.
void RepairEngine::WriteRun(Pass& pass) {
    const std::int64_t count = pass.runLength;
    if (count == 0) {
        return;
    }
    pass.runLength = 0;
    const std::uint8_t* bytes =
        pass.window->HeldBytes(pass.runStart, static_cast<std::size_t>(count));
    errno = bytes == nullptr ? EFAULT : 0;
    const std::int32_t written =
        bytes == nullptr ? -1
                         : io_.WriteBuffEx(pass.outhandle, bytes, static_cast<std::int32_t>(count));
    CheckWritten(written, count, errno);
}

void RepairEngine::CheckWritten(std::int32_t written, std::int64_t count, int cause) {
    if (written == count) {
        return;
    }
    const std::string reason = cause != 0 ? std::strerror(cause)
                                          : "only " + std::to_string(written) + " of " +
                                                std::to_string(count) + " bytes were written";
    const std::string tempname = pass_ != nullptr ? pass_->tempname : std::string();
    throw PassFailure{"write to temporary file failed",
                      "Unable to write temporary file '" + tempname + "'" + kCrLf + reason};
}

void RepairEngine::FinishFile(Pass& pass) {
    // Every kept byte goes to the file before the copy is flushed to disk and swapped in,
    // and a copy left unchanged fails on a full disk just as one written record by record.
    if (pass.gathered) {
        WriteRun(pass);
    }
    const bool changed = readpos != writepos;
    if (changed && !dryrun_) {
        GiveCopyTheInputsAccess(pass);
        // The copy must be whole on the disk before it takes the input's name.
        if (const std::error_code error = fs_.SyncFile(pass.tempname)) {
            throw PassFailure{
                "write to temporary file failed",
                "Unable to write temporary file '" + pass.tempname + "'" + kCrLf + error.message()};
        }
        CheckInputUnchanged(pass);
    }
    CloseOutput(pass);
    if (!changed) {
        if (const std::error_code error = DiscardTemporaryFile(pass)) {
            pass.tempCreated = false;
            throw PassFailure{"delete temporary file failed", "Unable to delete temporary file '" +
                                                                  pass.tempname + "'" + kCrLf +
                                                                  error.message()};
        }
    } else if (!dryrun_) {
        PutRepairedCopyInPlace(pass);
        run_.processed.Add(pass.copyIdentity);
    }
    run_.processed.Add(pass.identity);
    StatusList& status = host_.Status();
    status.SetLine(run_.listindex, pass.filename);
    status.RemoveLine(pass.progressline);
    InformUser("  " + NumberFormat::Plain(readpos - writepos) + " bytes removed, " +
               format_.Grouped(readpos - 1) + " bytes read, " + format_.Grouped(writepos - 1) +
               " bytes written.");
    run_.fileerror = false;
    pass.outcome = changed ? FileOutcome::Repaired : FileOutcome::Clean;
}

// The repaired file is the input's to the user: same permissions, and the same owner and
// group where the process may give them. Until now the copy was readable by its writer only.
void RepairEngine::GiveCopyTheInputsAccess(Pass& pass) {
    if (const std::error_code error = pass.copy->SetAccess(pass.identity)) {
        throw PassFailure{"write to temporary file failed",
                          "Unable to give temporary file '" + pass.tempname +
                              "' the permissions of '" + pass.filename + "'" + kCrLf +
                              error.message()};
    }
}

// Just before the swap the input's name must still lead to the very file that was read,
// unwritten since, and NAME.$$$ to the copy this pass wrote. Otherwise nothing is renamed.
void RepairEngine::CheckInputUnchanged(Pass& pass) {
    FileIdentity now;
    if (const std::error_code error = pass.input->Identify(now)) {
        throw PassFailure{"read input file failed", "Unable to read input file '" + pass.filename +
                                                        "'" + kCrLf + error.message()};
    }
    const std::optional<FileIdentity> named = fs_.Lookup(pass.filename);
    if (!now.Unchanged(pass.identity) || !named || !named->Unchanged(pass.identity)) {
        throw InputChanged(pass.filename);
    }
    const std::optional<FileIdentity> copy = fs_.Lookup(pass.tempname);
    if (!copy || !copy->SameFile(pass.copyIdentity)) {
        throw PassFailure{"temporary file changed during processing",
                          "Temporary file '" + pass.tempname + "'" + kCrLf +
                              "was replaced while it was being written; nothing was renamed"};
    }
}

void RepairEngine::PutRepairedCopyInPlace(Pass& pass) {
    const std::string& name = pass.filename;
    const std::string& bak = pass.bakname;
    const std::string& temp = pass.tempname;
    const auto fail = [&](const std::string& what, const std::string& warning,
                          const std::error_code& error) {
        throw PassFailure{what, warning + kCrLf + error.message()};
    };

    MakeWayForBackup(pass);
    // With a hard link the input's name never goes missing, not even for a moment.
    std::error_code error = fs_.Link(name, bak);
    if (!error) {
        if ((error = fs_.Rename(temp, name))) {
            fs_.Remove(bak);  // the second name this pass has just made, nothing else
            fail("rename of temporary file failed",
                 "Unable to rename '" + temp + "' to '" + name + "'", error);
        }
    } else if (LinkUnsupported(error)) {
        if ((error = fs_.Rename(name, bak))) {
            fail("rename to backup file failed", "Unable to rename '" + name + "' to '" + bak + "'",
                 error);
        }
        if ((error = fs_.Rename(temp, name))) {
            const bool restored = !fs_.Rename(bak, name);
            fail(
                "rename of temporary file failed",
                "Unable to rename '" + temp + "' to '" + name + "'" +
                    (restored ? "" : std::string(kCrLf) + "The original file is now '" + bak + "'"),
                error);
        }
    } else {
        fail("rename to backup file failed", "Unable to create backup file '" + bak + "'", error);
    }
    if ((error = fs_.SyncDirectoryOf(name))) {
        // Without the directory on disk a crash could lose the swap: put the input back.
        const bool restored = !fs_.Rename(bak, name);
        fail("write of directory failed",
             "Unable to write the directory of '" + name + "'" +
                 (restored ? "" : std::string(kCrLf) + "The original file is now '" + bak + "'"),
             error);
    }
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
        throw PassFailure{"backup file changed during processing",
                          "Backup file '" + pass.bakname + "'" + kCrLf +
                              "appeared or changed while '" + pass.filename +
                              "' was being repaired; nothing was replaced"};
    }
    if (const std::error_code error = fs_.Remove(pass.bakname);
        error && error != std::errc::no_such_file_or_directory) {
        throw PassFailure{
            "delete old backup file failed",
            "Unable to delete old backup file '" + pass.bakname + "'" + kCrLf + error.message()};
    }
}

void RepairEngine::AbortFile(Pass& pass, const std::string& line) {
    CloseOutput(pass);
    const std::error_code error = DiscardTemporaryFile(pass);
    run_.fileerror = true;
    StatusList& status = host_.Status();
    status.SetLine(run_.listindex, line);
    status.RemoveLine(pass.progressline);
    if (error) {
        host_.Boxes().Warning("Unable to delete temporary file '" + pass.tempname + "'" + kCrLf +
                              error.message());
    }
}

// The input and the copy stay open, and locked, until the pass ends.
void RepairEngine::CloseOutput(Pass& pass) {
    if (pass.outhandle != -1) {
        const std::int32_t handle = pass.outhandle;
        pass.outhandle = -1;
        io_.CloseFile(handle);
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
    if (!pass.tempCreated || dryrun_) {
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
