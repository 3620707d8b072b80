// The copy of one file, record by record: read, scan, write what is kept.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/PassState.h"
#include "engine/ReadAheadInput.h"

namespace korbelt {
namespace {

constexpr const char* kTitleSuffix = "% Completed. Korbelt from Prendle";

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

}  // namespace

RepairEngine::Ending RepairEngine::CopyRecords(Pass& pass) {
    host_.SetProgress(0);
    host_.YieldToUi();
    readpos = 1;
    writepos = 1;
    heldcr = 0;
    pass.copying = true;
    startAgain_ = false;
    pass.lastpct = -1;
    pass.reccount = 0;
    pass.gathered =
        plan_.gatherWrites && pass.window != nullptr && Io().HasWriteBuffEx() &&
        route_->RecordsWritten();
    pass.runLength = 0;
    pass.writebackFrom = 1;

    while (readpos <= iflength_) {
        ReadRecord(pass);
        if (readpos == 1 && pass.evidence.entries.empty()) {
            // The route of a pass the file's structure guides is known at its first bytes.
            if (!StartStructureGuide(pass)) {
                return Ending::UserAbort;
            }
            pass.gathered = pass.gathered && route_->RecordsWritten();
        }
        if (heldcr != 0) {
            // A wrapper is being cut out: nothing of this record is written; it only tells
            // where the data resumes.
            const std::int64_t resume = FindEndofWrapper(readpos);
            if (resume == 0) {
                return Ending::BadWrapper;
            }
            readpos = std::min(resume, iflength_ + 1);
            if (options_.truncate && iflength_ - readpos < kTruncateWithin) {
                readpos = iflength_ + 1;
            }
            NoteWrapperEnd(readpos - 1);
            continue;
        }
        readpos = WriteRec(pass, readpos, ScanRecord(), iflength_);
        if (startAgain_) {
            return Ending::TooManyHeld;
        }
        if (!route_->Advance(pass, false)) {
            return Ending::UserAbort;
        }
        StartWritebackOfChangedCopy(pass);
        ShowPercentage(pass);
        if (++pass.reccount >= kRecordsPerProgressLine) {
            pass.reccount = 0;
            host_.Status().SetLine(pass.progressline,
                                   "- processed " + format_.Grouped(readpos / 1024) + " Kbytes");
            host_.YieldToUi();
        }
        if (!GoOnAfterStop()) {
            return Ending::UserAbort;
        }
    }
    if (!route_->Advance(pass, true)) {
        return Ending::UserAbort;
    }
    return Ending::Normal;
}

// Where Stop was pressed, asks whether to abort the file; false when the user agrees.
bool RepairEngine::GoOnAfterStop() {
    if (!run_.stopflag) {
        return true;
    }
    run_.stopflag = false;
    return !host_.Boxes().Question(QuestionKind::AbortProcessing, "Abort Processing?");
}

// A wrapper's find reaches to where the data resumes (0-based), known a record later.
void RepairEngine::NoteWrapperEnd(std::int64_t resume) {
    route_->WrapperEnds(resume);
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
        throw Unable("read input file failed", "read input file", pass.filename, error);
    }
    if (static_cast<std::int64_t>(got) < wanted) {
        throw InputChanged(pass.filename, "became shorter");
    }
    if (held != nullptr) {
        buff.Borrow(held);
        return;
    }
    // Past the end of the input the buffer reads as zeros, never as a previous record.
    std::uint8_t* own = buff.Own();
    std::fill(own + wanted, own + kBufferSize, 0);
}

// The first byte of the record to leave out, of the first find that is removed.
int RepairEngine::ScanRecord() {
    int byte2remove = -1;
    for (int currpos = 0; currpos < kRecordSize && byte2remove == -1; ++currpos) {
        currpos = io_.ScanBuff(buff.data(), static_cast<std::int16_t>(currpos),
                               static_cast<std::int16_t>(kRecordSize));
        if (currpos < 0 || currpos > kRecordSize) {
            currpos = kRecordSize;  // a broken library must not send the checks astray
        }
        if (currpos < kRecordSize) {
            byte2remove = buff[currpos + 1] == kCR ? Check4Wrapper(readpos, currpos)
                                                   : Check4RptByte(readpos, currpos);
        }
    }
    return byte2remove;
}

// A copy from which a byte was left out will be flushed to disk before it is swapped in:
// asking the disk to write it while the repair goes on makes that flush short. A copy that
// stays unchanged is deleted at the end, so it is never sent to the disk.
void RepairEngine::StartWritebackOfChangedCopy(Pass& pass) {
    if (!options_.dryRun && CopyChanged() && writepos - pass.writebackFrom >= kWritebackStep) {
        fs_.StartWriteback(pass.tempname);
        pass.writebackFrom = writepos;
    }
}

// Whether the copy so far differs from the input read so far.
bool RepairEngine::CopyChanged() const {
    return route_->CopyChanged();
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
    Pass outside;
    outside.outhandle = fileno;
    return WriteRec(outside, ifpos, byte2remove, iflength);
}

std::int64_t RepairEngine::WriteRec(Pass& pass, std::int64_t ifpos, int byte2remove,
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
        next += kWrapperSkip;
    }
    if (next > iflength + 1) {
        next = iflength + 1;
    }
    // A guided pass writes its copy as the evidence decides, behind the scan.
    if (n != 0 && route_->RecordsWritten()) {
        WriteOutput(pass, ifpos - 1, n);
        writepos += n;
    }
    return next;
}

// The kept bytes of a record are the input's bytes from offset on, as the record was read.
void RepairEngine::WriteOutput(Pass& pass, std::int64_t offset, std::int64_t count) {
    if (pass.gathered) {
        if (pass.runLength != 0 && pass.runStart + pass.runLength != offset) {
            WriteRun(pass);  // a byte was left out in between
        }
        if (pass.runLength == 0) {
            pass.runStart = offset;
        }
        pass.runLength += count;
        return;
    }
    Observe(pass, buff.data(), count);
    errno = 0;
    const std::int32_t written =
        Io().WriteBuff(pass.outhandle, buff.data(), static_cast<std::int16_t>(count));
    CheckWritten(pass, written, count, errno);
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
    if (bytes != nullptr) {
        Observe(pass, bytes, count);
    }
    errno = bytes == nullptr ? EFAULT : 0;
    const std::int32_t written =
        bytes == nullptr
            ? -1
            : Io().WriteBuffEx(pass.outhandle, bytes, static_cast<std::int32_t>(count));
    CheckWritten(pass, written, count, errno);
}

void RepairEngine::CheckWritten(const Pass& pass, std::int32_t written, std::int64_t count,
                                int cause) {
    if (written == count) {
        return;
    }
    const std::string reason = cause != 0 ? std::strerror(cause)
                                          : "only " + std::to_string(written) + " of " +
                                                std::to_string(count) + " bytes were written";
    throw Unable("write to temporary file failed", "write temporary file", pass.tempname, reason);
}

}  // namespace korbelt
