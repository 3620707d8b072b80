// Split pieces: NAME.001, NAME.002 ..., all of one length but the last.
#include "structure/SplitPieces.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace korbelt {
namespace {

constexpr std::int64_t kDamageAllowance = 4096;

}  // namespace

std::optional<PieceName> NameOfPiece(const std::string& name) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot - 1 < 3 || name.size() - dot - 1 > 6) {
        return std::nullopt;
    }
    const std::string digits = name.substr(dot + 1);
    if (!std::all_of(digits.begin(), digits.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; })) {
        return std::nullopt;
    }
    return PieceName{name.substr(0, dot), std::stoi(digits)};
}

std::optional<EvidenceRegion> SplitPieceRegion(const Piece& piece,
                                               const std::vector<Piece>& pieces) {
    const auto own = NameOfPiece(piece.name);
    if (!own) {
        return std::nullopt;
    }
    int last = own->number;
    std::map<std::int64_t, int> lengths;  // of the pieces of the set but the last
    std::vector<std::pair<int, std::int64_t>> set = {{own->number, piece.length}};
    for (const Piece& other : pieces) {
        const auto theirs = NameOfPiece(other.name);
        if (theirs && theirs->set == own->set && other.name != piece.name) {
            set.emplace_back(theirs->number, other.length);
            last = std::max(last, theirs->number);
        }
    }
    if (own->number == last) {
        return std::nullopt;
    }
    for (const auto& [number, length] : set) {
        if (number != last) {
            ++lengths[length];
        }
    }
    // Most of them agree; extra bytes in a few of them make those longer. Of two, the
    // shorter is the length where the other is longer by what damage adds (a few wrappers or
    // repeated bytes), not by what tells numbered files of another kind apart.
    auto common = std::max_element(lengths.begin(), lengths.end(),
                                   [](const auto& a, const auto& b) { return a.second < b.second; });
    if (common == lengths.end() || set.size() < 3) {
        return std::nullopt;
    }
    const int others = static_cast<int>(set.size()) - 1;
    const bool pair = others == 2 && lengths.size() == 2 &&
                      lengths.rbegin()->first - lengths.begin()->first <=
                          std::max<std::int64_t>(kDamageAllowance, lengths.begin()->first / 256);
    if (pair) {
        common = lengths.begin();
    } else if (common->second * 2 <= others) {
        return std::nullopt;
    }
    if (piece.length < common->first) {
        return std::nullopt;  // cut short: bytes are missing, and removing any cannot help
    }
    return EvidenceRegion{0, piece.length, common->first, nullptr,
                          "split piece '" + piece.name + "'"};
}

std::vector<Piece> PiecesBeside(FileSystem& fs, const std::string& path) {
    const std::string name = BaseName(path);
    const auto own = NameOfPiece(name);
    if (!own) {
        return {};
    }
    const std::string directory = DirectoryName(path);
    std::vector<Piece> pieces;
    for (const std::string& other :
         fs.ListOrdinaryFiles(directory).value_or(std::vector<std::string>())) {
        const auto theirs = NameOfPiece(other);
        if (!theirs || theirs->set != own->set || other == name) {
            continue;
        }
        const auto identity = fs.Lookup(directory + "/" + other);
        if (identity && identity->kind == FileIdentity::Kind::Regular) {
            pieces.push_back({other, identity->size});
        }
    }
    return pieces;
}

}  // namespace korbelt
