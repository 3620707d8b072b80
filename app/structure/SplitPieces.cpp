// Split pieces: NAME.001, NAME.002 ..., all of one length but the last.
#include "structure/SplitPieces.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace korbelt {
namespace {

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
    // Most of them agree; extra bytes in a few of them make those longer.
    const auto common = std::max_element(lengths.begin(), lengths.end(),
                                         [](const auto& a, const auto& b) { return a.second < b.second; });
    if (common == lengths.end() || common->second * 2 <= static_cast<int>(set.size()) - 1 ||
        set.size() < 3) {
        return std::nullopt;
    }
    return EvidenceRegion{0, piece.length, common->first, nullptr,
                          "split piece '" + piece.name + "'"};
}

}  // namespace korbelt
