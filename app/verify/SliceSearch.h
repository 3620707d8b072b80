#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "verify/Expectation.h"

namespace korbelt {

// Where one byte was slipped into a slice. bytes holds the slice as it arrived: one byte more
// than the slice had, which PAR 2.0 checks padded with zeros to sliceSize. Gives every
// position whose removal leaves bytes with the CRC-32 given, in order.
//
// Each candidate differs from the next in one byte, so the CRC-32s of all of them follow
// from one running CRC over the differences of neighbouring bytes and one over zeros,
// compared after a single shift by the inverse of the slice's length: linear time, two
// steps of zlib's CRC per byte, where computing each candidate's CRC afresh would cost a
// slice's length per position.
std::vector<std::size_t> RemovalsMatchingCrc(const std::uint8_t* bytes, std::size_t count,
                                             std::int64_t sliceSize, std::uint32_t crc);

// Every k at which the length bytes from bytes + k, padded with zeros to sliceSize, have the
// CRC-32 given, in order. A rolling CRC: one pass, two steps of zlib's CRC per byte.
std::vector<std::size_t> WindowsMatchingCrc(const std::uint8_t* bytes, std::size_t count,
                                            std::int64_t length, std::int64_t sliceSize,
                                            std::uint32_t crc);

// The first removal that makes the slice match its CRC-32 and then its MD5; none when no
// single byte does among the first few that match the CRC-32 (removals within a run of equal
// bytes count once).
std::optional<std::size_t> FindInsertedByte(const std::uint8_t* bytes, std::size_t count,
                                            std::int64_t sliceSize, const SliceChecksum& slice);

// The CRC-32 of bytes padded with zeros to sliceSize, as PAR 2.0 checks a file's last slice.
std::uint32_t PaddedCrc(const std::uint8_t* bytes, std::size_t count, std::int64_t sliceSize);

// Whether bytes, padded with zeros to sliceSize, are the slice: CRC-32 first, then MD5.
bool SliceMatches(const std::uint8_t* bytes, std::size_t count, std::int64_t sliceSize,
                  const SliceChecksum& slice);

}  // namespace korbelt
