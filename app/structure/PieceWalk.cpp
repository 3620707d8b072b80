// A piece of a split file walked as the part of the whole it is.
#include "structure/PieceWalk.h"

#include <algorithm>
#include <memory>

#include "verify/Digest.h"

namespace korbelt {
namespace {

// How far past the piece the walk may read before it has said all it can of the piece.
constexpr std::int64_t kBeyond = std::int64_t{1} << 20;

// The pieces of a set one after another, read as one file. The piece the pass repairs is read
// as the pass reads it; the others are opened when first read. Notes a read well past the
// piece, once the piece has been read, for the walk to stop there.
class JoinedPieces : public InputFile {
  public:
    struct Part {
        std::string path;
        std::int64_t start = 0;
        std::int64_t length = 0;
        std::unique_ptr<InputFile> file;
    };

    JoinedPieces(FileSystem& fs, std::vector<Part> parts, std::size_t own, InputFile& piece)
        : fs_(fs), parts_(std::move(parts)), own_(own), piece_(piece) {}

    std::int64_t Start(std::size_t index) const { return parts_[index].start; }
    std::int64_t Total() const { return parts_.back().start + parts_.back().length; }
    bool PastThePiece() const { return past_; }

    std::error_code Identify(FileIdentity&) override {
        return std::make_error_code(std::errc::operation_not_supported);
    }
    LockResult Lock() override { return LockResult::Unsupported; }
    std::error_code SetAccess(const FileIdentity&) override {
        return std::make_error_code(std::errc::operation_not_supported);
    }
    std::int64_t Length(std::error_code&) override { return Total(); }

    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                       std::error_code& error) override {
        const Part& own = parts_[own_];
        if (offset < own.start + own.length && offset + static_cast<std::int64_t>(count) > own.start) {
            read_ = true;
        } else if (read_ && offset >= own.start + own.length + kBeyond) {
            past_ = true;
        }
        std::size_t got = 0;
        for (std::size_t i = 0; i < parts_.size() && got < count; ++i) {
            Part& part = parts_[i];
            const std::int64_t at = offset + static_cast<std::int64_t>(got);
            if (at >= part.start + part.length || at < part.start) {
                continue;
            }
            InputFile* file = i == own_ ? &piece_ : Open(part, error);
            if (file == nullptr) {
                return got;
            }
            const auto want = static_cast<std::size_t>(
                std::min<std::int64_t>(static_cast<std::int64_t>(count - got),
                                       part.start + part.length - at));
            const std::size_t read = file->ReadAt(at - part.start, buffer + got, want, error);
            got += read;
            if (error || read < want) {
                return got;
            }
        }
        return got;
    }

  private:
    InputFile* Open(Part& part, std::error_code& error) {
        if (!part.file) {
            part.file = fs_.OpenInput(part.path, error);
        }
        return part.file.get();
    }

    FileSystem& fs_;
    std::vector<Part> parts_;
    std::size_t own_;
    InputFile& piece_;
    bool read_ = false;
    bool past_ = false;
};

// The most bytes of the pieces beside it a region cut to a piece is checked with.
constexpr std::int64_t kMostOutside = std::int64_t{4} << 20;

std::optional<std::vector<std::uint8_t>> ReadSpan(InputFile& input, std::int64_t at,
                                                  std::int64_t count) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    std::error_code error;
    if (count > 0 &&
        (input.ReadAt(at, bytes.data(), bytes.size(), error) != bytes.size() || error)) {
        return std::nullopt;
    }
    return bytes;
}

// A region of the whole file that reaches out of the piece (start to end in the whole), cut
// to the bytes the piece holds. The bytes of the pieces beside it are taken as they are,
// since the pass repairs this piece alone: the region's length loses them, and its check
// has them around the piece's own, so that where they are damaged too it fails and the
// region fits nothing. None where they are too many to hold or cannot be read.
std::optional<EvidenceRegion> CutToPiece(EvidenceRegion region, std::int64_t start,
                                         std::int64_t end, InputFile& whole) {
    const std::int64_t before = std::max<std::int64_t>(0, start - region.start);
    const std::int64_t after = std::max<std::int64_t>(0, region.end - end);
    const std::int64_t kept = region.length - before - after;
    if (kept < 0 || before > kMostOutside || after > kMostOutside) {
        return std::nullopt;
    }
    if (region.check && (before > 0 || after > 0)) {
        auto head = ReadSpan(whole, region.start, before);
        auto tail = ReadSpan(whole, end, after);
        if (!head || !tail) {
            return std::nullopt;
        }
        if (const std::optional<std::uint32_t> crc = region.check->PlainCrc32()) {
            region.check = Crc32Check(Crc32OfMiddle(
                *crc, Crc32(0, head->data(), head->size()), Crc32(0, tail->data(), tail->size()),
                static_cast<std::uint64_t>(after), static_cast<std::uint64_t>(kept)));
        } else {
            region.check = FramedCheck(region.check, std::move(*head), std::move(*tail));
        }
    }
    const auto cut = [&](EvidenceRegion& part) {
        part.length -= std::max<std::int64_t>(0, start - part.start) +
                       std::max<std::int64_t>(0, part.end - end);
        part.start = std::max(part.start, start) - start;
        part.end = std::min(part.end, end) - start;
    };
    std::vector<EvidenceRegion> parts;
    for (EvidenceRegion& part : region.parts) {
        if (part.end > start && part.start < end) {
            cut(part);
            if (part.length < 0) {
                return std::nullopt;
            }
            parts.push_back(std::move(part));
        }
    }
    region.parts = std::move(parts);
    cut(region);
    return region;
}

}  // namespace

std::optional<PieceEvidence> WalkAcrossPieces(FileSystem& fs, const Walkers& walkers,
                                              const std::string& path,
                                              const std::vector<Piece>& others, InputFile& piece,
                                              std::int64_t length, const StopPredicate& stop) {
    const auto own = NameOfPiece(BaseName(path));
    if (!own) {
        return std::nullopt;
    }
    const std::string directory = DirectoryName(path);
    std::vector<std::pair<int, Piece>> numbered = {{own->number, {BaseName(path), length}}};
    for (const Piece& other : others) {
        if (const auto theirs = NameOfPiece(other.name); theirs && theirs->number > 0) {
            numbered.emplace_back(theirs->number, other);
        }
    }
    std::sort(numbered.begin(), numbered.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    // The pieces from the first on must all be there, each once, for the bytes of this one
    // to lie where the whole file has them.
    std::vector<JoinedPieces::Part> parts;
    std::optional<std::size_t> ownIndex;
    std::int64_t at = 0;
    for (std::size_t i = 0; i < numbered.size(); ++i) {
        if (numbered[i].first != numbered.front().first + static_cast<int>(i) ||
            (numbered.front().first != 0 && numbered.front().first != 1)) {
            break;
        }
        const bool mine = numbered[i].second.name == BaseName(path);
        if (mine) {
            ownIndex = i;
        }
        const std::int64_t size = numbered[i].second.length;
        parts.push_back({directory + "/" + numbered[i].second.name, at, size, nullptr});
        at += size;
    }
    if (!ownIndex || parts.size() < 2) {
        return std::nullopt;
    }
    JoinedPieces joined(fs, std::move(parts), *ownIndex, piece);
    const StructureWalker* walker = walkers.For(joined, joined.Total(), own->set);
    if (walker == nullptr) {
        return std::nullopt;
    }
    WalkEnd end = WalkEnd::Whole;
    const std::vector<EvidenceRegion> all = WalkRegions(
        *walker, joined, joined.Total(), [&] { return joined.PastThePiece() || (stop && stop()); },
        &end);
    PieceEvidence evidence;
    evidence.names = walker->Names();
    evidence.end = end == WalkEnd::Stopped && joined.PastThePiece() ? WalkEnd::Whole : end;
    const std::int64_t start = joined.Start(*ownIndex);
    for (const EvidenceRegion& region : all) {
        if (region.end > start && region.start < start + length) {
            if (auto cut = CutToPiece(region, start, start + length, joined)) {
                evidence.regions.push_back(std::move(*cut));
            }
        }
    }
    if (evidence.end == WalkEnd::Stopped) {
        return evidence;
    }
    if (evidence.regions.empty() || evidence.end == WalkEnd::ReadFailed) {
        return std::nullopt;
    }
    return evidence;
}

}  // namespace korbelt
