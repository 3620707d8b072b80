// ISO base media files (MP4, MOV, 3GP, M4A): boxes of a big-endian size and a type, a size
// of 1 giving a 64-bit one after the type and 0 the rest of the file; the boxes that hold
// boxes (moov, trak, mdia, minf, stbl ...) walked inside, every other box a region of its
// size, the media data (mdat) among them.
#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "structure/ByteWindow.h"
#include "structure/WalkSupport.h"
#include "structure/Walkers.h"

namespace korbelt {
namespace {

constexpr int kMaxDepth = 16;

// Boxes whose data is boxes; meta has a version and flags first.
constexpr std::array<const char*, 14> kContainers = {"moov", "trak", "mdia", "minf", "stbl",
                                                     "dinf", "edts", "mvex", "moof", "traf",
                                                     "mfra", "udta", "meta", "tref"};

// The boxes muxers write, of which one is looked for where extra bytes moved the next box:
// a box of any name is too easily met by chance.
constexpr std::array<const char*, 48> kKnown = {
    "ftyp", "moov", "mdat", "free", "skip", "wide", "uuid", "moof", "mfra", "meta", "pdin",
    "styp", "sidx", "udta", "trak", "mvhd", "tkhd", "mdia", "mdhd", "hdlr", "minf", "vmhd",
    "smhd", "nmhd", "dinf", "dref", "stbl", "stsd", "stts", "stss", "ctts", "stsc", "stsz",
    "stco", "co64", "edts", "elst", "mvex", "trex", "traf", "tfhd", "trun", "tfdt", "mfhd",
    "titl", "ilst", "tref", "sgpd"};

bool IsKnown(const std::uint8_t* p) {
    return std::any_of(kKnown.begin(), kKnown.end(),
                       [p](const char* type) { return std::equal(p, p + 4, type); });
}

bool IsType(const std::uint8_t* p) {
    return std::all_of(p, p + 4, [](std::uint8_t c) { return (c >= 0x20 && c < 0x7f) || c == 0xA9; });
}

// A box type as writers name them: letters, digits, blanks and the copyright sign.
bool IsName(const std::uint8_t* p) {
    return std::all_of(p, p + 4, [](std::uint8_t c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == ' ' || c == 0xA9;
    });
}

bool IsContainer(const std::uint8_t* p) {
    return std::any_of(kContainers.begin(), kContainers.end(),
                       [p](const char* type) { return std::equal(p, p + 4, type); });
}

class IsoWalk {
  public:
    IsoWalk(InputFile& input, std::int64_t length, const StopPredicate& stop,
            const RegionSink& sink)
        : window_(input, length), poll_(stop), log_(sink, "ISO media boxes") {}

    WalkEnd Run() {
        const std::optional<Extent> all = Boxes(0, window_.Length(), 0, true);
        log_.Flush();
        if (window_.Failed()) {
            return WalkEnd::ReadFailed;
        }
        return all ? WalkEnd::Whole : ending_;
    }

  private:
    struct Extent {
        std::int64_t end = 0;
        std::int64_t excess = 0;
    };
    struct Header {
        std::int64_t size = 0;  // the whole box's, header included
        std::int64_t header = 8;
    };

    // The box header at the place given, its size capped by nothing yet; none where there
    // is no box header.
    std::optional<Header> HeaderAt(std::int64_t at, std::int64_t rest) {
        const std::uint8_t* p = window_.At(at, 16);
        if (p == nullptr) {
            p = window_.At(at, 8);
        }
        if (p == nullptr || !IsType(p + 4)) {
            return std::nullopt;
        }
        Header header;
        header.size = Be32(p);
        if (header.size == 1) {
            if (window_.At(at, 16) == nullptr) {
                return std::nullopt;
            }
            p = window_.At(at, 16);
            const std::uint64_t large = Be64(p + 8);
            header.header = 16;
            header.size = large > static_cast<std::uint64_t>(window_.Length())
                              ? window_.Length() + 1
                              : static_cast<std::int64_t>(large);
        } else if (header.size == 0) {
            header.size = rest;  // to the end of what holds it
        }
        if (header.size < header.header) {
            return std::nullopt;
        }
        return header;
    }

    // Boxes from at, size bytes of them as they were written (the file's rest at the top).
    std::optional<Extent> Boxes(std::int64_t at, std::int64_t size, int depth, bool top) {
        Extent extent{at, 0};
        std::int64_t written = 0;
        while (written < size && extent.end < window_.Length()) {
            if (poll_.Now()) {
                ending_ = WalkEnd::Stopped;
                return std::nullopt;
            }
            const std::optional<Extent> box =
                Box(extent.end, top ? window_.Length() - extent.end : size - written, depth);
            if (!box) {
                return std::nullopt;
            }
            written += box->end - extent.end - box->excess;
            extent = {box->end, extent.excess + box->excess};
        }
        return extent;
    }

    // A box found again: a type muxers write and a size that fits the file, and a box after
    // it (or the end of the file). A box of size 0 (to the end) is too easily met
    // by chance to be found again by.
    bool IsBoxAt(std::int64_t at, bool andNext) {
        if (at == window_.Length()) {
            return true;
        }
        const std::uint8_t* p = window_.At(at, 8);
        if (p == nullptr || Be32(p) == 0 || !IsName(p + 4) || (andNext && !IsKnown(p + 4))) {
            return false;
        }
        const auto found = HeaderAt(at, window_.Length() - at);
        if (!found || found->size > window_.Length() - at) {
            return false;
        }
        // The box after it may hold a byte or two of its own: it is looked for a little
        // further on too, not as far as a box found again.
        return !andNext || FindAgain(at + found->size, window_.Length(),
                                     [this](std::int64_t q) { return IsBoxAt(q, false); },
                                     kResyncReach / 4)
                               .has_value();
    }

    std::optional<Extent> Box(std::int64_t at, std::int64_t rest, int depth) {
        const std::optional<Header> header = HeaderAt(at, rest);
        if (!header) {
            ending_ = WalkEnd::LostTrack;
            return std::nullopt;
        }
        const std::uint8_t* p = window_.At(at, 8);
        const std::string type = Printable(p + 4, 4);
        if (IsContainer(p + 4) && depth < kMaxDepth) {
            // meta is a full box: a version and flags before its boxes.
            const std::int64_t skip = type == "meta" ? 4 : 0;
            log_.Fits(at, at + header->header + skip, "box '" + type + "'");
            const std::optional<Extent> inside =
                Boxes(at + header->header + skip, header->size - header->header - skip,
                      depth + 1, false);
            return inside;
        }
        const std::int64_t expected = at + header->size;
        // Where the sizes put the next box one header is enough; found again, two in a row.
        const auto next = FindAgain(expected, window_.Length(), [this, expected](std::int64_t q) {
            return IsBoxAt(q, q != expected);
        });
        if (!next || (*next != expected && ++resyncs_ > kMaxResyncs)) {
            ending_ = WalkEnd::LostTrack;
            return std::nullopt;
        }
        const std::string what = "box '" + type + "'";
        if (*next == expected) {
            log_.Fits(at, *next, what);
        } else {
            log_.Add({at, *next, header->size, nullptr, what});
        }
        return Extent{*next, *next - expected};
    }

    ByteWindow window_;
    StopPoll poll_;
    RegionLog log_;
    WalkEnd ending_ = WalkEnd::LostTrack;
    int resyncs_ = 0;
};

class IsoMediaWalker : public StructureWalker {
  public:
    const char* Format() const override { return "ISO media"; }
    const char* Proof() const override { return "its checks"; }
    const char* Lengths() const override { return "the MP4 box sizes and chunk offsets"; }
    bool Recognises(std::string_view head, std::string_view name) const override {
        if (head.size() >= 8) {
            const std::string_view type = head.substr(4, 4);
            return type == "ftyp" || type == "moov" || type == "mdat" || type == "wide" ||
                   type == "free" || type == "skip";
        }
        return head.empty() && (HasExtension(name, ".mp4") || HasExtension(name, ".mov") ||
                                HasExtension(name, ".m4v") || HasExtension(name, ".m4a") ||
                                HasExtension(name, ".3gp"));
    }
    WalkEnd Walk(InputFile& input, std::int64_t length, const StopPredicate& stop,
                 const RegionSink& sink) const override {
        return IsoWalk(input, length, stop, sink).Run();
    }
};

}  // namespace

std::unique_ptr<StructureWalker> MakeIsoMediaWalker() { return std::make_unique<IsoMediaWalker>(); }

}  // namespace korbelt
