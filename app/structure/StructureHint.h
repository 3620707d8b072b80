#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ports/FileSystem.h"
#include "structure/RegionPlanner.h"
#include "structure/StructureWalker.h"
#include "structure/Walkers.h"
#include "verify/StretchPlanner.h"

namespace korbelt {

// What a file's structure would remove, for a slice its checksums cannot prove by its finds
// alone: the regions that end in the slice or after it, planned from the removals made
// before it and the scan's finds (and,
// where a region's check passes none of those, from its markers' pairs). The file is walked
// when first asked, so a pass whose slices prove themselves never reads its structure; a
// piece of a split file with the other pieces of its set.
class StructureHint : public RemovalHint {
  public:
    // The scan looks for a repeated byte rangeStart to rangeEnd (exclusive) after a marker.
    // name: the file's path, by which (with its first bytes) its walker is chosen, and the
    // pieces of its set in its folder are found where it is a piece of a split file.
    StructureHint(FileSystem& fs, const Walkers& walkers, std::string name, InputFile& input,
                  std::int64_t length, StopPredicate stop, int rangeStart, int rangeEnd);

    std::vector<Removal> Within(std::int64_t start, std::int64_t end,
                                const std::vector<Removal>& finds, std::int64_t known) override;
    std::error_code ReadError() const override;

  private:
    FileSystem& fs_;
    const Walkers& walkers_;
    std::string name_;
    InputFile& input_;
    std::int64_t length_;
    StopPredicate stop_;
    std::optional<std::vector<EvidenceRegion>> regions_;  // once walked (none: no walker)
    RegionPlanner planner_;
    std::error_code readError_;
    int rangeStart_;
    int rangeEnd_;
};

}  // namespace korbelt
