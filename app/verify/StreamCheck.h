#pragma once

#include <cstdint>
#include <optional>

#include "verify/Digest.h"
#include "verify/Expectation.h"

namespace korbelt {

// Checks a stream of bytes, fed in order, against an expectation: its length, its digest or
// CRC-32, and, where slices are known, how many slices match (by their CRC-32: a count that
// guides, not a proof; the proof is the whole file's digest).
class StreamCheck {
  public:
    // Without countSlices the slices are left alone: counting them costs a CRC-32 of every
    // byte, worth it only once the digest has said no.
    explicit StreamCheck(const Expectation& expected, bool countSlices = true);

    void Add(const std::uint8_t* bytes, std::size_t count);

    struct Result {
        bool matches = false;
        std::int64_t slicesMatching = 0;
        std::int64_t sliceCount = 0;
    };
    Result Finish();

  private:
    void AddToSlices(const std::uint8_t* bytes, std::size_t count);
    void EndSlice();

    const Expectation& expected_;
    bool countSlices_;
    std::optional<Hasher> digest_;
    std::uint32_t crc_ = 0;
    std::int64_t length_ = 0;
    std::int64_t sliceFill_ = 0;
    std::uint32_t sliceCrc_ = 0;
    std::int64_t sliceIndex_ = 0;
    std::int64_t slicesMatching_ = 0;
};

}  // namespace korbelt
