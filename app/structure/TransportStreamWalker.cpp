// MPEG transport streams: packets of 188 bytes starting with the sync byte 0x47, or 192 in
// M2TS (Blu-ray, AVCHD), a 4-byte time code before each. A packet is a region of its size;
// after extra bytes the next packet is where three sync bytes a packet apart are found again.
#include <string>

#include "structure/ByteWindow.h"
#include "structure/WalkSupport.h"
#include "structure/Walkers.h"

namespace korbelt {
namespace {

constexpr std::uint8_t kSync = 0x47;

struct Framing {
    std::int64_t packet = 188;
    std::int64_t sync = 0;  // where the sync byte is in a packet
    const char* name = "MPEG-TS";
};

constexpr Framing kTs{188, 0, "MPEG-TS"};
constexpr Framing kM2ts{192, 4, "M2TS"};

bool SyncAt(std::string_view head, std::size_t at) {
    return at < head.size() && static_cast<std::uint8_t>(head[at]) == kSync;
}

class TsWalk {
  public:
    TsWalk(InputFile& input, std::int64_t length, const StopPredicate& stop,
           const RegionSink& sink, Framing framing)
        : window_(input, length),
          walk_(stop),
          log_(sink, std::string(framing.name) + " packets"),
          framing_(framing),
          what_(std::string(framing.name) + " packet") {}

    WalkEnd Run() {
        return Ended(walk_.Run(0, window_.Length(), [this](std::int64_t at) { return Step(at); }));
    }

  private:
    WalkEnd Ended(WalkEnd how) {
        log_.Flush();
        return window_.Failed() ? WalkEnd::ReadFailed : how;
    }

    // The packet at `at` a region, the next found again after it.
    std::int64_t Step(std::int64_t at) {
        const std::int64_t length = window_.Length();
        const std::int64_t size = framing_.packet;
        if (at + size >= length) {
            // The last packet: what is left is its length, or it is longer than it.
            if (length - at <= size) {
                log_.Fits(at, length, what_);
            } else {
                log_.Add({at, length, size, nullptr, what_});
            }
            return walk_.Ends(WalkEnd::Whole);
        }
        // The next packet is where three sync bytes a packet apart are found again.
        const auto next = walk_.Next(at + size, length, [this](std::int64_t q) {
            return IsPacket(q);
        });
        if (!next) {
            return walk_.Ends(WalkEnd::LostTrack);
        }
        if (*next == at + size || (*next >= at + 2 * size && SyncAt(at + size))) {
            // This packet is whole; the extra bytes, if any, are in the next one.
            log_.Fits(at, at + size, what_);
            return at + size;
        }
        log_.Add({at, *next, (*next - at) / size * size, nullptr, what_});
        return *next;
    }

    bool SyncAt(std::int64_t packet) {
        const std::uint8_t* p = window_.At(packet + framing_.sync, 1);
        return p != nullptr && *p == kSync;
    }

    // A packet starts here: its sync byte, and the next two packets' where the file has them.
    // The sync bytes found a packet apart are remembered, so that walking on packet by packet
    // reads one sync byte a packet.
    bool IsPacket(std::int64_t at) {
        if (at == window_.Length()) {
            return true;
        }
        const std::int64_t size = framing_.packet;
        const bool onChain = at >= chainStart_ && at <= chainEnd_ && (at - chainStart_) % size == 0;
        if (!onChain) {
            chainStart_ = at;
            chainEnd_ = at - size;
        }
        for (std::int64_t next = chainEnd_ + size; next <= at + 2 * size; next += size) {
            if (next >= window_.Length()) {
                return next > at;
            }
            if (!SyncAt(next)) {
                if (!onChain || next == at) {
                    chainStart_ = 0;
                    chainEnd_ = -1;
                }
                return false;
            }
            chainEnd_ = next;
        }
        return true;
    }

    ByteWindow window_;
    BlockWalk walk_;
    RegionLog log_;
    Framing framing_;
    std::string what_;
    // Packet starts from chainStart_ to chainEnd_, a packet apart, all with their sync byte.
    std::int64_t chainStart_ = 0;
    std::int64_t chainEnd_ = -1;
};

class TransportStreamWalker : public StructureWalker {
  public:
    const char* Format() const override { return "MPEG-TS"; }
    const char* Proof() const override { return "its checks"; }
    const char* Lengths() const override { return "the transport stream's packets"; }
    bool Recognises(std::string_view head, std::string_view name) const override {
        return Framed(head, name);
    }
    WalkEnd Walk(InputFile& input, std::int64_t length, const StopPredicate& stop,
                 const RegionSink& sink) const override {
        std::string head(static_cast<std::size_t>(std::min<std::int64_t>(length, 4096)), '\0');
        std::error_code error;
        head.resize(input.ReadAt(0, reinterpret_cast<std::uint8_t*>(head.data()), head.size(),
                                 error));
        return TsWalk(input, length, stop, sink, FramingOf(head, "")).Run();
    }

  private:
    static bool Framed(std::string_view head, std::string_view name) {
        return (SyncAt(head, 0) && SyncAt(head, 188)) || (SyncAt(head, 4) && SyncAt(head, 196)) ||
               (head.empty() && (HasExtension(name, ".ts") || HasExtension(name, ".m2ts") ||
                                 HasExtension(name, ".mts")));
    }
    static Framing FramingOf(std::string_view head, std::string_view name) {
        if ((SyncAt(head, 4) && SyncAt(head, 196)) && !(SyncAt(head, 0) && SyncAt(head, 188))) {
            return kM2ts;
        }
        if (head.empty() && (HasExtension(name, ".m2ts") || HasExtension(name, ".mts"))) {
            return kM2ts;
        }
        return kTs;
    }
};

}  // namespace

std::unique_ptr<StructureWalker> MakeTransportStreamWalker() {
    return std::make_unique<TransportStreamWalker>();
}

}  // namespace korbelt
