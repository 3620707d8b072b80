// MPEG program streams (.mpg, .vob): pack headers (00 00 01 BA: 14 bytes and stuffing in
// MPEG-2, 12 in MPEG-1), and the system header, padding and PES packets after them, each
// with a 16-bit length; the program end code (00 00 01 B9). Each a region of its length;
// after extra bytes the next is where a start code of a pack or a stream is found again.
#include <string>

#include "structure/ByteWindow.h"
#include "structure/WalkSupport.h"
#include "structure/Walkers.h"

namespace korbelt {
namespace {

constexpr std::uint8_t kPack = 0xBA;
constexpr std::uint8_t kEnd = 0xB9;

class PsWalk {
  public:
    PsWalk(InputFile& input, std::int64_t length, const StopPredicate& stop,
           const RegionSink& sink)
        : window_(input, length), walk_(stop), log_(sink, "MPEG-PS packets") {}

    WalkEnd Run() {
        return Ended(walk_.Run(0, window_.Length(), [this](std::int64_t at) { return Step(at); }));
    }

  private:
    WalkEnd Ended(WalkEnd how) {
        log_.Flush();
        return window_.Failed() ? WalkEnd::ReadFailed : how;
    }

    // The pack header or packet at `at` a region, the next found again after it.
    std::int64_t Step(std::int64_t at) {
        const std::int64_t size = SizeAt(at);
        if (size <= 0) {
            return walk_.Ends(at == 0 ? WalkEnd::LostTrack : Trailing(at));
        }
        const std::int64_t expected = at + size;
        const auto next = walk_.Next(expected, window_.Length(), [this](std::int64_t q) {
            return q == window_.Length() || SizeAt(q) > 0 || Padded(q);
        });
        if (!next) {
            return walk_.Ends(WalkEnd::LostTrack);
        }
        const std::uint8_t* p = window_.At(at, 4);
        const std::string what = p[3] == kPack ? "MPEG-PS pack header" : "MPEG-PS packet";
        if (*next == expected) {
            log_.Fits(at, *next, what);
        } else {
            log_.Add({at, *next, size, nullptr, what});
        }
        return *next;
    }

    // What may follow the end code: zeros a writer pads the last sector with.
    WalkEnd Trailing(std::int64_t at) {
        return Padded(at) ? WalkEnd::Whole : WalkEnd::LostTrack;
    }
    bool Padded(std::int64_t at) {
        const std::uint8_t* p = window_.At(at, 1);
        return p != nullptr && *p == 0 && at + 2048 >= window_.Length();
    }

    // The length of the pack header or packet that starts here, header included; 0 where
    // none does.
    std::int64_t SizeAt(std::int64_t at) {
        const std::uint8_t* p = window_.At(at, 6);
        if (p == nullptr) {
            // The end code may be the file's last four bytes.
            const std::uint8_t* end = window_.At(at, 4);
            return end != nullptr && Be32(end) == 0x000001B9u ? 4 : 0;
        }
        if (p[0] != 0 || p[1] != 0 || p[2] != 1) {
            return 0;
        }
        if (p[3] == kEnd) {
            return 4;
        }
        if (p[3] == kPack) {
            const std::uint8_t* pack = window_.At(at, 14);
            if (pack == nullptr) {
                return 0;
            }
            if ((pack[4] & 0xC0) == 0x40) {  // MPEG-2: stuffing bytes after 14
                return 14 + (pack[13] & 0x07);
            }
            return (pack[4] & 0xF0) == 0x20 ? 12 : 0;  // MPEG-1
        }
        if (p[3] < 0xBB) {
            return 0;
        }
        return 6 + (static_cast<std::int64_t>(p[4]) << 8 | p[5]);
    }

    ByteWindow window_;
    BlockWalk walk_;
    RegionLog log_;
};

class ProgramStreamWalker : public StructureWalker {
  public:
    const char* Format() const override { return "MPEG-PS"; }
    const char* Proof() const override { return "its checks"; }
    const char* Lengths() const override { return "the program stream's pack headers"; }
    bool Recognises(std::string_view head, std::string_view name) const override {
        return head.substr(0, 4) == std::string_view("\0\0\1\xBA", 4) ||
               (head.empty() && (HasExtension(name, ".mpg") || HasExtension(name, ".vob") ||
                                 HasExtension(name, ".mpeg")));
    }
    WalkEnd Walk(InputFile& input, std::int64_t length, const StopPredicate& stop,
                 const RegionSink& sink) const override {
        return PsWalk(input, length, stop, sink).Run();
    }
};

}  // namespace

std::unique_ptr<StructureWalker> MakeProgramStreamWalker() {
    return std::make_unique<ProgramStreamWalker>();
}

}  // namespace korbelt
