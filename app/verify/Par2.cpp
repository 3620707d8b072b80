#include "verify/Par2.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

namespace korbelt {
namespace {

constexpr std::size_t kHeaderSize = 64;
constexpr std::uint8_t kMagic[8] = {'P', 'A', 'R', '2', 0, 'P', 'K', 'T'};
// Packets this reader reads whole; anything longer is not one of them, whatever its type.
constexpr std::uint64_t kMaxReadPacket = std::uint64_t{64} << 20;
// How far past a damaged packet the next one is looked for, in one go.
constexpr std::size_t kSearchStep = std::size_t{1} << 20;

using Id = Par2SetId;

struct Header {
    std::uint64_t length = 0;
    DigestBytes md5;
    Id set{};
    std::string type;
};

std::uint64_t Little64(const std::uint8_t* at) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = value << 8 | at[i];
    }
    return value;
}

std::uint32_t Little32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

Id IdAt(const std::uint8_t* at) {
    Id id;
    std::copy_n(at, id.size(), id.begin());
    return id;
}

struct FileDescription {
    DigestBytes md5;
    std::int64_t length = 0;
    std::string name;
};

// One recovery set as its packets come in; the set of the Main packet wins, else the one
// with most descriptions.
struct SetContents {
    std::uint64_t sliceSize = 0;
    std::map<Id, FileDescription> descriptions;
    std::map<Id, std::vector<SliceChecksum>> slices;
};

class Reader {
  public:
    Reader(InputFile& file, Par2Contents& contents) : file_(file), contents_(contents) {}

    std::map<Id, SetContents> sets;
    std::optional<Id> mainSet;

    void ReadAll() {
        std::error_code error;
        const std::int64_t size = file_.Length(error);
        if (error) {
            return;
        }
        std::int64_t at = 0;
        while (at + static_cast<std::int64_t>(kHeaderSize) <= size) {
            Header header;
            if (!ReadHeader(at, size, header)) {
                ++contents_.damagedPackets;
                at = FindMagic(at + 1, size);
                continue;
            }
            if (header.type == std::string("PAR 2.0\0RecvSlic", 16)) {
                // The bulk of a set: only its length is needed to step over it.
                at += static_cast<std::int64_t>(header.length);
                continue;
            }
            if (!ReadBody(at, header)) {
                ++contents_.damagedPackets;
                at = FindMagic(at + 1, size);
                continue;
            }
            ++contents_.packets;
            at += static_cast<std::int64_t>(header.length);
        }
    }

  private:
    bool ReadHeader(std::int64_t at, std::int64_t size, Header& header) {
        std::uint8_t bytes[kHeaderSize];
        std::error_code error;
        if (file_.ReadAt(at, bytes, kHeaderSize, error) != kHeaderSize || error ||
            std::memcmp(bytes, kMagic, sizeof(kMagic)) != 0) {
            return false;
        }
        header.length = Little64(bytes + 8);
        if (header.length < kHeaderSize || header.length % 4 != 0 ||
            header.length > static_cast<std::uint64_t>(size - at)) {
            return false;
        }
        header.md5.assign(bytes + 16, bytes + 32);
        header.set = IdAt(bytes + 32);
        header.type.assign(reinterpret_cast<const char*>(bytes + 48), 16);
        return true;
    }

    // Reads the packet, checks its MD5 (over the set ID, the type and the body) and takes
    // what it says.
    bool ReadBody(std::int64_t at, const Header& header) {
        if (header.length > kMaxReadPacket) {
            return false;
        }
        std::vector<std::uint8_t> packet(static_cast<std::size_t>(header.length));
        std::error_code error;
        if (file_.ReadAt(at, packet.data(), packet.size(), error) != packet.size() || error) {
            return false;
        }
        if (DigestOf(DigestKind::Md5, packet.data() + 32, packet.size() - 32) != header.md5) {
            return false;
        }
        Take(header, packet.data() + kHeaderSize, packet.size() - kHeaderSize);
        return true;
    }

    void Take(const Header& header, const std::uint8_t* body, std::size_t size) {
        SetContents& set = sets[header.set];
        if (header.type == std::string("PAR 2.0\0Main\0\0\0\0", 16) && size >= 12) {
            set.sliceSize = Little64(body);
            mainSet = header.set;
        } else if (header.type == std::string("PAR 2.0\0FileDesc", 16) && size >= 56) {
            FileDescription description;
            description.md5.assign(body + 16, body + 32);
            description.length = static_cast<std::int64_t>(Little64(body + 48));
            const char* name = reinterpret_cast<const char*>(body + 56);
            description.name.assign(name, strnlen(name, size - 56));
            set.descriptions[IdAt(body)] = description;
        } else if (header.type == std::string("PAR 2.0\0IFSC\0\0\0\0", 16) && size >= 16) {
            std::vector<SliceChecksum> slices;
            for (std::size_t at = 16; at + 20 <= size; at += 20) {
                slices.push_back(
                    {DigestBytes(body + at, body + at + 16), Little32(body + at + 16)});
            }
            set.slices[IdAt(body)] = std::move(slices);
        }
        // Creator and unknown packets say nothing about the files.
    }

    // The offset of the next packet magic at or after from, else size.
    std::int64_t FindMagic(std::int64_t from, std::int64_t size) {
        while (from + static_cast<std::int64_t>(kHeaderSize) <= size) {
            const auto wanted = std::min<std::int64_t>(kSearchStep + sizeof(kMagic), size - from);
            window_.resize(static_cast<std::size_t>(wanted));
            std::error_code error;
            const std::size_t got = file_.ReadAt(from, window_.data(), window_.size(), error);
            if (error || got < sizeof(kMagic)) {
                break;
            }
            const auto end = window_.begin() + static_cast<std::ptrdiff_t>(got);
            const auto found = std::search(window_.begin(), end, kMagic, kMagic + sizeof(kMagic));
            if (found != end) {
                return from + (found - window_.begin());
            }
            from += static_cast<std::int64_t>(got - sizeof(kMagic) + 1);
        }
        return size;
    }

    InputFile& file_;
    Par2Contents& contents_;
    std::vector<std::uint8_t> window_;  // where the next packet is looked for
};

}  // namespace

Par2Contents ReadPar2(InputFile& file, const std::string& source) {
    Par2Contents contents;
    Reader reader(file, contents);
    reader.ReadAll();
    contents.mainSet = reader.mainSet;
    for (const auto& [id, set] : reader.sets) {
        if (set.sliceSize == 0 || set.sliceSize > kMaxReadPacket) {
            continue;  // without its Main packet a set's slices cannot be placed
        }
        for (const auto& [file, description] : set.descriptions) {
            Expectation expectation;
            expectation.source = source;
            expectation.name = description.name;
            expectation.length = description.length;
            expectation.kind = DigestKind::Md5;
            expectation.digest = description.md5;
            const auto slices = set.slices.find(file);
            if (slices != set.slices.end() &&
                static_cast<std::int64_t>(slices->second.size()) ==
                    SliceCount(description.length, static_cast<std::int64_t>(set.sliceSize))) {
                expectation.sliceSize = static_cast<std::int64_t>(set.sliceSize);
                expectation.slices = slices->second;
            }
            contents.files.push_back(std::move(expectation));
        }
    }
    return contents;
}

std::optional<Par2SetId> FirstPacketSet(InputFile& file) {
    std::uint8_t bytes[kHeaderSize];
    std::error_code error;
    if (file.ReadAt(0, bytes, kHeaderSize, error) != kHeaderSize || error ||
        std::memcmp(bytes, kMagic, sizeof(kMagic)) != 0) {
        return std::nullopt;
    }
    return IdAt(bytes + 32);
}

std::int64_t SliceCount(std::int64_t length, std::int64_t sliceSize) {
    return sliceSize <= 0 ? 0 : (length + sliceSize - 1) / sliceSize;
}

int Expectation::Strength() const {
    if (length && kind && HasSlices()) {
        return 3;
    }
    return kind ? 2 : crc32 ? 1 : 0;
}

}  // namespace korbelt
