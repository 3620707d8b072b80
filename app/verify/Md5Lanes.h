#pragma once

#include <cstddef>
#include <cstdint>

#include "verify/Digest.h"

namespace korbelt {

// MD5s of up to kMd5Lanes messages of one length at once, in the lanes of the vector
// registers where the processor has AVX2, one by one where it has not. The slices of a
// PAR 2.0 set are such messages: this hashes them in about a third of the time one MD5 at a
// time takes, and an MD5 is most of what proving a repair costs.
constexpr std::size_t kMd5Lanes = 8;

// digests[i] gets the MD5 of the length bytes at messages[i], for i below count (at most
// kMd5Lanes).
void Md5OfMany(const std::uint8_t* const* messages, std::size_t count, std::size_t length,
               DigestBytes* digests);

}  // namespace korbelt
