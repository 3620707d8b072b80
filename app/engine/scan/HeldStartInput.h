#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "engine/scan/InputOver.h"

namespace korbelt {

// An input file whose first bytes have been read already, for its markers: reads of them are
// served from that memory, and the file is not read for them again.
class HeldStartInput : public InputOver {
  public:
    explicit HeldStartInput(std::unique_ptr<InputFile> file) : InputOver(std::move(file)) {}

    // The memory must outlive the reads; its bytes are the file's from offset 0 on, and where
    // whole says so, all of them: the file is then not read again at all.
    void Hold(std::span<const std::uint8_t> start, bool whole) {
        start_ = start;
        whole_ = whole;
    }
    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                       std::error_code& error) override {
        std::size_t done = 0;
        if (offset < static_cast<std::int64_t>(start_.size())) {
            done = std::min(count, start_.size() - static_cast<std::size_t>(offset));
            std::memcpy(buffer, start_.data() + offset, done);
        }
        if (done < count && !whole_) {
            done += file_->ReadAt(offset + static_cast<std::int64_t>(done), buffer + done,
                                  count - done, error);
        }
        return done;
    }
    const std::uint8_t* Peek(std::int64_t offset, std::size_t count) override {
        return offset >= 0 && offset + static_cast<std::int64_t>(count) <=
                                  static_cast<std::int64_t>(start_.size())
                   ? start_.data() + offset
                   : file_->Peek(offset, count);
    }
  private:
    std::span<const std::uint8_t> start_;
    bool whole_ = false;
};

}  // namespace korbelt
