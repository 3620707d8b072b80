// Finding the one byte slipped into a slice from its CRC-32 and MD5: the same positions as
// trying every removal, for full and padded last slices, and nothing for two bytes too many.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "verify/Md5Lanes.h"
#include "verify/SliceSearch.h"

namespace korbelt::test {
namespace {

SliceChecksum ChecksumOf(Bytes slice, std::size_t sliceSize) {
    slice.resize(sliceSize, 0);
    return {DigestOf(DigestKind::Md5, slice.data(), slice.size()),
            Crc32(0, slice.data(), slice.size())};
}

// Every position whose removal gives the CRC-32, by trying each.
std::vector<std::size_t> ByTryingEach(const Bytes& arrived, std::size_t sliceSize,
                                      std::uint32_t crc) {
    std::vector<std::size_t> found;
    for (std::size_t p = 0; p < arrived.size(); ++p) {
        Bytes without = arrived;
        without.erase(without.begin() + static_cast<long>(p));
        without.resize(sliceSize, 0);
        if (Crc32(0, without.data(), without.size()) == crc) {
            found.push_back(p);
        }
    }
    return found;
}

TEST(SliceSearch, FindsTheSlippedByteAsTryingEveryRemovalWould) {
    // A full slice, a short last one (padded), and a run of equal bytes where any of them
    // may go: the first is taken.
    for (const std::size_t length : {std::size_t{512}, std::size_t{300}}) {
        for (const std::size_t at : {std::size_t{0}, std::size_t{77}, length - 1, length}) {
            SCOPED_TRACE(testing::Message() << length << " bytes, one slipped in at " << at);
            const Bytes posted = RandomBytes(length, static_cast<std::uint32_t>(at + length));
            Bytes arrived = posted;
            arrived.insert(arrived.begin() + static_cast<long>(at), 0x5a);
            const SliceChecksum slice = ChecksumOf(posted, 512);
            const auto found =
                RemovalsMatchingCrc(arrived.data(), arrived.size(), 512, slice.crc32);
            EXPECT_EQ(found, ByTryingEach(arrived, 512, slice.crc32));
            const auto first = FindInsertedByte(arrived.data(), arrived.size(), 512, slice);
            ASSERT_TRUE(first);
            Bytes repaired = arrived;
            repaired.erase(repaired.begin() + static_cast<long>(*first));
            EXPECT_EQ(repaired, posted);
            EXPECT_LE(*first, at);
        }
    }
    Bytes run = RandomBytes(4096, 3);
    std::fill_n(run.begin() + 1000, 5, 0x11);
    Bytes arrived = run;
    arrived.insert(arrived.begin() + 1002, 0x11);
    EXPECT_EQ(FindInsertedByte(arrived.data(), arrived.size(), 4096, ChecksumOf(run, 4096)), 1000u);
}

// The rolling search for a slice found again: every place a full or padded slice's CRC-32
// matches, as computing each window afresh finds them.
TEST(SliceSearch, WindowsMatchingACrcAreTheOnesEachWindowGives) {
    for (const std::size_t length : {std::size_t{512}, std::size_t{300}}) {
        const Bytes posted = RandomBytes(length, static_cast<std::uint32_t>(length));
        Bytes stream = RandomBytes(200, 5);
        stream.insert(stream.end(), posted.begin(), posted.end());
        stream.insert(stream.end(), posted.begin(), posted.end());  // twice: two places
        const std::uint32_t crc = ChecksumOf(posted, 512).crc32;
        std::vector<std::size_t> each;
        for (std::size_t k = 0; k + length <= stream.size(); ++k) {
            if (ChecksumOf(Bytes(stream.begin() + static_cast<long>(k),
                                 stream.begin() + static_cast<long>(k + length)),
                           512)
                    .crc32 == crc) {
                each.push_back(k);
            }
        }
        EXPECT_EQ(each, (std::vector<std::size_t>{200, 200 + length}));
        EXPECT_EQ(WindowsMatchingCrc(stream.data(), stream.size(),
                                     static_cast<std::int64_t>(length), 512, crc),
                  each);
    }
    // Padding of any length, a slice size of 2^62 included, costs a few steps.
    const Bytes zeros(5000, 0);
    EXPECT_EQ(Crc32Zeros(0x1234, zeros.size()), Crc32(0x1234, zeros.data(), zeros.size()));
    EXPECT_EQ(Crc32Zeros(Crc32Zeros(7, std::uint64_t{1} << 61), std::uint64_t{1} << 61),
              Crc32Zeros(7, std::uint64_t{1} << 62));
}

// Slices hashed side by side give each the MD5 one at a time gives: every lane count, and
// lengths around the block size and its padding.
TEST(Md5Lanes, EachMessageGetsItsOwnMd5) {
    for (const std::size_t length : {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 4096, 65537}) {
        for (std::size_t count = 1; count <= kMd5Lanes; ++count) {
            std::vector<Bytes> messages;
            const std::uint8_t* at[kMd5Lanes];
            for (std::size_t i = 0; i < count; ++i) {
                messages.push_back(RandomBytes(length, static_cast<std::uint32_t>(length * 9 + i)));
                at[i] = messages.back().data();
            }
            DigestBytes digests[kMd5Lanes];
            Md5OfMany(at, count, length, digests);
            for (std::size_t i = 0; i < count; ++i) {
                EXPECT_EQ(digests[i], DigestOf(DigestKind::Md5, at[i], length))
                    << length << " bytes, " << count << " lanes, lane " << i;
            }
        }
    }
}

TEST(SliceSearch, TwoBytesTooManyOrAnIntactSliceFindNothing) {
    const Bytes posted = RandomBytes(2048, 5);
    const SliceChecksum slice = ChecksumOf(posted, 2048);
    Bytes twice = posted;
    twice.insert(twice.begin() + 100, 1);
    twice.insert(twice.begin() + 900, 2);
    EXPECT_FALSE(FindInsertedByte(twice.data(), twice.size(), 2048, slice));
    EXPECT_TRUE(SliceMatches(posted.data(), posted.size(), 2048, slice));
    EXPECT_FALSE(SliceMatches(twice.data(), twice.size(), 2048, slice));
    // A CRC-32 that matches is not enough: the MD5 must match too.
    const SliceChecksum crcOnly{ChecksumOf(twice, 2048).md5, slice.crc32};
    EXPECT_FALSE(SliceMatches(posted.data(), posted.size(), 2048, crcOnly));
}

}  // namespace
}  // namespace korbelt::test
