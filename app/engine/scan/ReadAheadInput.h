#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "engine/scan/InputOver.h"

namespace korbelt {

// An input file read ahead in large windows: each read of the repair pass, a record of
// 10291 bytes that overlaps the one before, is served from memory, and the file itself sees
// one read call per window. Keeps the InputFile contract: a read returns fewer bytes only
// where the file ends, and a read error is reported by the very read that needs a byte the
// file could not deliver, just as if every read went to the file.
class ReadAheadInput : public InputOver {
  public:
    // The window's memory belongs to the caller and must outlive this object; its size is
    // the most that is read from the file in one call.
    ReadAheadInput(std::unique_ptr<InputFile> file, std::span<std::uint8_t> window);

    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                       std::error_code& error) override;
    const std::uint8_t* Peek(std::int64_t offset, std::size_t count) override {
        return HeldBytes(offset, count);
    }

    // A read that leaves the bytes where the window holds them: bytes points at them, valid
    // until the next read. Returns and reports what ReadAt would; a read larger than the
    // window is not served this way (0, bytes nullptr, no error).
    std::size_t Serve(std::int64_t offset, std::size_t count, const std::uint8_t*& bytes,
                      std::error_code& error);

    // Bytes from offset on stay in the window as it moves forward, as far as it has room for
    // them beside each read: a reader that follows behind finds them there.
    void KeepFrom(std::int64_t offset) { keepFrom_ = offset; }

    // Whether a read of these bytes is served without a read call of the file.
    bool Holds(std::int64_t offset, std::size_t count) const;
    // The bytes as the last read served them, while the window holds them (until a read
    // that Holds says no to); nullptr when it does not hold them all.
    const std::uint8_t* HeldBytes(std::int64_t offset, std::size_t count) const;

  private:
    void Refill(std::int64_t offset, std::size_t count, std::error_code& error);

    std::span<std::uint8_t> window_;
    std::int64_t start_ = 0;  // file offset of window_[0]
    std::size_t held_ = 0;    // bytes of the window that hold file data
    std::int64_t keepFrom_ = -1;
};

}  // namespace korbelt
