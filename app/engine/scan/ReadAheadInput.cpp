#include "engine/scan/ReadAheadInput.h"

#include <algorithm>
#include <cstring>

namespace korbelt {

ReadAheadInput::ReadAheadInput(std::unique_ptr<InputFile> file, std::span<std::uint8_t> window)
    : InputOver(std::move(file)), window_(window) {}

std::size_t ReadAheadInput::ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                                   std::error_code& error) {
    if (count > window_.size()) {
        return file_->ReadAt(offset, buffer, count, error);
    }
    const std::uint8_t* bytes = nullptr;
    const std::size_t served = Serve(offset, count, bytes, error);
    if (served > 0) {
        std::memcpy(buffer, bytes, served);
    }
    return served;
}

std::size_t ReadAheadInput::Serve(std::int64_t offset, std::size_t count,
                                  const std::uint8_t*& bytes, std::error_code& error) {
    bytes = nullptr;
    if (count > window_.size()) {
        return 0;
    }
    std::error_code readError;
    if (!Holds(offset, count)) {
        Refill(offset, count, readError);
    }
    const std::size_t from = static_cast<std::size_t>(offset - start_);
    const std::size_t served = std::min(count, held_ - std::min(held_, from));
    bytes = window_.data() + std::min(from, held_);
    // An error past the bytes asked for is not this read's business: the read that needs
    // those bytes goes to the file again and meets it there.
    if (served < count && readError) {
        error = readError;
    }
    return served;
}

bool ReadAheadInput::Holds(std::int64_t offset, std::size_t count) const {
    return offset >= start_ &&
           offset - start_ + static_cast<std::int64_t>(count) <= static_cast<std::int64_t>(held_);
}

const std::uint8_t* ReadAheadInput::HeldBytes(std::int64_t offset, std::size_t count) const {
    return Holds(offset, count) ? window_.data() + (offset - start_) : nullptr;
}

void ReadAheadInput::Refill(std::int64_t offset, std::size_t count, std::error_code& error) {
    // A reader behind wants the bytes from keepFrom_ on, where there is room for them.
    if (keepFrom_ >= start_ && keepFrom_ < offset &&
        offset - keepFrom_ <= static_cast<std::int64_t>(window_.size() - count)) {
        offset = keepFrom_;
    }
    // Records overlap and move forward: keep what is already here from offset on and read
    // only the rest, so that the file is read once, in order.
    std::size_t kept = 0;
    if (offset >= start_ && offset < start_ + static_cast<std::int64_t>(held_)) {
        const std::size_t from = static_cast<std::size_t>(offset - start_);
        kept = held_ - from;
        std::memmove(window_.data(), window_.data() + from, kept);
    }
    start_ = offset;
    held_ = kept;
    held_ += file_->ReadAt(offset + static_cast<std::int64_t>(kept), window_.data() + kept,
                           window_.size() - kept, error);
}

}  // namespace korbelt
