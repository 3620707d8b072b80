#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace korbelt {

// A pair of equal bytes a marker's distance after a CR LF '-': a removal the damage pattern
// allows, whichever pair of its marker the scan chose. offset is the first byte of the pair.
struct MarkerPair {
    std::int64_t offset = 0;
    int distance = 0;  // from the marker's CR
};

// Every such pair in bytes (count of them) at the distances reach gives (from, to exclusive)
// after each marker, whose first byte lies from first to end (exclusive), in the markers'
// order; offsets are indexes into bytes. Within a run of equal bytes every pair makes the same
// bytes: its first stands for them all (a line of dashes is one choice, not twenty).
std::vector<MarkerPair> MarkerPairsIn(const std::uint8_t* bytes, std::size_t count,
                                      std::size_t first, std::size_t end,
                                      std::pair<int, int> reach);

}  // namespace korbelt
