// RAR 1.5 to 4.x: after the 7-byte marker, blocks of a header (its CRC-32's low 16 bits, a
// type, flags and a size, with ADD_SIZE or a file's packed size after it) and the data it
// announces. Each header is proven by its CRC and is what the next block is found again by;
// each file's data is a region of its packed size, checked by its CRC-32 when it is stored
// whole (not split across volumes, not encrypted).
#include <algorithm>
#include <string>

#include "structure/ByteWindow.h"
#include "structure/RarBlocks.h"
#include "structure/WalkSupport.h"
#include "structure/Walkers.h"
#include "verify/Digest.h"

namespace korbelt {
namespace {

constexpr std::int64_t kMarker = 7;
constexpr std::uint8_t kFile = 0x74;
constexpr std::uint8_t kService = 0x7A;
constexpr std::uint8_t kEnd = 0x7B;
constexpr std::uint16_t kLongBlock = 0x8000;
constexpr std::uint16_t kSplit = 0x0001 | 0x0002;
constexpr std::uint16_t kPassword = 0x0004;
constexpr std::uint16_t kLarge = 0x0100;
constexpr std::uint8_t kStored = 0x30;
constexpr std::int64_t kMaxRepairedHeader = 512;
// A file header's optional fields (salt, extended times) after its name; any other header.
constexpr std::size_t kMaxFileHeaderExtra = 1024;
constexpr std::size_t kMaxOtherHeader = 8192;
constexpr std::int64_t kRepairTries = 65536;

class Rar4Walk {
  public:
    Rar4Walk(InputFile& input, std::int64_t length, const StopPredicate& stop,
             const RegionSink& sink)
        : window_(input, length), repairTries_(kRepairTries + length / 64), walk_(stop),
          log_(sink, "RAR headers") {}

    WalkEnd Run() {
        return Ended(WalkRarBlocks(walk_, log_, kMarker, "RAR marker", window_.Length(),
                                   [this](std::int64_t at) { return BlockAt(at); },
                                   [this](std::int64_t at) { return RepairedAt(at); }));
    }

  private:
    WalkEnd Ended(WalkEnd how) {
        log_.Flush();
        return window_.Failed() ? WalkEnd::ReadFailed : how;
    }

    // The block whose header starts here, its CRC right; none else.
    std::optional<RarBlock> BlockAt(std::int64_t at) {
        const std::uint8_t* p = window_.At(at, 7);
        if (p == nullptr) {
            return std::nullopt;
        }
        const std::uint16_t size = Le16(p + 5);
        if (size < 7 || p[2] < 0x72 || p[2] > 0x7B) {
            return std::nullopt;
        }
        const std::uint8_t* fixed = window_.At(at, std::min<std::size_t>(size, 32));
        if (fixed == nullptr || !SizeFits(fixed, p[2])) {
            return std::nullopt;
        }
        const std::uint8_t* h = window_.At(at, size);
        return h != nullptr ? Parse(h, size) : std::nullopt;
    }

    // The block whose header starts here with one byte slipped into it. A CRC of 16 bits is
    // told apart from chance only where few removals are tried: the header must be a file's
    // or the archive's end, its type where a slip in its first bytes leaves it.
    std::optional<RarBlock> RepairedAt(std::int64_t at) {
        const std::uint8_t* p = window_.At(at, 8);
        if (p == nullptr || (!Likely(p[2]) && !Likely(p[3]))) {
            return std::nullopt;
        }
        const auto count = static_cast<std::size_t>(
            std::min<std::int64_t>(kMaxRepairedHeader, window_.Length() - at));
        const std::uint8_t* bytes = window_.At(at, count);
        if (bytes == nullptr) {
            return std::nullopt;
        }
        return RepairedBlock(bytes, count, repairTries_, [this](const std::uint8_t* h, std::size_t n) {
            return n >= 7 && Likely(h[2]) && (h[2] != kFile || NameFits(h, n)) ? Parse(h, n)
                                                                               : std::nullopt;
        });
    }

    static bool Likely(std::uint8_t type) { return type == kFile || type == kEnd; }
    // A header's size as its type has it, before its CRC is computed: where the scan for a
    // header goes through text, every letter from 'r' to '{' reads as a type, and a size of
    // up to 64 KiB would be summed at each.
    static bool SizeFits(const std::uint8_t* h, std::uint8_t type) {
        const std::size_t size = Le16(h + 5);
        if (type == kFile || type == kService) {
            if (size < 32) {
                return false;  // (the caller has made sure the header's bytes are there)
            }
            const std::size_t named = ((Le16(h + 3) & kLarge) != 0 ? 40 : 32) + Le16(h + 26);
            return size <= named + kMaxFileHeaderExtra;
        }
        return size <= kMaxOtherHeader;
    }
    // A file header is its fixed fields, its name and at most a few optional fields more.
    static bool NameFits(const std::uint8_t* h, std::size_t n) {
        if (n < 32) {
            return false;
        }
        const std::size_t named = ((Le16(h + 3) & kLarge) != 0 ? 40 : 32) + Le16(h + 26);
        const std::size_t size = Le16(h + 5);
        return size >= named && size <= named + 64;
    }

    // A header's block from its bytes (available of them): none where its CRC is wrong.
    std::optional<RarBlock> Parse(const std::uint8_t* h, std::size_t available) const {
        const std::uint16_t flags = Le16(h + 3);
        RarBlock block;
        const std::uint8_t type = h[2];
        block.header = Le16(h + 5);
        block.last = type == kEnd;
        if (block.header < 7 || type < 0x72 || type > 0x7B ||
            static_cast<std::size_t>(block.header) > available || !SizeFits(h, type) ||
            (Crc32(0, h + 2, static_cast<std::size_t>(block.header) - 2) & 0xFFFF) != Le16(h)) {
            return std::nullopt;
        }
        block.headerCheck = Crc32CheckAfter(2, Le16(h), 0xFFFF);
        if ((type == kFile || type == kService) && block.header >= 32) {
            std::uint64_t packed = Le32(h + 7);
            if ((flags & kLarge) != 0 && block.header >= 40) {
                packed |= static_cast<std::uint64_t>(Le32(h + 32)) << 32;
            }
            const std::size_t nameAt = (flags & kLarge) != 0 ? 40 : 32;
            const std::size_t nameLength = Le16(h + 26);
            if (nameAt + nameLength <= static_cast<std::size_t>(block.header)) {
                block.name = Printable(h + nameAt, nameLength);
            }
            block.data = static_cast<std::int64_t>(
                std::min<std::uint64_t>(packed, static_cast<std::uint64_t>(window_.Length())));
            if (type == kFile && h[25] == kStored && (flags & (kSplit | kPassword)) == 0 &&
                Le32(h + 7) == Le32(h + 11)) {
                block.check = Crc32Check(Le32(h + 16));
            }
        } else if ((flags & kLongBlock) != 0 && block.header >= 11) {
            block.data = Le32(h + 7);
        }
        return block;
    }

    ByteWindow window_;
    // Headers read with a byte left out, in all: a few damaged headers' worth, and more in a
    // longer archive.
    std::int64_t repairTries_ = 0;
    BlockWalk walk_;
    RegionLog log_;
};

class Rar4Walker : public StructureWalker {
  public:
    const char* Format() const override { return "RAR 4"; }
    const char* Proof() const override { return "the archive's CRC-32s"; }
    const char* Lengths() const override { return "the archive's headers"; }
    bool Recognises(std::string_view head, std::string_view name) const override {
        return head.substr(0, 7) == std::string_view("Rar!\x1a\x07\x00", 7) ||
               (head.empty() && HasExtension(name, ".rar"));
    }
    WalkEnd Walk(InputFile& input, std::int64_t length, const StopPredicate& stop,
                 const RegionSink& sink) const override {
        return Rar4Walk(input, length, stop, sink).Run();
    }
};

}  // namespace

std::unique_ptr<StructureWalker> MakeRar4Walker() { return std::make_unique<Rar4Walker>(); }

}  // namespace korbelt
