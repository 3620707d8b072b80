#pragma once

#include "TempDir.h"
#include "verify/Expectation.h"

namespace korbelt::test {

// The slice checksums PAR 2.0 gives a file: the last slice padded with zeros.
inline std::vector<SliceChecksum> SlicesOf(Bytes bytes, std::size_t sliceSize) {
    bytes.resize((bytes.size() + sliceSize - 1) / sliceSize * sliceSize, 0);
    std::vector<SliceChecksum> slices;
    for (std::size_t at = 0; at < bytes.size(); at += sliceSize) {
        slices.push_back({DigestOf(DigestKind::Md5, bytes.data() + at, sliceSize),
                          Crc32(0, bytes.data() + at, sliceSize)});
    }
    return slices;
}

// What a PAR 2.0 set says of the file as posted.
inline Expectation PostedAs(const Bytes& posted, std::size_t sliceSize) {
    Expectation expected;
    expected.source = "set.par2";
    expected.length = static_cast<std::int64_t>(posted.size());
    expected.kind = DigestKind::Md5;
    expected.digest = DigestOf(DigestKind::Md5, posted.data(), posted.size());
    expected.sliceSize = static_cast<std::int64_t>(sliceSize);
    expected.slices = SlicesOf(posted, sliceSize);
    return expected;
}

}  // namespace korbelt::test
