#include "verify/MarkerPairs.h"

#include <algorithm>

namespace korbelt {

std::vector<MarkerPair> MarkerPairsIn(const std::uint8_t* bytes, std::size_t count,
                                      std::size_t first, std::size_t end,
                                      std::pair<int, int> reach) {
    const auto [from, to] = reach;
    end = std::min(end, count);
    std::vector<MarkerPair> pairs;
    for (std::size_t cr = 0; cr + 2 < count && cr < end; ++cr) {
        if (bytes[cr] != '\r' || bytes[cr + 1] != '\n' || bytes[cr + 2] != '-') {
            continue;
        }
        for (int d = std::max(from, 1); d < to; ++d) {
            const std::size_t at = cr + static_cast<std::size_t>(d);
            if (at < first || at >= end || at + 1 >= count) {
                continue;
            }
            const bool sameAsBefore = d > from && bytes[at - 1] == bytes[at];
            if (bytes[at] == bytes[at + 1] && !sameAsBefore) {
                pairs.push_back({static_cast<std::int64_t>(at), d});
            }
        }
    }
    return pairs;
}

}  // namespace korbelt
