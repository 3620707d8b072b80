#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ports/FileSystem.h"
#include "structure/EvidenceRegion.h"
#include "structure/StructureWalker.h"

namespace korbelt {

// A piece of a file split into equal pieces (NAME.001, NAME.002 ... as HJSplit, 7-Zip and
// split write them), its name and length.
struct Piece {
    std::string name;
    std::int64_t length = 0;
};

// The evidence a split file's pieces give of one of them: every piece but the last has the
// length most of them have, so a piece longer than that is one region of it. pieces are the
// files of the folder (any order; only those of the same set count). None when the name is
// not a piece's, it is the last piece (whose length nothing else gives), or the other pieces
// do not agree on a length.
std::optional<EvidenceRegion> SplitPieceRegion(const Piece& piece,
                                               const std::vector<Piece>& pieces);

// A piece's name split into its set's name and its number ("movie.mkv", 2 for
// "movie.mkv.002"); none for a name that does not end in "." and three to six digits.
struct PieceName {
    std::string set;
    int number = 0;
};
std::optional<PieceName> NameOfPiece(const std::string& name);

// The other pieces of the set the file at path belongs to, in its folder, with their
// lengths; none for a name that is no piece's, whose folder is then not read.
std::vector<Piece> PiecesBeside(FileSystem& fs, const std::string& path);

inline constexpr EvidenceNames kSplitPieceNames{"split pieces", "", "the other pieces' length"};

}  // namespace korbelt
