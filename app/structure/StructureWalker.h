#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "ports/FileSystem.h"
#include "structure/EvidenceRegion.h"

namespace korbelt {

using StopPredicate = std::function<bool()>;
using RegionSink = std::function<void(EvidenceRegion)>;

// How a walk ended.
enum class WalkEnd {
    Whole,       // the structure was followed to the end of the file
    LostTrack,   // a header was not found again where the sizes put it; the rest gives nothing
    Stopped,     // the stop predicate said so
    ReadFailed,  // the input could not be read
};

// What a kind of structure is called in a file's report: its format, what proves a region
// whose check passes ("the archive's CRC-32s"), and what gives a region its length ("the
// archive's headers").
struct EvidenceNames {
    const char* format;
    const char* proof;
    const char* lengths;
};

// One file format's structure as evidence: reads only headers, sizes, indexes and sync bytes,
// a window at a time, and hands on the regions they delimit in file order. A size is never
// trusted: each one is capped against the file, and the work is bounded by the file's length.
class StructureWalker {
  public:
    virtual ~StructureWalker() = default;
    virtual const char* Format() const = 0;
    // For the file's report: what proves a region whose check passes ("the archive's
    // CRC-32s"), and what gives a region its length ("the archive's headers").
    virtual const char* Proof() const = 0;
    virtual const char* Lengths() const = 0;
    EvidenceNames Names() const { return {Format(), Proof(), Lengths()}; }
    // Whether a file that starts with these bytes (up to 4 KiB of them) and has this name is
    // this walker's format.
    virtual bool Recognises(std::string_view head, std::string_view name) const = 0;
    virtual WalkEnd Walk(InputFile& input, std::int64_t length, const StopPredicate& stop,
                         const RegionSink& sink) const = 0;
};

}  // namespace korbelt
