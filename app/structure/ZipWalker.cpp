// ZIP (PKWARE's APPNOTE): the local headers walked in order, each member's data a region of
// its compressed size and checked by its CRC-32 (stored, or inflated for deflate), a data
// descriptor's sizes taken from the central directory, ZIP64 sizes from their extra field;
// the central directory a region of the size its end record gives.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "structure/ByteWindow.h"
#include "structure/WalkSupport.h"
#include "structure/Walkers.h"

namespace korbelt {
namespace {

constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::uint32_t kCentralHeader = 0x02014b50;
constexpr std::uint32_t kEndRecord = 0x06054b50;
constexpr std::uint32_t kZip64EndRecord = 0x06064b50;
constexpr std::uint32_t kZip64Locator = 0x07064b50;
constexpr std::uint32_t kDescriptor = 0x08074b50;
constexpr std::uint32_t kDigitalSignature = 0x05054b50;
constexpr std::int64_t kLocalSize = 30;
constexpr std::int64_t kCentralSize = 46;
constexpr std::int64_t kEndSize = 22;
constexpr std::uint32_t kFar = 0xFFFFFFFFu;  // a 32-bit size or offset kept in a ZIP64 field
constexpr std::uint16_t kFlagDescriptor = 1u << 3;
constexpr std::uint16_t kFlagEncrypted = 1u << 0;
// Central directory entries read, at most: far more than any real archive has.
constexpr std::size_t kMaxEntries = std::size_t{1} << 20;

struct Member {
    std::string name;
    std::uint32_t crc = 0;
    std::uint64_t packed = 0;
    std::uint64_t size = 0;
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    std::uint16_t needed = 0;  // the version needed to extract it
    std::uint16_t time = 0;
    std::uint16_t date = 0;
    bool far = false;  // its sizes are in a ZIP64 field
};

void PutLe16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLe32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    PutLe16(bytes, at, static_cast<std::uint16_t>(value));
    PutLe16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

// A local header as its central directory entry describes it: the fixed part and the name,
// all but the extra field's length (the two copies of the extra field differ), and the CRC
// and sizes where a descriptor or ZIP64 keeps them elsewhere.
std::shared_ptr<const RegionCheck> LocalHeaderCheck(const Member& member, std::uint32_t signature,
                                                    std::size_t fixed) {
    std::vector<std::uint8_t> bytes(fixed + member.name.size());
    std::vector<bool> known(bytes.size(), true);
    PutLe32(bytes, 0, signature);
    PutLe16(bytes, 4, member.needed);
    PutLe16(bytes, 6, member.flags);
    PutLe16(bytes, 8, member.method);
    PutLe16(bytes, 10, member.time);
    PutLe16(bytes, 12, member.date);
    PutLe32(bytes, 14, member.crc);
    PutLe32(bytes, 18, static_cast<std::uint32_t>(std::min<std::uint64_t>(member.packed, kFar)));
    PutLe32(bytes, 22, static_cast<std::uint32_t>(std::min<std::uint64_t>(member.size, kFar)));
    PutLe16(bytes, 26, static_cast<std::uint16_t>(member.name.size()));
    const bool described = (member.flags & kFlagDescriptor) != 0;
    for (std::size_t at = described ? 14 : member.far ? 18 : 26; at < 26; ++at) {
        known[at] = false;
    }
    known[28] = known[29] = false;
    std::copy(member.name.begin(), member.name.end(), bytes.begin() + static_cast<std::ptrdiff_t>(fixed));
    return SameBytesCheck(std::move(bytes), std::move(known));
}

struct Directory {
    std::vector<Member> members;
    std::int64_t start = -1;  // where its first entry was found
    std::int64_t end = -1;    // where the records after it begin
    std::uint64_t size = 0;   // as the end record says
    std::int64_t endRecord = -1;
};

// The sizes of a ZIP64 extended information field, for those of the header's that are far.
void ReadZip64(const std::uint8_t* extra, std::size_t count, Member& member, bool bothSizes) {
    for (std::size_t at = 0; at + 4 <= count;) {
        const std::uint16_t id = Le16(extra + at);
        const std::size_t size = Le16(extra + at + 2);
        if (at + 4 + size > count) {
            return;
        }
        if (id == 0x0001) {
            const std::uint8_t* field = extra + at + 4;
            std::size_t used = 0;
            if ((bothSizes || member.size == kFar) && used + 8 <= size) {
                member.size = Le64(field + used);
                used += 8;
            }
            if ((bothSizes || member.packed == kFar) && used + 8 <= size) {
                member.packed = Le64(field + used);
            }
            return;
        }
        at += 4 + size;
    }
}

class ZipWalk {
  public:
    ZipWalk(InputFile& input, std::int64_t length, const StopPredicate& stop,
            const RegionSink& sink)
        : window_(input, length), poll_(stop), log_(sink, "ZIP headers") {}

    WalkEnd Run() {
        ReadDirectory();
        std::int64_t at = 0;
        for (std::size_t index = 0;; ++index) {
            if (poll_.Now()) {
                return WalkEnd::Stopped;
            }
            const std::uint8_t* p = window_.At(at, 4);
            if (p == nullptr || Le32(p) != kLocalHeader) {
                break;
            }
            const std::optional<std::int64_t> next = Member(at, index);
            if (!next) {
                return window_.Failed() ? WalkEnd::ReadFailed : WalkEnd::LostTrack;
            }
            at = *next;
        }
        return Central(at);
    }

  private:
    // The end record, its ZIP64 one, and the central directory they point to: where it is in
    // the file as it is, and what it says of each member.
    void ReadDirectory() {
        const std::int64_t length = window_.Length();
        const std::int64_t from = std::max<std::int64_t>(0, length - kEndSize - 0xFFFF);
        const auto span = static_cast<std::size_t>(length - from);
        const std::uint8_t* tail = window_.At(from, span);
        if (tail == nullptr || span < kEndSize) {
            return;
        }
        for (std::int64_t at = static_cast<std::int64_t>(span) - kEndSize; at >= 0; --at) {
            const std::uint8_t* p = tail + at;
            if (Le32(p) == kEndRecord && at + kEndSize + Le16(p + 20) <= static_cast<std::int64_t>(span)) {
                directory_.endRecord = from + at;
                directory_.size = Le32(p + 12);
                break;
            }
        }
        if (directory_.endRecord < 0) {
            return;
        }
        directory_.end = directory_.endRecord;
        // A ZIP64 end record, found by its locator just before the end record.
        if (const std::uint8_t* locator = window_.At(directory_.endRecord - 20, 20);
            locator != nullptr && Le32(locator) == kZip64Locator) {
            directory_.end = directory_.endRecord - 20;
            if (const std::uint8_t* record = window_.At(directory_.end - 56, 56);
                record != nullptr && Le32(record) == kZip64EndRecord) {
                directory_.end -= 56;
                directory_.size = Le64(record + 40);
            }
        }
        if (directory_.size > static_cast<std::uint64_t>(directory_.end)) {
            return;
        }
        // Extra bytes inside the directory put its start before where its size says.
        const std::int64_t expected = directory_.end - static_cast<std::int64_t>(directory_.size);
        for (std::int64_t at = expected; at >= std::max<std::int64_t>(0, expected - kResyncReach);
             --at) {
            if (IsCentralHeader(at)) {
                directory_.start = at;
                break;
            }
        }
        for (std::int64_t at = directory_.start; at >= 0 && directory_.members.size() < kMaxEntries;) {
            std::int64_t next = 0;
            if (!CentralEntry(at, next)) {
                break;
            }
            const auto found = FindAgain(next, directory_.end, [this](std::int64_t q) {
                return IsCentralHeader(q) || q == directory_.end;
            });
            if (!found || *found == directory_.end) {
                break;
            }
            at = *found;
        }
    }

    bool IsCentralHeader(std::int64_t at) {
        const std::uint8_t* p = window_.At(at, 4);
        return p != nullptr && Le32(p) == kCentralHeader;
    }

    bool CentralEntry(std::int64_t at, std::int64_t& next) {
        const std::uint8_t* p = window_.At(at, kCentralSize);
        if (p == nullptr || Le32(p) != kCentralHeader) {
            return false;
        }
        struct Member member;
        member.needed = Le16(p + 6);
        member.flags = Le16(p + 8);
        member.method = Le16(p + 10);
        member.time = Le16(p + 12);
        member.date = Le16(p + 14);
        member.crc = Le32(p + 16);
        member.packed = Le32(p + 20);
        member.size = Le32(p + 24);
        member.far = member.packed == kFar || member.size == kFar;
        const std::size_t nameLength = Le16(p + 28);
        const std::size_t extraLength = Le16(p + 30);
        const std::size_t commentLength = Le16(p + 32);
        next = at + kCentralSize + static_cast<std::int64_t>(nameLength + extraLength + commentLength);
        const std::uint8_t* name = window_.At(at + kCentralSize, nameLength + extraLength);
        if (name == nullptr) {
            return false;
        }
        member.name.assign(reinterpret_cast<const char*>(name), nameLength);
        ReadZip64(name + nameLength, extraLength, member, false);
        directory_.members.push_back(std::move(member));
        return true;
    }

    // A local header and its member's data; where the next header is found.
    std::optional<std::int64_t> Member(std::int64_t at, std::size_t index) {
        const std::uint8_t* p = window_.At(at, kLocalSize);
        if (p == nullptr) {
            return std::nullopt;
        }
        struct Member member;
        member.flags = Le16(p + 6);
        member.method = Le16(p + 8);
        member.crc = Le32(p + 14);
        member.packed = Le32(p + 18);
        member.size = Le32(p + 22);
        std::size_t nameLength = Le16(p + 26);
        std::size_t extraLength = Le16(p + 28);
        std::int64_t nameAt = at + kLocalSize;
        const struct Member* listed =
            index < directory_.members.size() ? &directory_.members[index] : nullptr;
        bool damaged = false;
        if (listed != nullptr && !NameAt(nameAt, listed->name)) {
            // Extra bytes in the header itself: its name is found again a little later, and
            // its fields are the directory's.
            const auto found = NameFoundAgain(nameAt, listed->name);
            const std::uint8_t* extra = found ? window_.At(*found - 2, 2) : nullptr;
            if (extra == nullptr) {
                return std::nullopt;
            }
            // The fixed part whole (its CRC and name length the directory's): the extra bytes
            // are in the name, and the extra field's length is where it always is.
            const std::uint8_t* fixed = window_.At(at, kLocalSize);  // read again: p may be gone
            const bool fixedWhole = fixed != nullptr && Le32(fixed + 14) == listed->crc &&
                                    nameLength == listed->name.size();
            nameAt = *found;
            nameLength = listed->name.size();
            const std::uint8_t* field = fixedWhole ? fixed + 28 : window_.At(nameAt - 2, 2);
            if (field == nullptr) {
                return std::nullopt;
            }
            extraLength = Le16(field);
            member = *listed;
            damaged = true;
        }
        const std::int64_t data = nameAt + static_cast<std::int64_t>(nameLength + extraLength);
        const std::uint8_t* name = window_.At(nameAt, nameLength + extraLength);
        if (name == nullptr) {
            return std::nullopt;
        }
        const std::string shown =
            damaged ? Printable(reinterpret_cast<const std::uint8_t*>(listed->name.data()),
                                nameLength)
                    : Printable(name, nameLength);
        if (!damaged) {
            member.name.assign(reinterpret_cast<const char*>(name), nameLength);
            if (member.size == kFar || member.packed == kFar) {
                ReadZip64(name + nameLength, extraLength, member, true);
            }
            if ((member.flags & kFlagDescriptor) != 0) {
                // The sizes follow the data; the central directory has them as well.
                if (listed == nullptr || listed->name != member.name) {
                    return std::nullopt;
                }
                member.crc = listed->crc;
                member.packed = listed->packed;
                member.size = listed->size;
            }
        }
        const bool described = (member.flags & kFlagDescriptor) != 0;
        const std::int64_t nameEnd = nameAt + static_cast<std::int64_t>(nameLength);
        if (damaged) {
            // The extra bytes are somewhere in its fixed part or its name.
            log_.Add({at, nameEnd, kLocalSize + static_cast<std::int64_t>(nameLength),
                      LocalHeaderCheck(*listed, kLocalHeader, kLocalSize),
                      "ZIP local header '" + shown + "'"});
            if (data > nameEnd) {
                log_.Fits(nameEnd, data, "ZIP extra field");
            }
        } else {
            log_.Fits(at, data, "ZIP local header '" + shown + "'");
        }
        if (member.packed > static_cast<std::uint64_t>(window_.Length() - data)) {
            return std::nullopt;
        }
        const std::int64_t expected = data + static_cast<std::int64_t>(member.packed);
        // With a descriptor: 12 or 16 bytes (its signature is optional), 20 or 24 in ZIP64.
        const std::vector<std::int64_t> trailers =
            described ? std::vector<std::int64_t>{16, 12, 24, 20} : std::vector<std::int64_t>{0};
        for (std::int64_t extra = 0; extra <= kResyncReach; ++extra) {
            for (const std::int64_t trailer : trailers) {
                const std::int64_t next = expected + extra + trailer;
                if (IsNextHeader(next, extra == 0) && Describes(next - trailer, trailer, member)) {
                    log_.Add({data, next - trailer, static_cast<std::int64_t>(member.packed),
                              CheckOf(member), "ZIP member '" + shown + "'"});
                    if (trailer > 0) {
                        log_.Fits(next - trailer, next, "ZIP data descriptor");
                    }
                    return next;
                }
            }
        }
        return std::nullopt;
    }

    // Where the name that should start at the place given starts, once the extra bytes in or
    // before it are left out: the bytes from there that end as it does, after those that
    // begin as it does.
    std::optional<std::int64_t> NameFoundAgain(std::int64_t at, const std::string& name) {
        const std::uint8_t* p = window_.At(at, name.size());
        if (p == nullptr) {
            return std::nullopt;
        }
        std::size_t same = 0;
        while (same < name.size() && p[same] == static_cast<std::uint8_t>(name[same])) {
            ++same;
        }
        const std::string rest = name.substr(same);
        const auto resumes = FindAgain(at + static_cast<std::int64_t>(same) + 1, window_.Length(),
                                       [&](std::int64_t q) { return NameAt(q, rest); });
        if (!resumes) {
            return std::nullopt;
        }
        // Where it starts as the walk counts it: as many bytes before the name's end as it has.
        return *resumes + static_cast<std::int64_t>(rest.size()) -
               static_cast<std::int64_t>(name.size());
    }

    bool NameAt(std::int64_t at, const std::string& name) {
        const std::uint8_t* p = window_.At(at, name.size());
        return p != nullptr && std::equal(name.begin(), name.end(), p);
    }

    // The descriptor at the place given, of the length given, is this member's.
    bool Describes(std::int64_t at, std::int64_t trailer, const struct Member& member) {
        if (trailer == 0) {
            return true;
        }
        const std::uint8_t* p = window_.At(at, static_cast<std::size_t>(trailer));
        if (p == nullptr) {
            return false;
        }
        const bool signed_ = trailer == 16 || trailer == 24;
        if (signed_ && Le32(p) != kDescriptor) {
            return false;
        }
        return Le32(p + (signed_ ? 4 : 0)) == member.crc;
    }

    // A header where the sizes put it needs only its signature (the rest may hold extra
    // bytes of its own); one found again must look whole.
    bool IsNextHeader(std::int64_t at, bool whereExpected) {
        const std::uint8_t* p = window_.At(at, 4);
        if (p == nullptr) {
            return false;
        }
        const std::uint32_t signature = Le32(p);
        if (signature == kLocalHeader) {
            const std::uint8_t* header = window_.At(at, kLocalSize);
            return header != nullptr && (whereExpected || Le16(header + 4) < 100);  // a version
        }
        return signature == kCentralHeader || signature == kEndRecord ||
               signature == kZip64EndRecord || signature == kDigitalSignature;
    }

    static std::shared_ptr<const RegionCheck> CheckOf(const struct Member& member) {
        if ((member.flags & kFlagEncrypted) != 0) {
            return nullptr;
        }
        if (member.method == 0 && member.packed == member.size) {
            return Crc32Check(member.crc);
        }
        if (member.method == 8) {
            return InflatedCrc32Check(member.crc, static_cast<std::int64_t>(member.size));
        }
        return nullptr;
    }

    // The central directory and the end records after the last member.
    WalkEnd Central(std::int64_t at) {
        if (directory_.endRecord < 0 || at > directory_.end) {
            return WalkEnd::LostTrack;
        }
        if (at < directory_.end) {
            if (!IsCentralHeader(at)) {
                return WalkEnd::LostTrack;
            }
            EvidenceRegion region{at, directory_.end, static_cast<std::int64_t>(directory_.size),
                                  nullptr, "ZIP central directory"};
            if (region.Excess() == 0) {
                log_.Fits(region.start, region.end, region.what);
            } else {
                log_.Add(std::move(region));
            }
        }
        log_.Fits(directory_.end, window_.Length(), "ZIP end records");
        log_.Flush();
        return WalkEnd::Whole;
    }

    ByteWindow window_;
    StopPoll poll_;
    RegionLog log_;
    Directory directory_;
};

class ZipWalker : public StructureWalker {
  public:
    const char* Format() const override { return "ZIP"; }
    const char* Proof() const override { return "the archive's CRC-32s"; }
    const char* Lengths() const override { return "the archive's headers"; }
    bool Recognises(std::string_view head, std::string_view name) const override {
        return head.substr(0, 4) == std::string_view("PK\3\4", 4) ||
               (head.empty() && HasExtension(name, ".zip"));
    }
    WalkEnd Walk(InputFile& input, std::int64_t length, const StopPredicate& stop,
                 const RegionSink& sink) const override {
        return ZipWalk(input, length, stop, sink).Run();
    }
};

}  // namespace

std::unique_ptr<StructureWalker> MakeZipWalker() { return std::make_unique<ZipWalker>(); }

}  // namespace korbelt
