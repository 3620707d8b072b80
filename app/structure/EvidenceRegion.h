#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korbelt {

// A check of a region's repaired bytes, fed piece by piece in file order.
class CheckRun {
  public:
    virtual ~CheckRun() = default;
    virtual void Add(const std::uint8_t* bytes, std::size_t count) = 0;
    // Whether everything added is what the file's structure says it was.
    virtual bool Passes() = 0;
};

// What a file's structure says a region's bytes must give: a CRC-32 of them, or of what they
// decompress to.
class RegionCheck {
  public:
    virtual ~RegionCheck() = default;
    virtual std::unique_ptr<CheckRun> Start() const = 0;
    // The CRC-32 the repaired bytes themselves must have, where that is the whole check: the
    // planner then tries every single removal in one pass over the region.
    virtual std::optional<std::uint32_t> PlainCrc32() const { return std::nullopt; }
    // What the check is, as a word for the region's description ("CRC-32").
    virtual const char* Kind() const = 0;
    // Whether bytes that pass it are proven (a checksum), or only told apart from others that
    // fit (a copy of the same record kept elsewhere in the file).
    virtual bool Proves() const { return true; }
};

// The repaired bytes' CRC-32 is the one given.
std::shared_ptr<const RegionCheck> Crc32Check(std::uint32_t crc);
// The repaired bytes after the first skip (which hold the CRC itself, as a RAR header's do)
// have the CRC-32 given, of which the bits of mask are kept.
std::shared_ptr<const RegionCheck> Crc32CheckAfter(std::size_t skip, std::uint32_t crc,
                                                   std::uint32_t mask = 0xFFFFFFFFu);
// The repaired bytes are those expected wherever known is set (a ZIP local header as its
// central directory entry has it): this tells choices apart, and proves none.
std::shared_ptr<const RegionCheck> SameBytesCheck(std::vector<std::uint8_t> expected,
                                                  std::vector<bool> known);
// The repaired bytes are one whole raw deflate stream that inflates to length bytes of the
// CRC-32 given.
std::shared_ptr<const RegionCheck> InflatedCrc32Check(std::uint32_t crc, std::int64_t length);
// The check of a region cut out of a longer one whose other bytes are known: head goes to
// whole's check before the region's bytes, and tail after them.
std::shared_ptr<const RegionCheck> FramedCheck(std::shared_ptr<const RegionCheck> whole,
                                               std::vector<std::uint8_t> head,
                                               std::vector<std::uint8_t> tail);
// The CRC-32 the middle of some bytes must have, middleLength bytes long, where the whole has
// the CRC-32 whole, the bytes before the middle head and the tailLength bytes after it tail.
std::uint32_t Crc32OfMiddle(std::uint32_t whole, std::uint32_t head, std::uint32_t tail,
                            std::uint64_t tailLength, std::uint64_t middleLength);

// Evidence a file's own structure gives: the bytes from start to end (exclusive, in the file
// as it is) are, once repaired, length bytes long, and where the format has a check, pass it.
// Extra bytes make a region longer than its length; none of the finds of a region that fits
// is to be removed.
struct EvidenceRegion {
    EvidenceRegion() = default;
    EvidenceRegion(std::int64_t start_, std::int64_t end_, std::int64_t length_,
                   std::shared_ptr<const RegionCheck> check_, std::string what_)
        : start(start_), end(end_), length(length_), check(std::move(check_)),
          what(std::move(what_)) {}

    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t length = 0;
    std::shared_ptr<const RegionCheck> check;  // none: its length is all the evidence
    std::string what;                          // "ZIP member 'doc.txt'"
    // Where the format can tell, pieces of the region in order, each with the length it must
    // have: which of them hold the extra bytes narrows the choices its check decides among.
    std::vector<EvidenceRegion> parts;

    std::int64_t Span() const { return end - start; }
    // Bytes more than the structure allows: what removals must account for.
    std::int64_t Excess() const { return Span() - length; }
};

}  // namespace korbelt
