#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "ports/Failure.h"

namespace korbelt {

// The record I/O calls of the repair engine, with the widths of the korbscan library.
// Implementations may throw a Failure of kind LibraryUnavailable from any call.
class RecordIo {
  public:
    virtual ~RecordIo() = default;

    virtual std::int32_t OpenFile(const std::string& path) = 0;
    virtual std::int32_t CloseFile(std::int32_t handle) = 0;
    virtual std::int32_t ScanBuff(const std::uint8_t* buffer, std::int16_t scanfrom,
                                  std::int16_t scanto) = 0;
    virtual std::int32_t WriteBuff(std::int32_t handle, const std::uint8_t* buffer,
                                   std::int16_t length) = 0;

    // Whether WriteBuffEx is one real call, so that the engine may gather the kept bytes of
    // many records and write them at once. Without it the engine writes record by record.
    virtual bool HasWriteBuffEx() { return false; }
    // Appends length bytes (any 32-bit count); returns the count written, or -1. Here the
    // write is cut into WriteBuff calls; an implementation with a wide call of its own
    // overrides both.
    virtual std::int32_t WriteBuffEx(std::int32_t handle, const std::uint8_t* buffer,
                                     std::int32_t length) {
        if (length < 0) {
            return -1;
        }
        std::int32_t done = 0;
        while (done < length) {
            const std::int16_t piece = static_cast<std::int16_t>(std::min(length - done, 32767));
            const std::int32_t written = WriteBuff(handle, buffer + done, piece);
            if (written < 0) {
                return -1;
            }
            done += written;
            if (written < piece) {
                break;
            }
        }
        return done;
    }
};

}  // namespace korbelt
