#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ports/FileSystem.h"
#include "structure/EvidenceRegion.h"
#include "structure/SplitPieces.h"
#include "structure/StructureWalker.h"
#include "structure/Walkers.h"

namespace korbelt {

// What a split file's own structure says of one of its pieces.
struct PieceEvidence {
    std::vector<EvidenceRegion> regions;  // at the piece's own offsets, in order
    EvidenceNames names{};
    WalkEnd end = WalkEnd::Whole;
};

// The pieces of the set the piece at path belongs to (others: the rest of NAME.001,
// NAME.002 ... in its folder, as PiecesBeside lists them) joined in number order are walked
// as the file they were cut from; the regions that lie in this piece, cut to it where they
// reach into the pieces beside it, are its evidence, moved to its offsets. piece is the piece
// itself, length bytes long, as the pass reads it. The walk goes no further than a little
// past the piece (a transport stream's walk would read every piece after it). None for a name
// that is no piece's, a set with a number missing before this piece, a format no walker
// knows, or a walk that gives no region inside the piece; Stopped in end when stop said so.
std::optional<PieceEvidence> WalkAcrossPieces(FileSystem& fs, const Walkers& walkers,
                                              const std::string& path,
                                              const std::vector<Piece>& others, InputFile& piece,
                                              std::int64_t length, const StopPredicate& stop);

}  // namespace korbelt
