// The copy of one file, record by record: read, scan, write what is kept.
#include <algorithm>

#include "engine/PassState.h"
#include "engine/scan/ReadAheadInput.h"

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
        if (readpos == 1) {
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

void RepairEngine::ShowPercentage(Pass& pass) {
    const int pct = static_cast<int>(std::min<std::int64_t>(PercentOf(readpos, iflength_), 100));
    if (pct != pass.lastpct) {
        host_.SetProgress(pct);
        host_.SetTitle(std::to_string(pct) + kTitleSuffix);
        pass.lastpct = pct;
    }
}

}  // namespace korbelt
