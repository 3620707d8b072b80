#include "verify/StreamCheck.h"

#include <algorithm>

namespace korbelt {

StreamCheck::StreamCheck(const Expectation& expected, bool countSlices)
    : expected_(expected), countSlices_(countSlices && expected.HasSlices()) {
    if (expected.kind) {
        digest_.emplace(*expected.kind);
    }
}

void StreamCheck::Add(const std::uint8_t* bytes, std::size_t count) {
    if (digest_) {
        digest_->Add(bytes, count);
    }
    if (expected_.crc32) {
        crc_ = Crc32(crc_, bytes, count);
    }
    if (countSlices_) {
        AddToSlices(bytes, count);
    }
    length_ += static_cast<std::int64_t>(count);
}

void StreamCheck::AddToSlices(const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        const auto room = static_cast<std::size_t>(expected_.sliceSize - sliceFill_);
        const std::size_t piece = std::min(room, count);
        sliceCrc_ = Crc32(sliceCrc_, bytes, piece);
        sliceFill_ += static_cast<std::int64_t>(piece);
        bytes += piece;
        count -= piece;
        if (sliceFill_ == expected_.sliceSize) {
            EndSlice();
        }
    }
}

void StreamCheck::EndSlice() {
    const auto index = static_cast<std::size_t>(sliceIndex_);
    if (index < expected_.slices.size() && expected_.slices[index].crc32 == sliceCrc_) {
        ++slicesMatching_;
    }
    ++sliceIndex_;
    sliceFill_ = 0;
    sliceCrc_ = 0;
}

StreamCheck::Result StreamCheck::Finish() {
    Result result;
    bool matches = !expected_.length || *expected_.length == length_;
    if (digest_) {
        matches = matches && digest_->Finish() == expected_.digest;
    }
    if (expected_.crc32) {
        matches = matches && crc_ == *expected_.crc32;
    }
    result.matches = matches && (digest_ || expected_.crc32);
    if (countSlices_) {
        if (sliceFill_ > 0) {
            // The last slice is checked as PAR 2.0 checks it: padded with zeros.
            sliceCrc_ =
                Crc32Zeros(sliceCrc_, static_cast<std::uint64_t>(expected_.sliceSize - sliceFill_));
            EndSlice();
        }
        result.slicesMatching = slicesMatching_;
        result.sliceCount = static_cast<std::int64_t>(expected_.slices.size());
    }
    return result;
}

}  // namespace korbelt
