// The copy's writes: the kept bytes of each record, or runs of them from the read-ahead
// window, each checked, and the disk asked to write a changed copy as it grows.
#include <cerrno>
#include <cstring>

#include "engine/PassState.h"
#include "engine/scan/ReadAheadInput.h"

namespace korbelt {

// A copy from which a byte was left out will be flushed to disk before it is swapped in:
// asking the disk to write it while the repair goes on makes that flush short. A copy that
// stays unchanged is deleted at the end, so it is never sent to the disk; a dry run holds no
// copy on disk.
void RepairEngine::StartWritebackOfChangedCopy(Pass& pass) {
    if (pass.copy && CopyChanged() && writepos - pass.writebackFrom >= kWritebackStep) {
        fs_.StartWriteback(pass.tempname);
        pass.writebackFrom = writepos;
    }
}

// Whether the copy so far differs from the input read so far.
bool RepairEngine::CopyChanged() const {
    return route_->CopyChanged();
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
