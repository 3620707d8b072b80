// RIFF (AVI, and WAV and the like): chunks of a FourCC, a little-endian size and data padded
// to an even length, LISTs of them, and after the first RIFF the OpenDML ones ('AVIX') of a
// large AVI, with their 'ix##' index chunks: each chunk a region of the size its header
// gives, LISTs walked inside.
#include <algorithm>
#include <optional>
#include <string>

#include "structure/ByteWindow.h"
#include "structure/WalkSupport.h"
#include "structure/Walkers.h"

namespace korbelt {
namespace {

constexpr std::int64_t kHeader = 8;
constexpr int kMaxDepth = 16;

bool IsFourCc(const std::uint8_t* p) {
    return std::all_of(p, p + 4, [](std::uint8_t c) { return c >= 0x20 && c < 0x7f; }) &&
           p[0] != ' ';
}

bool IsList(const std::uint8_t* p) {
    return std::equal(p, p + 4, "LIST") || std::equal(p, p + 4, "RIFF");
}

class RiffWalk {
  public:
    RiffWalk(InputFile& input, std::int64_t length, const StopPredicate& stop,
             const RegionSink& sink)
        : window_(input, length), poll_(stop), log_(sink, "RIFF chunks") {}

    WalkEnd Run() {
        std::int64_t at = 0;
        while (at < window_.Length()) {
            const std::uint8_t* p = window_.At(at, 12);
            if (p == nullptr || !std::equal(p, p + 4, "RIFF")) {
                return Ended(at == 0 || !window_.Failed() ? WalkEnd::LostTrack
                                                           : WalkEnd::ReadFailed);
            }
            const std::optional<Extent> chunk = Chunk(at, 0);
            if (!chunk) {
                return Ended(ending_);
            }
            at = chunk->end;
        }
        return Ended(WalkEnd::Whole);
    }

  private:
    WalkEnd Ended(WalkEnd how) {
        log_.Flush();
        return window_.Failed() ? WalkEnd::ReadFailed : how;
    }

    // Where a chunk ends in the file, and how many bytes more it holds than it was written
    // with.
    struct Extent {
        std::int64_t end = 0;
        std::int64_t excess = 0;
    };

    // The chunk at the place given, and everything in it.
    std::optional<Extent> Chunk(std::int64_t at, int depth) {
        if (poll_.Now()) {
            ending_ = WalkEnd::Stopped;
            return std::nullopt;
        }
        const std::uint8_t* p = window_.At(at, 12);
        if (p == nullptr) {
            ending_ = WalkEnd::LostTrack;
            return std::nullopt;
        }
        const std::int64_t size = Le32(p + 4);
        const std::string id = Printable(p, 4);
        if (IsList(p) && size >= 4 && depth < kMaxDepth) {
            log_.Fits(at, at + 12, id + " '" + Printable(p + 8, 4) + "'");
            return Children(at + 12, size - 4, depth + 1);
        }
        const std::int64_t pad = size & 1;
        // Some writers leave the pad byte out: the next header is then one byte sooner.
        const std::int64_t bare = at + kHeader + size;
        const auto next = FindAgain(bare, window_.Length(), [this](std::int64_t q) {
            return IsHeader(q);
        });
        if (!next) {
            ending_ = WalkEnd::LostTrack;
            return std::nullopt;
        }
        const std::int64_t length = *next == bare ? kHeader + size : kHeader + size + pad;
        const std::string what = "RIFF chunk '" + id + "'";
        if (*next - at == length) {
            log_.Fits(at, *next, what);
        } else {
            log_.Add({at, *next, length, nullptr, what});
        }
        return Extent{*next, *next - at - length};
    }

    // The chunks of a LIST, size bytes of them as they were written.
    std::optional<Extent> Children(std::int64_t at, std::int64_t size, int depth) {
        Extent extent{at, 0};
        std::int64_t written = 0;
        while (written < size && extent.end < window_.Length()) {
            const std::uint8_t* p = window_.At(extent.end, kHeader);
            if (p == nullptr || !IsFourCc(p)) {
                ending_ = WalkEnd::LostTrack;
                return std::nullopt;
            }
            const std::optional<Extent> child = Chunk(extent.end, depth);
            if (!child) {
                return std::nullopt;
            }
            written += child->end - extent.end - child->excess;
            extent = {child->end, extent.excess + child->excess};
        }
        return extent;
    }

    bool IsHeader(std::int64_t at) {
        if (at == window_.Length()) {
            return true;
        }
        const std::uint8_t* p = window_.At(at, kHeader);
        return p != nullptr && IsFourCc(p) && Le32(p + 4) <= window_.Length() - at - kHeader;
    }

    ByteWindow window_;
    StopPoll poll_;
    RegionLog log_;
    WalkEnd ending_ = WalkEnd::LostTrack;
};

class RiffWalker : public StructureWalker {
  public:
    const char* Format() const override { return "RIFF"; }
    const char* Proof() const override { return "its checks"; }
    const char* Lengths() const override { return "the RIFF chunk sizes"; }
    bool Recognises(std::string_view head, std::string_view name) const override {
        return head.substr(0, 4) == "RIFF" ||
               (head.empty() && (HasExtension(name, ".avi") || HasExtension(name, ".wav")));
    }
    WalkEnd Walk(InputFile& input, std::int64_t length, const StopPredicate& stop,
                 const RegionSink& sink) const override {
        return RiffWalk(input, length, stop, sink).Run();
    }
};

}  // namespace

std::unique_ptr<StructureWalker> MakeRiffWalker() { return std::make_unique<RiffWalker>(); }

}  // namespace korbelt
