#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "verify/Digest.h"

namespace korbelt {

// One slice of a file as a PAR 2.0 set describes it: MD5 and CRC-32 of its bytes, the last
// slice padded with zeros to the full slice size.
struct SliceChecksum {
    DigestBytes md5;
    std::uint32_t crc32 = 0;
};

// What a checksum file says one file must be.
struct Expectation {
    std::string source;  // the checksum file that says so
    std::string name;    // the file's name as that file gives it
    std::optional<std::int64_t> length;
    std::optional<DigestKind> kind;  // of digest, when there is one
    DigestBytes digest;
    std::optional<std::uint32_t> crc32;  // of the whole file (SFV)
    std::int64_t sliceSize = 0;
    std::vector<SliceChecksum> slices;

    bool HasSlices() const { return sliceSize > 0 && !slices.empty(); }
    // How good a proof it gives: a PAR 2.0 description beats a digest, a digest a CRC.
    int Strength() const;
};

// The number of slices a file of this length has.
std::int64_t SliceCount(std::int64_t length, std::int64_t sliceSize);

}  // namespace korbelt
