#include "structure/ByteWindow.h"

#include <algorithm>

namespace korbelt {
namespace {

// Four reads' worth: the headers a walker reads near each other come from one read.
constexpr std::size_t kWindow = 4 * ByteWindow::kMaxRead;

}  // namespace

ByteWindow::ByteWindow(InputFile& input, std::int64_t length)
    : input_(input), length_(std::max<std::int64_t>(length, 0)) {}

const std::uint8_t* ByteWindow::At(std::int64_t offset, std::size_t count) {
    if (count > kMaxRead || !Holds(offset, static_cast<std::int64_t>(count)) || error_) {
        return nullptr;
    }
    if (const std::uint8_t* mapped = input_.Peek(offset, count)) {
        return mapped;
    }
    if (offset >= base_ && offset + static_cast<std::int64_t>(count) <=
                               base_ + static_cast<std::int64_t>(held_)) {
        return buffer_.data() + (offset - base_);
    }
    // Walkers move forward: the window starts a little before the offset asked for, so that
    // a search just behind it is served from the same read.
    buffer_.resize(kWindow);
    base_ = std::max<std::int64_t>(0, offset - 256);
    const auto want = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(kWindow), length_ - base_));
    held_ = input_.ReadAt(base_, buffer_.data(), want, error_);
    if (error_ || offset + static_cast<std::int64_t>(count) > base_ + static_cast<std::int64_t>(held_)) {
        held_ = 0;
        return nullptr;
    }
    return buffer_.data() + (offset - base_);
}

}  // namespace korbelt
