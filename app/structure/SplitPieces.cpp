// Split pieces: NAME.001, NAME.002 ..., all of one length but the last.
#include "structure/SplitPieces.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace korbelt {
namespace {

constexpr std::int64_t kDamageAllowance = 4096;

// The set a piece belongs to (its name without the number) and its number; none for a name
// that does not end in "." and three digits or more.
std::optional<std::pair<std::string, int>> SetAndNumber(const std::string& name) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot - 1 < 3 || name.size() - dot - 1 > 6) {
        return std::nullopt;
    }
    const std::string digits = name.substr(dot + 1);
    if (!std::all_of(digits.begin(), digits.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; })) {
        return std::nullopt;
    }
    return std::make_pair(name.substr(0, dot), std::stoi(digits));
}

}  // namespace

std::optional<EvidenceRegion> SplitPieceRegion(const Piece& piece,
                                               const std::vector<Piece>& pieces) {
    const auto own = SetAndNumber(piece.name);
    if (!own) {
        return std::nullopt;
    }
    int last = own->second;
    std::map<std::int64_t, int> lengths;  // of the pieces of the set but the last
    std::vector<std::pair<int, std::int64_t>> set = {{own->second, piece.length}};
    for (const Piece& other : pieces) {
        const auto theirs = SetAndNumber(other.name);
        if (theirs && theirs->first == own->first && other.name != piece.name) {
            set.emplace_back(theirs->second, other.length);
            last = std::max(last, theirs->second);
        }
    }
    if (own->second == last) {
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

std::optional<EvidenceRegion> SplitPieceRegionOf(FileSystem& fs, const std::string& path,
                                                 std::int64_t length) {
    const Piece piece{BaseName(path), length};
    const auto own = SetAndNumber(piece.name);
    if (!own) {
        return std::nullopt;
    }
    const std::string directory = DirectoryName(path);
    std::vector<Piece> pieces;
    for (const std::string& name : fs.ListOrdinaryFiles(directory).value_or(
             std::vector<std::string>())) {
        const auto theirs = SetAndNumber(name);
        if (!theirs || theirs->first != own->first || name == piece.name) {
            continue;
        }
        if (const auto identity = fs.Lookup(directory + "/" + name)) {
            pieces.push_back({name, identity->size});
        }
    }
    return SplitPieceRegion(piece, pieces);
}

}  // namespace korbelt
