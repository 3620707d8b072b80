#include "structure/ByteWindow.h"

#include <algorithm>

namespace korbelt {
namespace {

// What one read fills: enough that the headers a walker reads near each other come from one
// read, little enough that a header after a long stretch of data costs a small read.
constexpr std::size_t kWindow = std::size_t{64} << 10;

}  // namespace

ByteWindow::ByteWindow(InputFile& input, std::int64_t length)
    : input_(input), length_(std::max<std::int64_t>(length, 0)) {}

const std::uint8_t* ByteWindow::At(std::int64_t offset, std::size_t count) {
    if (count > kMaxRead || !Holds(offset, static_cast<std::int64_t>(count)) || error_) {
        return nullptr;
    }
    const auto end = offset + static_cast<std::int64_t>(count);
    for (Slot& slot : slots_) {
        if (offset >= slot.base && end <= slot.base + static_cast<std::int64_t>(slot.held)) {
            slot.used = ++uses_;
            return slot.bytes.get() + (offset - slot.base);
        }
    }
    if (const std::uint8_t* mapped = input_.Peek(offset, count)) {
        return mapped;
    }
    Slot& slot = slots_[0].used <= slots_[1].used ? slots_[0] : slots_[1];
    // Walkers move forward: the window starts a little before the offset asked for, so that
    // a search just behind it is served from the same read.
    const std::size_t window = std::max(kWindow, count + 256);
    if (slot.size < window) {
        slot.bytes.reset(new std::uint8_t[window]);
        slot.size = window;
    }
    slot.base = std::max<std::int64_t>(0, offset - 256);
    const auto want = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(window), length_ - slot.base));
    slot.held = input_.ReadAt(slot.base, slot.bytes.get(), want, error_);
    slot.used = ++uses_;
    if (error_ || end > slot.base + static_cast<std::int64_t>(slot.held)) {
        slot.held = 0;
        return nullptr;
    }
    return slot.bytes.get() + (offset - slot.base);
}

}  // namespace korbelt
