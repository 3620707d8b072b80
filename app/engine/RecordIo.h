#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace korbelt {

// Thrown when the record I/O library, or one of its functions, cannot be bound.
class LibraryUnavailable : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The record I/O calls of the repair engine, with the widths of the korbscan library.
// Implementations may throw LibraryUnavailable from any call.
class RecordIo {
  public:
    virtual ~RecordIo() = default;

    virtual std::int32_t OpenFile(const std::string& path) = 0;
    virtual std::int32_t CloseFile(std::int32_t handle) = 0;
    virtual std::int32_t ScanBuff(const std::uint8_t* buffer, std::int16_t scanfrom,
                                  std::int16_t scanto) = 0;
    virtual std::int32_t WriteBuff(std::int32_t handle, const std::uint8_t* buffer,
                                   std::int16_t length) = 0;
};

}  // namespace korbelt
