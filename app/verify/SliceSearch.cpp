#include "verify/SliceSearch.h"

#include <zlib.h>

namespace korbelt {
namespace {

// x^(8 * (2^32 - 1)) is 1 modulo the CRC-32 polynomial, so shifting back by n bytes is
// shifting forward by 2^32 - 1 - n bytes.
constexpr std::uint64_t kShiftPeriod = 0xFFFFFFFFull;
// Removals that match a slice's CRC-32 are hashed by MD5 until one matches, at most this
// many: two different removals matching one CRC-32 is a chance of one in 2^32 each, and
// data made to match many costs no more than this.
constexpr int kMaxConfirmations = 8;

// The bytewise table of CRC-32 (reflected, polynomial 0xEDB88320), as zlib's own.
struct CrcTable {
    std::uint32_t entries[256];
    CrcTable() {
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            entries[n] = c;
        }
    }
};
const CrcTable kTable;

// One step of the CRC register without zlib's inversions before and after: the register
// times x^8, plus the byte's own term. Inline: the searches take two steps a byte.
inline std::uint32_t Step(std::uint32_t reg, std::uint8_t byte) {
    return kTable.entries[(reg ^ byte) & 0xFF] ^ (reg >> 8);
}

}  // namespace

std::uint32_t PaddedCrc(const std::uint8_t* bytes, std::size_t count, std::int64_t sliceSize) {
    return Crc32Zeros(Crc32(0, bytes, count),
                      static_cast<std::uint64_t>(sliceSize - static_cast<std::int64_t>(count)));
}

std::vector<std::size_t> RemovalsMatchingCrc(const std::uint8_t* bytes, std::size_t count,
                                             std::int64_t sliceSize, std::uint32_t crc) {
    std::vector<std::size_t> found;
    if (count == 0 || static_cast<std::int64_t>(count - 1) > sliceSize ||
        static_cast<std::uint64_t>(sliceSize) >= kShiftPeriod) {
        return found;
    }
    const auto length = static_cast<std::uint64_t>(sliceSize);
    // Candidate p leaves out byte p. Candidate p + 1 differs from it only at position p,
    // where it holds bytes[p] instead of bytes[p + 1]; so its CRC is candidate 0's plus the
    // differences so far, each shifted to its place:
    //   crc(p) = crc(0) ^ (diff(p) * x^(8 * (length - p)))
    // with diff(p) the bare register after the differences of bytes 0 .. p - 1. The wanted
    // value is met where diff(p) equals wanted(p) = (crc(0) ^ crc) * x^(-8 * (length - p)),
    // and wanted(p + 1) is wanted(p) times x^8: one step over a zero byte.
    const std::uint32_t first = PaddedCrc(bytes + 1, count - 1, sliceSize);
    std::uint32_t wanted = Crc32Unshift(first ^ crc, length);
    std::uint32_t diff = 0;
    for (std::size_t p = 0; p < count; ++p) {
        if (diff == wanted) {
            found.push_back(p);
        }
        if (p + 1 < count) {
            diff = Step(diff, static_cast<std::uint8_t>(bytes[p] ^ bytes[p + 1]));
            wanted = Step(wanted, 0);
        }
    }
    return found;
}

std::vector<std::size_t> WindowsMatchingCrc(const std::uint8_t* bytes, std::size_t count,
                                            std::int64_t length, std::int64_t sliceSize,
                                            std::uint32_t crc) {
    std::vector<std::size_t> found;
    if (length <= 0 || static_cast<std::int64_t>(count) < length || length > sliceSize ||
        static_cast<std::uint64_t>(sliceSize) >= kShiftPeriod) {
        return found;
    }
    const auto window = static_cast<std::size_t>(length);
    const auto pad = static_cast<std::uint64_t>(sliceSize - length);
    // zlib's CRC is the bare register over the bytes, plus the register of all ones shifted
    // over the padded length, inverted. So a window matches where its bare register, shifted
    // over the padding, equals the wanted CRC inverted less that constant term; shifting
    // both back over the padding leaves one compare per window.
    const std::uint32_t wanted = Crc32Unshift(
        ~crc ^ Crc32Shift(0xFFFFFFFFu, static_cast<std::uint64_t>(sliceSize)), pad);
    // A byte leaving the window takes away its term, shifted over the window's length.
    const uLong op = crc32_combine_gen(static_cast<z_off_t>(length % kShiftPeriod));
    std::uint32_t leaving[256];
    for (unsigned b = 0; b < 256; ++b) {
        leaving[b] = static_cast<std::uint32_t>(
            crc32_combine_op(Step(0, static_cast<std::uint8_t>(b)), 0, op));
    }
    std::uint32_t reg =
        ~static_cast<std::uint32_t>(crc32(0xFFFFFFFFul, bytes, static_cast<uInt>(window)));
    for (std::size_t k = 0;; ++k) {
        if (reg == wanted) {
            found.push_back(k);
        }
        if (k + window >= count) {
            return found;
        }
        reg = Step(reg, bytes[k + window]) ^ leaving[bytes[k]];
    }
}

bool SliceMatches(const std::uint8_t* bytes, std::size_t count, std::int64_t sliceSize,
                  const SliceChecksum& slice) {
    if (static_cast<std::int64_t>(count) > sliceSize ||
        PaddedCrc(bytes, count, sliceSize) != slice.crc32) {
        return false;
    }
    Hasher md5(DigestKind::Md5);
    md5.Add(bytes, count);
    AddZeros(md5, static_cast<std::uint64_t>(sliceSize) - count);
    return md5.Finish() == slice.md5;
}

std::optional<std::size_t> FindInsertedByte(const std::uint8_t* bytes, std::size_t count,
                                            std::int64_t sliceSize, const SliceChecksum& slice) {
    std::vector<std::uint8_t> without;
    int confirmations = 0;
    for (const std::size_t p : RemovalsMatchingCrc(bytes, count, sliceSize, slice.crc32)) {
        // Leaving out any byte of a run of equal bytes leaves the same bytes: the first of
        // the run stands for all of it.
        if (p > 0 && bytes[p] == bytes[p - 1]) {
            continue;
        }
        if (confirmations++ == kMaxConfirmations) {
            break;
        }
        without.assign(bytes, bytes + p);
        without.insert(without.end(), bytes + p + 1, bytes + count);
        if (SliceMatches(without.data(), without.size(), sliceSize, slice)) {
            return p;
        }
    }
    return std::nullopt;
}

}  // namespace korbelt
