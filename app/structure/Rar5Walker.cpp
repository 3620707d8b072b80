// RAR 5: after the 8-byte signature, blocks of a header (a CRC-32 of it, its size and type,
// flags, an extra area and a data area announced by variable-length integers) and the data.
// Each header is proven by its CRC-32 and is what the next block is found again by; each
// file's data is a region of its size, checked by its CRC-32 when it is stored whole (not
// split across volumes, not encrypted).
#include <string>

#include "structure/ByteWindow.h"
#include "structure/RarBlocks.h"
#include "structure/WalkSupport.h"
#include "structure/Walkers.h"
#include "verify/Digest.h"

namespace korbelt {
namespace {

constexpr std::int64_t kSignature = 8;
constexpr std::uint64_t kFile = 2;
constexpr std::uint64_t kService = 3;
constexpr std::uint64_t kEnd = 5;
constexpr std::uint64_t kHasExtra = 0x0001;
constexpr std::uint64_t kHasData = 0x0002;
constexpr std::uint64_t kSplit = 0x0008 | 0x0010;
constexpr std::uint64_t kFileHasCrc = 0x0004;
constexpr std::uint64_t kFileHasTime = 0x0002;
constexpr std::uint64_t kEncryption = 0x01;  // an extra record's type
// A header's size is given in at most three bytes.
constexpr std::uint64_t kMaxHeader = std::uint64_t{1} << 21;
constexpr std::int64_t kMaxRepairedHeader = 512;
constexpr std::int64_t kRepairTries = 65536;

// A variable-length integer: seven bits a byte, low first, the high bit for more.
class Reader {
  public:
    Reader(const std::uint8_t* p, std::size_t count) : p_(p), count_(count) {}
    std::optional<std::uint64_t> Vint() {
        std::uint64_t value = 0;
        for (int shift = 0; shift < 64 && at_ < count_; shift += 7) {
            const std::uint8_t byte = p_[at_++];
            value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
            if ((byte & 0x80) == 0) {
                return value;
            }
        }
        return std::nullopt;
    }
    std::optional<std::uint32_t> U32() {
        if (at_ + 4 > count_) {
            return std::nullopt;
        }
        at_ += 4;
        return Le32(p_ + at_ - 4);
    }
    std::size_t At() const { return at_; }
    const std::uint8_t* Here() const { return p_ + std::min(at_, count_); }
    std::size_t Left() const { return count_ - std::min(at_, count_); }
    void Skip(std::size_t count) { at_ += count; }

  private:
    const std::uint8_t* p_;
    std::size_t count_;
    std::size_t at_ = 0;
};

class Rar5Walk {
  public:
    Rar5Walk(InputFile& input, std::int64_t length, const StopPredicate& stop,
             const RegionSink& sink)
        : window_(input, length), repairTries_(kRepairTries + length / 64), walk_(stop),
          log_(sink, "RAR headers") {}

    WalkEnd Run() {
        return Ended(WalkRarBlocks(walk_, log_, kSignature, "RAR signature", window_.Length(),
                                   [this](std::int64_t at) { return BlockAt(at); },
                                   [this](std::int64_t at) { return RepairedAt(at); }));
    }

  private:
    WalkEnd Ended(WalkEnd how) {
        log_.Flush();
        return window_.Failed() ? WalkEnd::ReadFailed : how;
    }

    std::optional<RarBlock> BlockAt(std::int64_t at) {
        const std::uint8_t* p = window_.At(at, 7);
        if (p == nullptr) {
            return std::nullopt;
        }
        const std::optional<std::size_t> total = HeaderSize(p, 7);
        const std::uint8_t* h = total ? window_.At(at, *total) : nullptr;
        return h != nullptr ? Parse(h, *total) : std::nullopt;
    }

    // The block whose header starts here with one byte slipped into it; its CRC-32 tells the
    // one removal that makes it apart from chance.
    std::optional<RarBlock> RepairedAt(std::int64_t at) {
        const auto count = static_cast<std::size_t>(
            std::min<std::int64_t>(kMaxRepairedHeader, window_.Length() - at));
        const std::uint8_t* bytes = count >= 8 ? window_.At(at, count) : nullptr;
        if (bytes == nullptr) {
            return std::nullopt;
        }
        return RepairedBlock(bytes, count, repairTries_, [this](const std::uint8_t* h, std::size_t n) {
            return Parse(h, n);
        });
    }

    // The whole header's length (its CRC, its size and what the size counts) from its first
    // bytes; none where the size is none a header has.
    static std::optional<std::size_t> HeaderSize(const std::uint8_t* p, std::size_t available) {
        if (available < 7) {
            return std::nullopt;
        }
        Reader sizeOf(p + 4, 3);
        const std::optional<std::uint64_t> size = sizeOf.Vint();
        if (!size || *size == 0 || *size > kMaxHeader) {
            return std::nullopt;
        }
        return static_cast<std::size_t>(4 + sizeOf.At() + *size);
    }

    // A header's block from its bytes (available of them): none where its CRC-32 is wrong.
    std::optional<RarBlock> Parse(const std::uint8_t* h, std::size_t available) {
        const std::optional<std::size_t> whole = HeaderSize(h, available);
        if (!whole || *whole > available || Crc32(0, h + 4, *whole - 4) != Le32(h)) {
            return std::nullopt;
        }
        const std::size_t total = *whole;
        Reader sizeOf(h + 4, 3);
        const std::optional<std::uint64_t> size = sizeOf.Vint();
        RarBlock block;
        block.header = static_cast<std::int64_t>(total);
        block.headerCheck = Crc32CheckAfter(4, Le32(h));
        Reader header(h + 4 + sizeOf.At(), static_cast<std::size_t>(*size));
        const auto type = header.Vint();
        const auto flags = header.Vint();
        if (!type || !flags) {
            return std::nullopt;
        }
        block.last = *type == kEnd;
        std::uint64_t extra = 0;
        if ((*flags & kHasExtra) != 0) {
            extra = header.Vint().value_or(0);
        }
        if ((*flags & kHasData) != 0) {
            block.data = static_cast<std::int64_t>(std::min<std::uint64_t>(
                header.Vint().value_or(0), static_cast<std::uint64_t>(window_.Length())));
        }
        if (*type == kFile || *type == kService) {
            File(header, *flags, extra, static_cast<std::size_t>(*size), block);
        }
        return block;
    }

    // A file header's name, and the check of its data where it is stored whole.
    void File(Reader& header, std::uint64_t flags, std::uint64_t extra, std::size_t size,
              RarBlock& block) {
        const auto fileFlags = header.Vint();
        const auto unpacked = header.Vint();
        header.Vint();  // attributes
        if (!fileFlags || !unpacked) {
            return;
        }
        if ((*fileFlags & kFileHasTime) != 0) {
            header.U32();
        }
        std::optional<std::uint32_t> crc;
        if ((*fileFlags & kFileHasCrc) != 0) {
            crc = header.U32();
        }
        const auto compression = header.Vint();
        header.Vint();  // host system
        const auto nameLength = header.Vint();
        if (!compression || !nameLength) {
            return;
        }
        block.name = Printable(header.Here(),
                               static_cast<std::size_t>(std::min<std::uint64_t>(*nameLength, header.Left())));
        const bool stored = ((*compression >> 7) & 0x7) == 0;
        if (crc && stored && (flags & kSplit) == 0 &&
            *unpacked == static_cast<std::uint64_t>(block.data) &&
            !Encrypted(header, size, extra)) {
            block.check = Crc32Check(*crc);
        }
    }

    // Whether the extra area, the last bytes of the header, holds an encryption record.
    static bool Encrypted(const Reader& header, std::size_t size, std::uint64_t extra) {
        if (extra == 0 || extra > size) {
            return false;
        }
        const std::uint8_t* end = header.Here() + header.Left();
        Reader records(end - extra, static_cast<std::size_t>(extra));
        while (records.Left() > 0) {
            const auto length = records.Vint();
            const std::size_t start = records.At();
            const auto type = records.Vint();
            if (!length || !type || *length == 0) {
                return false;
            }
            if (*type == kEncryption) {
                return true;
            }
            const std::uint64_t consumed = records.At() - start;
            if (*length < consumed) {
                return false;
            }
            records.Skip(static_cast<std::size_t>(
                std::min<std::uint64_t>(*length - consumed, records.Left())));
        }
        return false;
    }

    ByteWindow window_;
    // Headers read with a byte left out, in all: a few damaged headers' worth, and more in a
    // longer archive.
    std::int64_t repairTries_ = 0;
    BlockWalk walk_;
    RegionLog log_;
};

class Rar5Walker : public StructureWalker {
  public:
    const char* Format() const override { return "RAR 5"; }
    const char* Proof() const override { return "the archive's CRC-32s"; }
    const char* Lengths() const override { return "the archive's headers"; }
    bool Recognises(std::string_view head, std::string_view name) const override {
        (void)name;
        return head.substr(0, 8) == std::string_view("Rar!\x1a\x07\x01\x00", 8);
    }
    WalkEnd Walk(InputFile& input, std::int64_t length, const StopPredicate& stop,
                 const RegionSink& sink) const override {
        return Rar5Walk(input, length, stop, sink).Run();
    }
};

}  // namespace

std::unique_ptr<StructureWalker> MakeRar5Walker() { return std::make_unique<Rar5Walker>(); }

}  // namespace korbelt
