// Matroska and WebM (EBML): elements of a variable-length ID and size. The EBML header and
// the Segment's top-level elements (SeekHead, Info, Tracks, Cluster, Cues, Tags ...) each a
// region of its size, checked by its CRC-32 element where it has one; a Cluster that is
// longer than it should be, or of unknown size, walked inside, block by block.
#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "structure/ByteWindow.h"
#include "verify/Digest.h"
#include "structure/WalkSupport.h"
#include "structure/Walkers.h"

namespace korbelt {
namespace {

constexpr std::uint32_t kEbmlHeader = 0x1A45DFA3;
constexpr std::uint32_t kSegment = 0x18538067;
constexpr std::uint32_t kCluster = 0x1F43B675;
constexpr std::uint32_t kCrc32 = 0xBF;
// A CRC-32 element: its ID, its size (4) and the CRC-32.
constexpr int kCrcElementSize = 6;
constexpr std::uint32_t kVoid = 0xEC;
constexpr std::array<std::uint32_t, 8> kTopLevel = {0x114D9B74, 0x1549A966, 0x1654AE6B, kCluster,
                                                    0x1C53BB6B, 0x1941A469, 0x1043A770, 0x1254C367};
// What a Cluster holds: Timestamp, Position, PrevSize, SimpleBlock, BlockGroup,
// EncryptedBlock, SilentTracks, and Void and CRC-32 as anything may.
constexpr std::array<std::uint32_t, 9> kClusterChildren = {0xE7, 0xA7, 0xAB, 0xA3, 0xA0,
                                                           0xAF, 0x5854, kVoid, kCrc32};

// Whether an element of this ID and size can be a Cluster's child: the Timestamp, Position and
// PrevSize are unsigned integers of at most eight bytes, a CRC-32 is four; a header found by
// chance in a block's data often has one of their IDs and another size.
bool IsClusterChild(std::uint32_t id, std::uint64_t size) {
    if (std::find(kClusterChildren.begin(), kClusterChildren.end(), id) == kClusterChildren.end()) {
        return false;
    }
    switch (id) {
        case 0xE7:
        case 0xA7:
        case 0xAB:
            return size <= 8;
        case kCrc32:
            return size == 4;
        default:
            return true;
    }
}

constexpr std::uint64_t kUnknown = ~std::uint64_t{0};

struct Element {
    std::uint32_t id = 0;
    std::uint64_t size = 0;  // kUnknown when the element's size is not given
    std::int64_t header = 0;
    std::int64_t headerExcess = 0;  // a byte slipped into its size, when one was
};

const char* NameOf(std::uint32_t id) {
    switch (id) {
        case 0x114D9B74: return "SeekHead";
        case 0x1549A966: return "Info";
        case 0x1654AE6B: return "Tracks";
        case kCluster: return "Cluster";
        case 0x1C53BB6B: return "Cues";
        case 0x1941A469: return "Attachments";
        case 0x1043A770: return "Chapters";
        case 0x1254C367: return "Tags";
        case kVoid: return "Void";
        case kEbmlHeader: return "EBML header";
        case 0xA3: return "SimpleBlock";
        case 0xA0: return "BlockGroup";
        default: return "element";
    }
}

class MatroskaWalk {
  public:
    MatroskaWalk(InputFile& input, std::int64_t length, const StopPredicate& stop,
                 const RegionSink& sink)
        : window_(input, length), poll_(stop), log_(sink, "Matroska elements") {}

    WalkEnd Run() {
        std::int64_t at = 0;
        while (at < window_.Length()) {
            const std::optional<Element> element = ElementAt(at);
            if (!element || (element->id != kEbmlHeader && element->id != kSegment)) {
                return Ended(WalkEnd::LostTrack);
            }
            const std::optional<std::int64_t> end =
                element->id == kSegment ? Segment(at, *element) : Whole(at, *element);
            if (!end) {
                return Ended(ending_);
            }
            at = *end;
        }
        return Ended(WalkEnd::Whole);
    }

  private:
    WalkEnd Ended(WalkEnd how) {
        log_.Flush();
        return window_.Failed() ? WalkEnd::ReadFailed : how;
    }

    // The element at an offset, as it was read last there: a block's header is asked for
    // by the search for it, by the checks that it and the one after it are a Cluster's
    // children, and by its walk, so the last two are kept. Valid until the next call.
    const std::optional<Element>& ElementAt(std::int64_t at) {
        for (Read& read : reads_) {
            if (read.at == at) {
                return read.element;
            }
        }
        Read& older = reads_[nextRead_];
        nextRead_ ^= 1;
        older.at = at;
        older.element = ReadElement(at);
        return older.element;
    }

    const std::string& Described(std::uint32_t id) {
        auto [named, fresh] = described_.try_emplace(id);
        if (fresh) {
            named->second = std::string("Matroska ") + NameOf(id);
        }
        return named->second;
    }

    std::optional<Element> ReadElement(std::int64_t at) {
        const std::uint8_t* p = window_.At(at, 12);
        if (p == nullptr) {
            const std::int64_t rest = window_.Length() - at;
            p = rest > 0 ? window_.At(at, static_cast<std::size_t>(std::min<std::int64_t>(rest, 12)))
                         : nullptr;
            if (p == nullptr) {
                return std::nullopt;
            }
        }
        return ParseElement(p, std::min<std::int64_t>(12, window_.Length() - at));
    }

    // An element's ID and size from the bytes that start it (available of them, at most 12).
    static std::optional<Element> ParseElement(const std::uint8_t* p, std::int64_t available) {
        const int idLength = p[0] >= 0x80 ? 1 : p[0] >= 0x40 ? 2 : p[0] >= 0x20 ? 3 : p[0] >= 0x10 ? 4 : 0;
        if (idLength == 0 || idLength >= available) {
            return std::nullopt;
        }
        Element element;
        for (int i = 0; i < idLength; ++i) {
            element.id = element.id << 8 | p[i];
        }
        const std::uint8_t first = p[idLength];
        int sizeLength = 1;
        while (sizeLength <= 8 && (first & (0x80 >> (sizeLength - 1))) == 0) {
            ++sizeLength;
        }
        if (sizeLength > 8 || idLength + sizeLength > available) {
            return std::nullopt;
        }
        std::uint64_t size = first & (0xFF >> sizeLength);
        bool allOnes = size == (0xFFu >> sizeLength);
        for (int i = 1; i < sizeLength; ++i) {
            size = size << 8 | p[idLength + i];
            allOnes = allOnes && p[idLength + i] == 0xFF;
        }
        element.size = allOnes ? kUnknown : size;
        element.header = idLength + sizeLength;
        return element;
    }

    static bool IsTopLevel(std::uint32_t id) {
        return std::find(kTopLevel.begin(), kTopLevel.end(), id) != kTopLevel.end() ||
               id == kVoid;
    }

    // A top-level element, or the next Segment or EBML header, starts here; or the file ends.
    // A Void's one-byte ID is found by chance too often: the element after it must be one.
    bool IsTopLevelAt(std::int64_t at, bool voidToo = true) {
        if (at == window_.Length()) {
            return true;
        }
        const std::optional<Element>& element = ElementAt(at);
        if (!element || (element->size != kUnknown &&
                         element->size > static_cast<std::uint64_t>(window_.Length() - at))) {
            return false;
        }
        if (element->id == kVoid) {
            return voidToo && element->size != kUnknown &&
                   IsTopLevelAt(at + element->header + static_cast<std::int64_t>(element->size),
                                false);
        }
        return IsTopLevel(element->id) || element->id == kSegment || element->id == kEbmlHeader;
    }

    // A top-level element whose size has one byte too many in it: its ID, and a size that,
    // with one of its bytes left out, ends the element where another begins (or the file
    // ends). Kept in repaired_ for the walk to take up.
    bool DamagedTopLevelAt(std::int64_t at) {
        const std::uint8_t* p = window_.At(at, 13);
        if (p == nullptr || p[0] < 0x10 || p[0] >= 0x20) {
            return false;
        }
        const std::uint32_t id = Be32(p);
        if (!IsTopLevel(id) && id != kSegment) {
            return false;
        }
        for (int skip = 4; skip < 13; ++skip) {
            std::uint8_t size[9];
            int n = 0;
            for (int i = 4; i < 13 && n < 9; ++i) {
                if (i != skip) {
                    size[n++] = p[i];
                }
            }
            int length = 1;
            while (length <= 8 && (size[0] & (0x80 >> (length - 1))) == 0) {
                ++length;
            }
            if (length > 8 || skip >= 4 + length + 1) {
                continue;
            }
            std::uint64_t value = size[0] & (0xFF >> length);
            for (int i = 1; i < length; ++i) {
                value = value << 8 | size[i];
            }
            const std::int64_t header = 4 + length + 1;
            if (value > static_cast<std::uint64_t>(window_.Length() - at - header)) {
                continue;
            }
            const std::int64_t end = at + header + static_cast<std::int64_t>(value);
            if (FindAgain(end, window_.Length(), [this](std::int64_t q) { return IsTopLevelAt(q); },
                          kResyncReach / 4)) {
                repaired_ = std::make_pair(at, Element{id, value, header, 1});
                return true;
            }
        }
        return false;
    }

    std::optional<std::int64_t> Segment(std::int64_t at, const Element& segment) {
        const std::int64_t data = at + segment.header;
        log_.Fits(at, data, "Segment header");
        const std::int64_t written =
            segment.size == kUnknown ? window_.Length() - data
                                     : static_cast<std::int64_t>(std::min<std::uint64_t>(
                                           segment.size, static_cast<std::uint64_t>(window_.Length())));
        std::int64_t done = 0;
        std::int64_t next = data;
        while (done < written && next < window_.Length()) {
            if (poll_.Now()) {
                ending_ = WalkEnd::Stopped;
                return std::nullopt;
            }
            const std::optional<Element> element = ElementAt(next);
            if (!element || !IsTopLevel(element->id)) {
                ending_ = WalkEnd::LostTrack;
                return std::nullopt;
            }
            const std::int64_t excessBefore = excess_;
            const std::optional<std::int64_t> end =
                element->size == kUnknown ? Unsized(next, *element) : Whole(next, *element);
            if (!end) {
                return std::nullopt;
            }
            done += *end - next - (excess_ - excessBefore);
            next = *end;
        }
        return next;
    }

    // An element of known size: a region of it, after its CRC-32 element where it has one.
    std::optional<std::int64_t> Whole(std::int64_t at, const Element& element) {
        if (element.size > static_cast<std::uint64_t>(window_.Length() - at)) {
            ending_ = WalkEnd::LostTrack;
            return std::nullopt;
        }
        const std::int64_t expected = at + element.header + static_cast<std::int64_t>(element.size);
        auto next = FindAgain(expected, window_.Length(), [this](std::int64_t q) {
            return IsTopLevelAt(q);
        });
        if (!next && element.headerExcess == 0 && DamagedTopLevelAt(at)) {
            // Nothing follows where its size puts it: the size itself held a byte too many.
            const Element repaired = repaired_->second;
            repaired_.reset();
            return Whole(at, repaired);
        }
        if (!next || (*next != expected && ++resyncs_ > kMaxResyncs)) {
            ending_ = WalkEnd::LostTrack;
            return std::nullopt;
        }
        excess_ += *next - expected + element.headerExcess;
        const std::string what = std::string("Matroska ") + NameOf(element.id);
        const std::int64_t data = at + element.header;
        const std::uint8_t* crc = window_.At(data, 6);
        if (element.headerExcess > 0) {
            log_.Add({at, data, element.header - element.headerExcess, nullptr, what + " header"});
        }
        const auto repaired =
            element.size >= kCrcElementSize
                ? CrcElementWithExtraByte(element.id, data, *next, *next - expected)
                : std::nullopt;
        if (!repaired && crc != nullptr && crc[0] == kCrc32 && crc[1] == 0x84 &&
            element.size >= 6) {
            // The CRC-32 element comes first and covers the rest of its parent's data; in a
            // Cluster longer than it should be, the blocks' sizes tell where the extra bytes are.
            log_.Fits(element.headerExcess > 0 ? data : at, data + 6, what + " header");
            AddChecked(element, data + 6, *next, Le32(crc + 2), what);
            return *next;
        }
        if (repaired) {
            // A byte of the CRC-32 element repeated: its six bytes are those left with it
            // out, which prove themselves, and its CRC-32 the rest.
            log_.Fits(element.headerExcess > 0 ? data : at, data, what + " header");
            log_.Add({data, data + 7, 6, Crc32Check(Crc32(0, repaired->data(), repaired->size())),
                      what + " CRC-32 element"});
            AddChecked(element, data + 7, *next, Le32(repaired->data() + 2), what);
            return *next;
        }
        const std::int64_t from = element.headerExcess > 0 ? data : at;
        if (*next == expected) {
            log_.Fits(from, *next, what);
        } else if (element.id == kCluster) {
            log_.Fits(from, data, what + " header");
            Blocks(data, *next, *next - expected);
        } else {
            log_.Add({from, *next, expected - from, nullptr, what});
        }
        return *next;
    }

    // The data of an element after its CRC-32 element, from start to end, checked by crc;
    // a Cluster's blocks tell where in it extra bytes are.
    void AddChecked(const Element& element, std::int64_t start, std::int64_t end,
                    std::uint32_t crc, const std::string& what) {
        EvidenceRegion region{start, end,
                              static_cast<std::int64_t>(element.size) - kCrcElementSize,
                              Crc32Check(crc), what};
        if (element.id == kCluster && region.Excess() > 0) {
            Blocks(region.start, region.end, region.Excess(), &region.parts);
        }
        log_.Add(std::move(region));
    }

    // The CRC-32 element at data with a byte repeated in it, where its element (of the ID
    // given, ending at end) holds extra bytes: its six bytes as they were, or nothing. Its ID
    // repeated reads as two CRC-32 IDs. A byte repeated in its size or its CRC-32 reads as an
    // element of the plain form by its first two bytes; in a Cluster it shows by what follows,
    // as no child starts after the six bytes and one does after seven, and then the repeated
    // byte is the one left out (where two bytes could be, nothing tells them apart).
    std::optional<std::array<std::uint8_t, kCrcElementSize>> CrcElementWithExtraByte(
        std::uint32_t id, std::int64_t data, std::int64_t end, std::int64_t excess) {
        const std::uint8_t* seen = excess > 0 ? window_.At(data, kCrcElementSize + 1) : nullptr;
        if (seen == nullptr || seen[0] != kCrc32) {
            return std::nullopt;
        }
        // A copy: the checks of the children below read the window again.
        std::array<std::uint8_t, kCrcElementSize + 1> bytes{};
        std::copy(seen, seen + bytes.size(), bytes.begin());
        const auto without = [&bytes](std::size_t left) {
            std::array<std::uint8_t, kCrcElementSize> kept{};
            std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(left),
                      kept.begin());
            std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(left) + 1, bytes.end(),
                      kept.begin() + static_cast<std::ptrdiff_t>(left));
            return kept;
        };
        if (bytes[1] == kCrc32 && bytes[2] == 0x84) {
            return without(0);
        }
        if (bytes[1] != 0x84 || id != kCluster || IsChild(data + kCrcElementSize, end) ||
            !IsChildEnd(data + kCrcElementSize + 1, end)) {
            return std::nullopt;
        }
        std::optional<std::array<std::uint8_t, kCrcElementSize>> found;
        for (std::size_t left = 2; left < bytes.size(); ++left) {
            if (bytes[left] != bytes[left - 1]) {
                continue;
            }
            const std::array<std::uint8_t, kCrcElementSize> kept = without(left);
            if (found && *found != kept) {
                return std::nullopt;  // two bytes could be the repeated one
            }
            found = kept;
        }
        return found;
    }

    // A Cluster of unknown size, as a live stream writes them: its blocks up to the next
    // top-level element.
    std::optional<std::int64_t> Unsized(std::int64_t at, const Element& element) {
        if (element.id != kCluster) {
            ending_ = WalkEnd::LostTrack;
            return std::nullopt;
        }
        log_.Fits(at, at + element.header, "Matroska Cluster header");
        return Blocks(at + element.header, -1, 0);
    }

    // A Cluster's child whose header has one byte too many in it (a byte repeated in its ID
    // or its size): with one of the header's bytes left out, its size ends it where a child
    // ends; failing that, where one starts (the next may hold extra bytes of its own). The
    // element as it was, with the byte counted in headerExcess.
    std::optional<Element> DamagedChildAt(std::int64_t at, std::int64_t end) {
        for (const bool wholeNext : {true, false}) {
            if (std::optional<Element> element = DamagedChildAt(at, end, wholeNext)) {
                return element;
            }
        }
        return std::nullopt;
    }

    std::optional<Element> DamagedChildAt(std::int64_t at, std::int64_t end, bool wholeNext) {
        const std::int64_t limit = end < 0 ? window_.Length() : end;
        const std::int64_t available = std::min<std::int64_t>(13, limit - at);
        const std::uint8_t* p = available > 1 ? window_.At(at, static_cast<std::size_t>(available))
                                              : nullptr;
        if (p == nullptr) {
            return std::nullopt;
        }
        for (std::int64_t skip = 1; skip < available; ++skip) {
            if (p[skip] != p[skip - 1]) {
                continue;  // the byte slipped in is a copy of the one before it
            }
            std::uint8_t header[12];
            std::int64_t n = 0;
            for (std::int64_t i = 0; i < available && n < 12; ++i) {
                if (i != skip) {
                    header[n++] = p[i];
                }
            }
            std::optional<Element> element = ParseElement(header, n);
            if (!element || skip > element->header || element->size == kUnknown ||
                !IsClusterChild(element->id, element->size) ||
                element->size > static_cast<std::uint64_t>(limit - at - element->header - 1)) {
                continue;
            }
            const std::int64_t after =
                at + element->header + 1 + static_cast<std::int64_t>(element->size);
            if (wholeNext ? IsChildEnd(after, end)
                          : after == end || IsChild(after, end)) {
                element->header += 1;
                element->headerExcess = 1;
                return element;
            }
        }
        return std::nullopt;
    }

    // Whether the byte at is followed by a copy of itself.
    bool RepeatsAt(std::int64_t at) {
        const std::uint8_t* p = window_.At(at, 2);
        return p != nullptr && p[0] == p[1];
    }

    bool IsChild(std::int64_t at, std::int64_t end) {
        const std::optional<Element>& element = ElementAt(at);
        return element && element->size != kUnknown && IsClusterChild(element->id, element->size) &&
               element->size <= static_cast<std::uint64_t>((end < 0 ? window_.Length() : end) - at);
    }

    // Where a Cluster's child may end: at another one whose own end is one as well, at the
    // Cluster's end, or (of unknown size) at the next top-level element.
    bool IsChildEnd(std::int64_t at, std::int64_t end) {
        if (at == end || at == window_.Length() || (end < 0 && IsTopLevelAt(at))) {
            return true;
        }
        const std::optional<std::int64_t> after = ChildEndAt(at, end);
        return after && (*after == end || *after == window_.Length() || IsChild(*after, end) ||
                         (end < 0 && IsTopLevelAt(*after)));
    }

    // Whether a child starts at, and ends one byte further on than its size says, where the
    // next one may end: a block with a byte slipped into it, right after another.
    bool IsChildEndOneOn(std::int64_t at, std::int64_t end) {
        const std::optional<std::int64_t> after = ChildEndAt(at, end);
        return after && *after + 1 <= (end < 0 ? window_.Length() : end) &&
               IsChildEnd(*after + 1, end);
    }

    // Where the child that starts at ends by its size; none where no child starts there.
    std::optional<std::int64_t> ChildEndAt(std::int64_t at, std::int64_t end) {
        if (!IsChild(at, end)) {
            return std::nullopt;
        }
        const Element& element = *ElementAt(at);
        return at + element.header + static_cast<std::int64_t>(element.size);
    }

    // The blocks of a Cluster from data to end (or the next top-level element, end < 0), excess
    // bytes more than written among them; each a region, or the rest of them one where they
    // cannot be told apart. Where they end.
    std::optional<std::int64_t> Blocks(std::int64_t at, std::int64_t end, std::int64_t excess,
                                       std::vector<EvidenceRegion>* parts = nullptr) {
        // Fitting blocks are joined in parts as in the log: a Cluster has thousands.
        const RegionSink toParts = [parts](EvidenceRegion part) { parts->push_back(std::move(part)); };
        RegionLog partLog(toParts, "Matroska elements");
        RegionLog& out = parts != nullptr ? partLog : log_;
        std::int64_t left = excess;
        while (end < 0 ? !IsTopLevelAt(at) && at < window_.Length() : at < end) {
            if (poll_.Now()) {
                ending_ = WalkEnd::Stopped;
                return std::nullopt;
            }
            const std::optional<Element> element = ElementAt(at);
            const std::int64_t limit = end < 0 ? window_.Length() : end;
            if (!element || !IsChild(at, limit)) {
                break;
            }
            const std::int64_t expected = at + element->header + static_cast<std::int64_t>(element->size);
            // A byte slipped into a block's header: its ID or size read with the byte left out
            // ends it where two headers follow each other, and read as it is, where one header
            // stands alone by chance.
            const auto takeDamaged = [&](const Element& damaged) {
                const std::int64_t after =
                    at + damaged.header + static_cast<std::int64_t>(damaged.size);
                out.Add({at, after, after - at - 1, nullptr, Described(damaged.id)});
                left -= 1;
                excess_ += end < 0 ? 1 : 0;
                at = after;
            };
            // Two headers one after the other where the sizes put the next block, or its end.
            const bool chained = left > 0 && IsChildEnd(expected, end);
            if (left > 0 && !chained) {
                if (const std::optional<Element> damaged = DamagedChildAt(at, end, true)) {
                    takeDamaged(*damaged);
                    continue;
                }
            }
            // Where the sizes put the next block one header is enough; found again, two.
            // A block found again further on than the Cluster's extra bytes reach would be
            // found by chance: it is not looked for there, and the rest is one region.
            const auto next = FindAgain(
                expected, limit,
                [this, end, expected, left, chained](std::int64_t q) {
                    if (q == expected) {
                        // Unless a byte on two headers follow each other, where the Cluster
                        // has a byte left to place: a child's header found by chance in
                        // the block's last byte would take its extra byte from it. (Where
                        // that byte is the next one's first, repeated, the next header holds
                        // it.)
                        return q == end || (end < 0 && IsTopLevelAt(q)) ||
                               (IsChild(q, end) && (left < 1 || chained ||
                                                    !IsChildEnd(q + 1, end) || RepeatsAt(q)));
                    }
                    // The block after may hold an extra byte of its own, where the Cluster
                    // has one left to place: its end is then found a byte on.
                    return IsChildEnd(q, end) ||
                           (end >= 0 && left - (q - expected) >= 1 && IsChildEndOneOn(q, end));
                },
                end >= 0 ? std::min(kResyncReach, left) : kResyncReach);
            // Not found again where the sizes put it, or only some bytes on: a byte slipped
            // into the block's own header explains it with one extra byte, the fewest.
            if ((!next || *next - expected > 1) && left > 0) {
                if (const std::optional<Element> damaged = DamagedChildAt(at, end)) {
                    takeDamaged(*damaged);
                    continue;
                }
            }
            if (!next || (*next != expected && ++resyncs_ > kMaxResyncs)) {
                break;
            }
            const std::string& what = Described(element->id);
            if (*next == expected) {
                out.Fits(at, *next, what);
            } else {
                out.Add({at, *next, expected - at, nullptr, what});
                left -= *next - expected;
                excess_ += end < 0 ? *next - expected : 0;
            }
            at = *next;
        }
        if (end >= 0 && at < end) {
            // The rest, of the length it must have with the extra bytes not yet placed.
            out.Add({at, end, std::max<std::int64_t>(0, end - at - left), nullptr,
                     "Matroska Cluster blocks"});
            return end;
        }
        if (end < 0 && !IsTopLevelAt(at)) {
            ending_ = WalkEnd::LostTrack;
            return std::nullopt;
        }
        return at;
    }

    ByteWindow window_;
    StopPoll poll_;
    RegionLog log_;
    WalkEnd ending_ = WalkEnd::LostTrack;
    std::int64_t excess_ = 0;  // of the regions so far, in the Segment being walked
    int resyncs_ = 0;
    std::optional<std::pair<std::int64_t, Element>> repaired_;  // where, and what it was
    struct Read {
        std::int64_t at = -1;
        std::optional<Element> element;
    };
    std::array<Read, 2> reads_;
    std::size_t nextRead_ = 0;
    std::map<std::uint32_t, std::string> described_;  // "Matroska SimpleBlock"
};

class MatroskaWalker : public StructureWalker {
  public:
    const char* Format() const override { return "Matroska"; }
    const char* Proof() const override { return "the Matroska CRC-32 elements"; }
    const char* Lengths() const override { return "the Matroska element sizes"; }
    bool Recognises(std::string_view head, std::string_view name) const override {
        return head.substr(0, 4) == "\x1A\x45\xDF\xA3" ||
               (head.empty() && (HasExtension(name, ".mkv") || HasExtension(name, ".webm") ||
                                 HasExtension(name, ".mka") || HasExtension(name, ".mks")));
    }
    WalkEnd Walk(InputFile& input, std::int64_t length, const StopPredicate& stop,
                 const RegionSink& sink) const override {
        return MatroskaWalk(input, length, stop, sink).Run();
    }
};

}  // namespace

std::unique_ptr<StructureWalker> MakeMatroskaWalker() { return std::make_unique<MatroskaWalker>(); }

}  // namespace korbelt
