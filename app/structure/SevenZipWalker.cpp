// 7z: the signature header (the next header's offset, size and CRC-32, itself under a CRC-32),
// the packed streams from there to the next header, and the next header at the end, checked
// by its CRC-32. The packed streams are one region of the length the signature header gives;
// the next header (plain or itself packed) is not read further.
#include <string>
#include <vector>

#include "structure/ByteWindow.h"
#include "structure/WalkSupport.h"
#include "structure/Walkers.h"
#include "verify/Digest.h"

namespace korbelt {
namespace {

constexpr std::int64_t kSignatureHeader = 32;
constexpr std::uint8_t kHeader = 0x01;
constexpr std::uint8_t kEncodedHeader = 0x17;

// Next headers larger than this are taken to be where the file's end puts them, unchecked.
constexpr std::uint64_t kMaxChecked = std::uint64_t{16} << 20;

// Whether the size bytes at offset have the CRC-32 given.
bool Matches(InputFile& input, std::int64_t offset, std::uint64_t size, std::uint32_t crc) {
    if (size > kMaxChecked) {
        return true;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::error_code error;
    return input.ReadAt(offset, bytes.data(), bytes.size(), error) == bytes.size() && !error &&
           Crc32(0, bytes.data(), bytes.size()) == crc;
}

class SevenZipWalker : public StructureWalker {
  public:
    const char* Format() const override { return "7z"; }
    const char* Proof() const override { return "the archive's CRC-32s"; }
    const char* Lengths() const override { return "the archive's headers"; }
    bool Recognises(std::string_view head, std::string_view name) const override {
        return head.substr(0, 6) == "7z\xBC\xAF\x27\x1C" ||
               (head.empty() && HasExtension(name, ".7z"));
    }
    WalkEnd Walk(InputFile& input, std::int64_t length, const StopPredicate& stop,
                 const RegionSink& sink) const override {
        (void)stop;
        ByteWindow window(input, length);
        const std::uint8_t* p = window.At(0, kSignatureHeader);
        if (p == nullptr || Le32(p + 8) != Crc32(0, p + 12, 20)) {
            return window.Failed() ? WalkEnd::ReadFailed : WalkEnd::LostTrack;
        }
        const std::uint64_t offset = Le64(p + 12);
        const std::uint64_t size = Le64(p + 20);
        const std::uint32_t crc = Le32(p + 28);
        RegionLog log(sink, "7z headers");
        log.Fits(0, kSignatureHeader, "7z signature header");
        if (offset > static_cast<std::uint64_t>(length) ||
            size > static_cast<std::uint64_t>(length) - kSignatureHeader - offset) {
            return WalkEnd::LostTrack;
        }
        // Written last, the next header ends the file, and extra bytes before it move it on:
        // it is there when its CRC-32 says so. Else the extra bytes are in it too, and it
        // starts where the packed streams end, or a little later.
        std::int64_t header = length - static_cast<std::int64_t>(size);
        const auto starts = [&window](std::int64_t at) {
            const std::uint8_t* first = window.At(at, 1);
            return first != nullptr && (*first == kHeader || *first == kEncodedHeader);
        };
        if (!starts(header) || !Matches(input, header, size, crc)) {
            const auto found =
                FindAgain(kSignatureHeader + static_cast<std::int64_t>(offset), header, starts);
            if (!found) {
                return window.Failed() ? WalkEnd::ReadFailed : WalkEnd::LostTrack;
            }
            header = *found;
        }
        const EvidenceRegion packed{kSignatureHeader, header, static_cast<std::int64_t>(offset),
                                    nullptr, "7z packed streams"};
        if (packed.Excess() == 0) {
            log.Fits(packed.start, packed.end, packed.what);
        } else {
            log.Add(packed);
        }
        log.Add({header, length, static_cast<std::int64_t>(size), Crc32Check(crc),
                 "7z next header"});
        return WalkEnd::Whole;
    }
};

}  // namespace

std::unique_ptr<StructureWalker> MakeSevenZipWalker() {
    return std::make_unique<SevenZipWalker>();
}

}  // namespace korbelt
