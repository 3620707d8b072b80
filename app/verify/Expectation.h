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
    // Where a PAR 2.0 file keeps the slice checksums (its packet's offset), until they are
    // loaded for the file being repaired; -1 when it keeps none.
    std::int64_t slicesAt = -1;

    bool HasSlices() const { return sliceSize > 0 && !slices.empty(); }
    // Slices small enough to hash on every core and to plan a repair by, one at a time in
    // memory. par2 makes slices this large for files of up to 16 GiB with its default 2,000
    // slices; a set with larger ones is checked by the file's MD5.
    static constexpr std::int64_t kMaxSliceInMemory = std::int64_t{8} << 20;
    bool HasSlicesInMemory() const { return HasSlices() && sliceSize <= kMaxSliceInMemory; }
    // Whether slice index, as the copy holds it, has the MD5 it was posted with.
    bool SliceMd5Matches(std::int64_t index, const DigestBytes& md5) const {
        return index >= 0 && index < static_cast<std::int64_t>(slices.size()) &&
               md5 == slices[static_cast<std::size_t>(index)].md5;
    }
    // The same file described the same way, by whichever checksum file.
    bool SameContents(const Expectation& other) const {
        return length == other.length && kind == other.kind && digest == other.digest &&
               crc32 == other.crc32;
    }
    // How good a proof it gives: a PAR 2.0 description beats a digest, a digest a CRC.
    int Strength() const;
};

// The number of slices a file of this length has (0 for a negative length or slice size).
std::int64_t SliceCount(std::int64_t length, std::int64_t sliceSize);

}  // namespace korbelt
