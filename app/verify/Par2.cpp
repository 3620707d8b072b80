#include "verify/Par2.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <span>

namespace korbelt {
namespace {

constexpr std::size_t kHeaderSize = 64;
// Set ID and type: what a packet's MD5 covers besides its body.
constexpr std::size_t kHashedHeader = 32;
constexpr std::uint8_t kMagic[8] = {'P', 'A', 'R', '2', 0, 'P', 'K', 'T'};
// How much of the file is in memory at once. The packets whose bodies are used (Main, File
// Description, slice checksums) are read whole within it: the 32,768 slices a set may have
// at most take 640 KiB of checksums. A larger packet is hashed, but nothing is taken from it.
constexpr std::size_t kWindow = std::size_t{1} << 20;
// Packets found inside a damaged one are hashed again; past the file's own size and this
// much, a packet that would need hashing counts as damaged, so that a file of nested packet
// headers costs no more than reading it twice.
constexpr std::int64_t kHashSlack = std::int64_t{16} << 20;
// A set that describes one name more often than this is not a download's.
constexpr int kMaxDescriptionsOfAName = 8;
// Main packets remembered before the descriptions that need them have been seen; a file with
// more sets than this is read a second time for the Main packets of the sets it describes.
constexpr std::size_t kMaxSetsAhead = 256;

const std::string kMain("PAR 2.0\0Main\0\0\0\0", 16);
const std::string kFileDescription("PAR 2.0\0FileDesc", 16);
const std::string kSliceChecksums("PAR 2.0\0IFSC\0\0\0\0", 16);
const std::string kRecoverySlice("PAR 2.0\0RecvSlic", 16);

// Body layouts: Main holds the slice size; a File Description the file's ID, MD5, MD5 of its
// first 16 KiB, length and name; slice checksums the file's ID, then MD5 and CRC-32 per slice.
constexpr std::size_t kMainBody = 12;
constexpr std::size_t kDescriptionName = 56;
constexpr std::size_t kSliceEntries = 16;
constexpr std::size_t kSliceEntry = 20;

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

// Reads forward through a file a window at a time, so that packet headers, bodies and the
// search for the next packet after a damaged one each read the file about once.
class Window {
  public:
    Window(InputFile& file, std::int64_t size) : file_(file), size_(size), buffer_(kWindow) {}

    std::int64_t Size() const { return size_; }

    // The bytes from offset on that the window holds, at least count of them unless the file
    // ends first; empty where it cannot be read.
    std::span<const std::uint8_t> From(std::int64_t offset, std::size_t count) {
        if (offset < start_ || offset + static_cast<std::int64_t>(count) > start_ + filled_) {
            Fill(offset);
        }
        if (offset < start_ || offset >= start_ + filled_) {
            return {};
        }
        return {buffer_.data() + (offset - start_),
                static_cast<std::size_t>(start_ + filled_ - offset)};
    }

    // Exactly count bytes (at most a window's) at offset, or nothing.
    const std::uint8_t* At(std::int64_t offset, std::size_t count) {
        const auto bytes = From(offset, count);
        return bytes.size() >= count ? bytes.data() : nullptr;
    }

    // The offset of the next packet magic at or after from; the file's size when none.
    std::int64_t FindMagic(std::int64_t from) {
        while (from + static_cast<std::int64_t>(kHeaderSize) <= size_) {
            const auto bytes = From(from, kHeaderSize);
            if (bytes.size() < sizeof(kMagic)) {
                break;
            }
            const auto found =
                std::search(bytes.begin(), bytes.end(), kMagic, kMagic + sizeof(kMagic));
            if (found != bytes.end()) {
                return from + (found - bytes.begin());
            }
            from += static_cast<std::int64_t>(bytes.size() - sizeof(kMagic) + 1);
        }
        return size_;
    }

  private:
    void Fill(std::int64_t offset) {
        start_ = offset;
        filled_ = 0;
        if (offset < 0 || offset >= size_) {
            return;
        }
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(kWindow, size_ - offset));
        std::error_code error;
        const std::size_t got = file_.ReadAt(offset, buffer_.data(), want, error);
        filled_ = error ? 0 : static_cast<std::int64_t>(got);
    }

    InputFile& file_;
    std::int64_t size_;
    std::vector<std::uint8_t> buffer_;
    std::int64_t start_ = 0;
    std::int64_t filled_ = 0;
};

struct Description {
    Id set{};
    Id file{};
    std::string name;
    DigestBytes md5;
    std::int64_t length = 0;
    std::int64_t slicesAt = -1;
};

bool ReadHeader(Window& window, std::int64_t at, Header& header) {
    const std::uint8_t* bytes = window.At(at, kHeaderSize);
    if (bytes == nullptr || std::memcmp(bytes, kMagic, sizeof(kMagic)) != 0) {
        return false;
    }
    header.length = Little64(bytes + 8);
    if (header.length < kHeaderSize || header.length % 4 != 0 ||
        header.length > static_cast<std::uint64_t>(window.Size() - at)) {
        return false;
    }
    header.md5.assign(bytes + 16, bytes + 32);
    header.set = IdAt(bytes + 32);
    header.type.assign(reinterpret_cast<const char*>(bytes + 48), 16);
    return true;
}

// Whether the packet's MD5, over its set ID, type and body, is the one its header gives.
bool PacketChecks(Window& window, std::int64_t at, const Header& header) {
    Hasher md5(DigestKind::Md5);
    const std::int64_t end = at + static_cast<std::int64_t>(header.length);
    for (std::int64_t from = at + static_cast<std::int64_t>(kHashedHeader); from < end;) {
        const auto bytes = window.From(from, 1);
        if (bytes.empty()) {
            return false;
        }
        const auto count = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(bytes.size()), end - from));
        md5.Add(bytes.data(), count);
        from += static_cast<std::int64_t>(count);
    }
    return md5.Finish() == header.md5;
}

// Walks a PAR 2.0 file packet by packet, in one pass or, for a file with very many sets, two.
class Reader {
  public:
    Reader(InputFile& file, const std::string& source, const Par2NameFilter& wanted)
        : source_(source), wanted_(wanted), window_(file, Length(file)) {}

    Par2Contents Read() {
        Walk(true);
        if ((setsMissed_ && MainMissing()) || (slicesMissed_ && SlicesMissing())) {
            Walk(false);
        }
        return Contents();
    }

  private:
    static std::int64_t Length(InputFile& file) {
        std::error_code error;
        const std::int64_t size = file.Length(error);
        return error ? 0 : size;
    }

    // first: every packet is counted and descriptions are taken; afterwards only the Main
    // packets of the sets described are looked for again, along the same path.
    void Walk(bool first) {
        std::int64_t hashBudget = window_.Size() + kHashSlack;
        std::int64_t at = 0;
        while (at + static_cast<std::int64_t>(kHeaderSize) <= window_.Size()) {
            Header header;
            bool sound = ReadHeader(window_, at, header);
            if (sound && header.type == kRecoverySlice) {
                // The bulk of a set: only its length is needed to step over it.
                at += static_cast<std::int64_t>(header.length);
                continue;
            }
            if (sound) {
                const auto length = static_cast<std::int64_t>(header.length);
                sound = length <= hashBudget && PacketChecks(window_, at, header);
                hashBudget -= std::min(length, hashBudget);
            }
            if (first) {
                ++(sound ? contents_.packets : contents_.damagedPackets);
            }
            if (!sound) {
                at = window_.FindMagic(at + 1);
                continue;
            }
            Take(at, header, first);
            at += static_cast<std::int64_t>(header.length);
        }
    }

    void Take(std::int64_t at, const Header& header, bool first) {
        if (header.type == kMain && header.length >= kHeaderSize + kMainBody) {
            // Only the slice size is needed, whatever the number of files the set has.
            if (const std::uint8_t* main = window_.At(at, kHeaderSize + kMainBody)) {
                TakeMain(header.set, Little64(main + kHeaderSize), first);
            }
            return;
        }
        if (header.length > kWindow) {
            return;  // none of the other packets used is this large
        }
        const std::uint8_t* body = window_.At(at, static_cast<std::size_t>(header.length));
        if (body == nullptr) {
            return;
        }
        body += kHeaderSize;
        const std::size_t size = header.length - kHeaderSize;
        if (first && header.type == kFileDescription && size >= kDescriptionName) {
            TakeDescription(header.set, body, size);
        } else if (header.type == kSliceChecksums && size >= kSliceEntries) {
            TakeSlices(at, header.set, IdAt(body), size);
        }
        // Creator and unknown packets say nothing about the files.
    }

    // Only located: the checksums themselves are loaded for the file being repaired. Those
    // that come before their file's description are found on a second walk.
    void TakeSlices(std::int64_t at, const Id& set, const Id& file, std::size_t size) {
        bool described = false;
        for (Description& description : descriptions_) {
            if (description.set == set && description.file == file) {
                described = true;
                if (description.slicesAt < 0 && Fits(description, size)) {
                    description.slicesAt = at;
                }
            }
        }
        slicesMissed_ = slicesMissed_ || !described;
    }

    void TakeMain(const Id& set, std::uint64_t sliceSize, bool first) {
        contents_.mainSet = set;
        const bool needed = std::any_of(descriptions_.begin(), descriptions_.end(),
                                        [&](const Description& d) { return d.set == set; });
        if (needed || (first && sliceSizes_.size() < kMaxSetsAhead)) {
            sliceSizes_[set] = sliceSize;
        } else if (first && !sliceSizes_.contains(set)) {
            setsMissed_ = true;
        }
    }

    void TakeDescription(const Id& set, const std::uint8_t* body, std::size_t size) {
        Description description;
        description.set = set;
        description.file = IdAt(body);
        description.md5.assign(body + 16, body + 32);
        const std::uint64_t length = Little64(body + 48);
        const char* name = reinterpret_cast<const char*>(body + kDescriptionName);
        description.name.assign(name, strnlen(name, size - kDescriptionName));
        if (length > static_cast<std::uint64_t>(INT64_MAX) ||
            (wanted_ && !wanted_(description.name)) ||
            ++timesNamed_[description.name] > kMaxDescriptionsOfAName) {
            return;
        }
        description.length = static_cast<std::int64_t>(length);
        const bool known =
            std::any_of(descriptions_.begin(), descriptions_.end(),
                        [&](const auto& d) { return d.set == set && d.file == description.file; });
        if (!known) {
            descriptions_.push_back(std::move(description));
        }
    }

    // Slice checksums fit a description when there is one for each of its slices.
    bool Fits(const Description& description, std::size_t size) const {
        const auto slices = sliceSizes_.find(description.set);
        return slices == sliceSizes_.end() ||
               (size - kSliceEntries) / kSliceEntry ==
                   static_cast<std::uint64_t>(
                       SliceCount(description.length, static_cast<std::int64_t>(slices->second)));
    }

    bool MainMissing() const {
        return std::any_of(descriptions_.begin(), descriptions_.end(),
                           [&](const Description& d) { return !sliceSizes_.contains(d.set); });
    }

    bool SlicesMissing() const {
        return std::any_of(descriptions_.begin(), descriptions_.end(),
                           [](const Description& d) { return d.slicesAt < 0 && d.length > 0; });
    }

    Par2Contents Contents() {
        for (const Description& description : descriptions_) {
            const auto slices = sliceSizes_.find(description.set);
            // PAR 2.0 slices are a positive multiple of 4 bytes; without its Main packet a set's
            // slices cannot be placed.
            if (slices == sliceSizes_.end() || slices->second == 0 || slices->second % 4 != 0 ||
                slices->second > static_cast<std::uint64_t>(INT64_MAX)) {
                continue;
            }
            Expectation expectation;
            expectation.source = source_;
            expectation.name = description.name;
            expectation.length = description.length;
            expectation.kind = DigestKind::Md5;
            expectation.digest = description.md5;
            expectation.sliceSize = static_cast<std::int64_t>(slices->second);
            if (description.slicesAt >= 0 && Fits(description, SlicesPacketBody(description))) {
                expectation.slicesAt = description.slicesAt;
            }
            contents_.files.push_back(std::move(expectation));
        }
        return std::move(contents_);
    }

    // The body size of a description's slice checksums packet, read again from its header.
    std::size_t SlicesPacketBody(const Description& description) {
        Header header;
        return ReadHeader(window_, description.slicesAt, header)
                   ? static_cast<std::size_t>(header.length - kHeaderSize)
                   : 0;
    }

    const std::string& source_;
    const Par2NameFilter& wanted_;
    Window window_;
    Par2Contents contents_;
    std::vector<Description> descriptions_;  // of wanted names only
    std::map<std::string, int> timesNamed_;
    std::map<Id, std::uint64_t> sliceSizes_;  // by set, from its Main packet
    bool setsMissed_ = false;
    bool slicesMissed_ = false;
};

}  // namespace

Par2Contents ReadPar2(InputFile& file, const std::string& source, const Par2NameFilter& wanted) {
    return Reader(file, source, wanted).Read();
}

bool LoadSlices(InputFile& file, Expectation& expected) {
    expected.slices.clear();
    std::error_code error;
    Window window(file, file.Length(error));
    Header header;
    if (expected.slicesAt < 0 || error || !ReadHeader(window, expected.slicesAt, header) ||
        header.type != kSliceChecksums || header.length > kWindow ||
        !PacketChecks(window, expected.slicesAt, header)) {
        return false;
    }
    const std::uint8_t* packet = window.At(expected.slicesAt, header.length);
    if (packet == nullptr) {
        return false;
    }
    const std::uint8_t* body = packet + kHeaderSize;
    const std::size_t size = header.length - kHeaderSize;
    const std::int64_t count = SliceCount(expected.length.value_or(-1), expected.sliceSize);
    if (count <= 0 || (size - kSliceEntries) / kSliceEntry != static_cast<std::uint64_t>(count)) {
        return false;
    }
    expected.slices.reserve(static_cast<std::size_t>(count));
    for (std::size_t at = kSliceEntries; at + kSliceEntry <= size; at += kSliceEntry) {
        expected.slices.push_back(
            {DigestBytes(body + at, body + at + 16), Little32(body + at + 16)});
    }
    return true;
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
    if (length < 0 || sliceSize <= 0) {
        return 0;
    }
    return length / sliceSize + (length % sliceSize != 0 ? 1 : 0);
}

int Expectation::Strength() const {
    if (length && kind && (HasSlices() || slicesAt >= 0)) {
        return 3;
    }
    return kind ? 2 : crc32 ? 1 : 0;
}

}  // namespace korbelt
