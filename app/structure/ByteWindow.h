#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <system_error>

#include "ports/FileSystem.h"

namespace korbelt {

// The input as a walker reads it: a few bytes at a time at any offset, through windows of
// fixed size, so that reading a header costs a copy of it at most and the memory stays the
// same whatever the file claims.
class ByteWindow {
  public:
    static constexpr std::size_t kMaxRead = std::size_t{128} << 10;

    ByteWindow(InputFile& input, std::int64_t length);

    std::int64_t Length() const { return length_; }
    // The count bytes at offset (count at most kMaxRead), valid until the next call; nullptr
    // where the file ends before they do or the read fails.
    const std::uint8_t* At(std::int64_t offset, std::size_t count);
    // Whether count bytes at offset lie inside the file.
    bool Holds(std::int64_t offset, std::int64_t count) const {
        return offset >= 0 && count >= 0 && offset <= length_ && count <= length_ - offset;
    }
    bool Failed() const { return static_cast<bool>(error_); }

  private:
    InputFile& input_;
    std::int64_t length_;
    // Two windows (64 KiB, or what a read of up to kMaxRead needs), the one used longer ago
    // filled on a miss: a walker that checks a header ahead and comes back reads each once.
    // Left uninitialised: a read fills what is used, and clearing them would cost about as
    // much as the walk of a file whose sizes all fit.
    struct Slot {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::size_t size = 0;
        std::int64_t base = 0;
        std::size_t held = 0;
        std::uint64_t used = 0;
    };
    Slot slots_[2];
    std::uint64_t uses_ = 0;
    std::error_code error_;
};

inline std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint64_t Le64(const std::uint8_t* p) {
    return Le32(p) | static_cast<std::uint64_t>(Le32(p + 4)) << 32;
}
inline std::uint32_t Be32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}
inline std::uint64_t Be64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(Be32(p)) << 32 | Be32(p + 4);
}

}  // namespace korbelt
